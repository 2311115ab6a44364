from greeter import greeting


def test_names_the_person():
    assert greeting("Ada") == "Hello, Ada!"


def test_falls_back_to_world():
    assert greeting("  ") == "Hello, world!"
