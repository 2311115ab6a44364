# One interface target carries the warnings and Qt defines for project code only,
# so third-party headers never trip -Werror.
add_library(tessel_project_options INTERFACE)
target_compile_options(tessel_project_options INTERFACE
  -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Werror)
target_compile_definitions(tessel_project_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_USE_QSTRINGBUILDER
  QT_DISABLE_DEPRECATED_BEFORE=0x060400
  QT_NO_KEYWORDS)

if(TESSEL_SANITIZE)
  target_compile_options(tessel_project_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(tessel_project_options INTERFACE -fsanitize=address,undefined)
endif()
