"""Greets people by name."""

import sys


def greeting(name: str) -> str:
    name = name.strip() or "world"
    return f"Hello, {name}!"


if __name__ == "__main__":
    print(greeting(" ".join(sys.argv[1:])))
