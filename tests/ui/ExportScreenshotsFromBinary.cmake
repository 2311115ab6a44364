# Runs the real tessel-desktop with --export-screenshots-dir=DIR under the offscreen platform,
# with a private home, XDG folders and sync folder, and checks what it leaves behind.
# Usage: cmake -DAPP=<tessel-desktop> -DWORK=<scratch dir> -P ExportScreenshotsFromBinary.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/home" "${WORK}/runtime")
file(CHMOD "${WORK}/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(private_env
  HOME=${WORK}/home XDG_CONFIG_HOME=${WORK}/home/.config XDG_DATA_HOME=${WORK}/home/.local/share
  XDG_CACHE_HOME=${WORK}/home/.cache XDG_RUNTIME_DIR=${WORK}/runtime TESSEL_SYNC_DIR=${WORK}/sync)

# --help and --version answer without any display.
foreach(option --version --help)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
                          ${private_env} "${APP}" ${option}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 30)
  if(NOT status EQUAL 0 OR output STREQUAL "")
    message(FATAL_ERROR "${option} failed (${status}): ${output}${errors}")
  endif()
endforeach()
foreach(launch_option --gateway-url --project-directory)
  if(NOT output MATCHES "${launch_option} <")
    message(FATAL_ERROR "--help does not describe ${launch_option}:\n${output}")
  endif()
endforeach()
# A launch value that cannot work is refused, also without a display.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
                        ${private_env} "${APP}" "--gateway-url=not a url"
                RESULT_VARIABLE status ERROR_VARIABLE errors TIMEOUT 30)
if(NOT status EQUAL 2 OR NOT errors MATCHES "--gateway-url needs a websocket URL")
  message(FATAL_ERROR "a bad --gateway-url was not refused (${status}): ${errors}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${private_env}
                        "${APP}" UITestsMockFiles "--export-screenshots-dir=${WORK}/shots"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 60)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "export exited with ${status}:\n${output}${errors}")
endif()
foreach(line "starting export to ${WORK}/shots" "wrote chat screenshot" "wrote files screenshot"
             "restored defaults" "terminating app")
  string(FIND "${output}" "[DesktopPOCScreenshotExporter] ${line}\n" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "missing log line \"${line}\" in:\n${output}")
  endif()
endforeach()
foreach(name tessel-desktop-poc-chat.png tessel-desktop-poc-files.png)
  set(image "${WORK}/shots/${name}")
  if(NOT EXISTS "${image}")
    message(FATAL_ERROR "${name} was not written")
  endif()
  file(SIZE "${image}" bytes)
  # A blank 1120x720 PNG compresses to a few kilobytes; the window is far more.
  if(bytes LESS 30000)
    message(FATAL_ERROR "${name} has only ${bytes} bytes")
  endif()
  file(READ "${image}" signature LIMIT 8 HEX)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${name} is not a PNG")
  endif()
endforeach()
# Sync is off for an export: the sync folder is never created.
if(EXISTS "${WORK}/sync")
  message(FATAL_ERROR "the export touched the sync folder")
endif()
file(REMOVE_RECURSE "${WORK}")
