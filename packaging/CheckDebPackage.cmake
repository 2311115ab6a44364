# Run by CTest: `cpack -G DEB` into OUT, then check that the package holds the binaries, the
# launcher, the metainfo and the icon under /usr, and that dpkg-shlibdeps declared the
# libraries the binaries link against.
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND cpack -G DEB -B ${OUT} --config ${BUILD_DIR}/CPackConfig.cmake
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (${result}):\n${out}")
endif()
file(GLOB packages ${OUT}/tessel-desktop_*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one tessel-desktop_*.deb in ${OUT}, found: ${packages}")
endif()

execute_process(COMMAND dpkg-deb --contents ${packages} OUTPUT_VARIABLE contents RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "dpkg-deb --contents failed: ${result}")
endif()
foreach(path ./usr/bin/tessel-desktop ./usr/bin/tessel-demo-gateway ./usr/share/applications/${APP_ID}.desktop
             ./usr/share/metainfo/${APP_ID}.metainfo.xml ./usr/share/icons/hicolor/scalable/apps/${APP_ID}.svg)
  string(REGEX REPLACE "([.+])" "\\\\\\1" pattern "${path}")
  if(NOT contents MATCHES " ${pattern}\n")
    message(FATAL_ERROR "${path} is not in the package:\n${contents}")
  endif()
endforeach()

execute_process(COMMAND dpkg-deb --field ${packages} Package Depends OUTPUT_VARIABLE fields)
if(NOT fields MATCHES "Package: tessel-desktop\n")
  message(FATAL_ERROR "wrong package name:\n${fields}")
endif()
foreach(library libc6 libqt6core6 libqt6widgets6 libqt6network6 libqt6websockets6 libqt6svg6 libqt6dbus6
                libsecret-1-0 libsimdjson)
  if(NOT fields MATCHES "Depends:.*[ ,]${library}[0-9]* \\(")
    message(FATAL_ERROR "the package does not depend on ${library}:\n${fields}")
  endif()
endforeach()
file(REMOVE_RECURSE ${OUT})
