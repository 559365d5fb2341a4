# End-to-end tests of the shipped editor: the real .exe under Wine on a private X display,
# driven with real mouse clicks and keys, checked on screenshots and on the script file.
# Each test starts its own Xvfb; the Wine prefix is the tests' own, because a prefix's
# wineserver and desktop stay bound to the display they were started on.
add_executable(zepha_e2e_client_origin client_origin.cpp)
target_link_libraries(zepha_e2e_client_origin PRIVATE user32)
add_executable(zepha_e2e_ends_on_key WIN32 ends_on_key.cpp)
target_link_libraries(zepha_e2e_ends_on_key PRIVATE zepha_winmain zepha_runtime)

find_package(Python3 COMPONENTS Interpreter)
if(NOT Python3_Interpreter_FOUND)
  message(WARNING "python3 not found: the end-to-end tests are not registered")
  return()
endif()

set(ZEPHA_E2E_ARGS
  --editor $<TARGET_FILE:zepha_editor>
  --client-origin $<TARGET_FILE:zepha_e2e_client_origin>)
set(ZEPHA_E2E_ENV
  WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-e2e
  WINEDEBUG=-all
  WINEDLLOVERRIDES=mscoree,mshtml=
  PYTHONDONTWRITEBYTECODE=1)

add_test(NAME zepha_e2e_editor_shapes
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/editor_shapes_e2e.py
          ${ZEPHA_E2E_ARGS} --screenshot ${CMAKE_SOURCE_DIR}/docs/editor.png)
add_test(NAME zepha_e2e_record_replay
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/record_replay_e2e.py
          ${ZEPHA_E2E_ARGS} --replay $<TARGET_FILE:zepha_replay>)
add_test(NAME zepha_e2e_replay_tool
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/replay_tool_e2e.py
          ${ZEPHA_E2E_ARGS} --replay $<TARGET_FILE:zepha_replay>
          --event-stream $<TARGET_FILE:zepha_event_stream>
          --ends-on-key $<TARGET_FILE:zepha_e2e_ends_on_key>)
set_tests_properties(zepha_e2e_editor_shapes zepha_e2e_record_replay zepha_e2e_replay_tool
  PROPERTIES
  RUN_SERIAL TRUE
  TIMEOUT 300
  ENVIRONMENT "${ZEPHA_E2E_ENV}")
