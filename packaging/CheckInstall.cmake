# Run by CTest: `cmake --install` into PREFIX, then check that the binaries, the .desktop file,
# the metainfo and the icon are where desktops look for them, that the launcher starts the
# installed binary by its name and shows the installed icon, and that both files validate.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(desktop ${PREFIX}/share/applications/${APP_ID}.desktop)
set(metainfo ${PREFIX}/share/metainfo/${APP_ID}.metainfo.xml)
set(icon ${PREFIX}/share/icons/hicolor/scalable/apps/${APP_ID}.svg)
foreach(path ${PREFIX}/bin/tessel-desktop ${PREFIX}/bin/tessel-demo-gateway ${desktop} ${metainfo} ${icon})
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()

file(STRINGS ${desktop} exec_line REGEX "^Exec=")
file(STRINGS ${desktop} icon_line REGEX "^Icon=")
if(NOT exec_line STREQUAL "Exec=tessel-desktop")
  message(FATAL_ERROR "the launcher does not start the installed binary: ${exec_line}")
endif()
if(NOT icon_line STREQUAL "Icon=${APP_ID}")
  message(FATAL_ERROR "the launcher names another icon: ${icon_line}")
endif()

execute_process(COMMAND desktop-file-validate ${desktop} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "desktop-file-validate: ${out}")
endif()
execute_process(COMMAND appstreamcli validate --no-net ${metainfo} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "appstreamcli validate: ${out}")
endif()
