# End-to-end tests of the shipped editor: the real .exe under Wine on a private X display,
# driven with real mouse clicks and keys, checked on screenshots and on the script file.
# Each test starts its own Xvfb; the Wine prefix is the tests' own, because a prefix's
# wineserver and desktop stay bound to the display they were started on.
add_executable(zepha_e2e_client_origin client_origin.cpp)
zepha_program_defaults(zepha_e2e_client_origin)
target_link_libraries(zepha_e2e_client_origin PRIVATE user32)
add_executable(zepha_e2e_ends_on_key ends_on_key.cpp)
zepha_program_defaults(zepha_e2e_ends_on_key)
target_link_libraries(zepha_e2e_ends_on_key PRIVATE zepha::runtime)
# The text face cases as the Win32 runtime draws them, for the host build's comparison with
# the software face (tests/host).
add_executable(zepha_text_face_dump text_face_dump.cpp)
zepha_program_defaults(zepha_text_face_dump)
target_include_directories(zepha_text_face_dump PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zepha_text_face_dump PRIVATE zepha_runtime)
add_executable(zepha_e2e_crashes_on_key crashes_on_key.cpp)
zepha_program_defaults(zepha_e2e_crashes_on_key)
target_link_libraries(zepha_e2e_crashes_on_key PRIVATE zepha::runtime)

# They need a Linux host with Python, Xvfb, xdotool and ImageMagick's import.
find_package(Python3 COMPONENTS Interpreter)
find_program(ZEPHA_XVFB Xvfb)
find_program(ZEPHA_XDOTOOL xdotool)
find_program(ZEPHA_IMPORT import)
if(NOT Python3_Interpreter_FOUND OR NOT ZEPHA_XVFB OR NOT ZEPHA_XDOTOOL OR NOT ZEPHA_IMPORT)
  message(STATUS "ZEPHA: the end-to-end tests need python3, Xvfb, xdotool and import; "
                 "not all were found, so they are not registered")
  return()
endif()

# The pictures the tests take for the documentation land in the build folder;
# scripts/pictures copies them into docs/.
set(ZEPHA_PICTURES ${PROJECT_BINARY_DIR}/pictures)
set(ZEPHA_E2E_ARGS
  --editor $<TARGET_FILE:zepha_editor>
  --client-origin $<TARGET_FILE:zepha_e2e_client_origin>)
set(ZEPHA_E2E_ENV
  WINEPREFIX=${PROJECT_BINARY_DIR}/wineprefix-e2e
  WINEDEBUG=-all
  WINEDLLOVERRIDES=mscoree,mshtml=
  PYTHONDONTWRITEBYTECODE=1)

add_test(NAME zepha_e2e_editor_shapes
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/editor_shapes_e2e.py
          ${ZEPHA_E2E_ARGS} --screenshot ${ZEPHA_PICTURES}/editor.png)
add_test(NAME zepha_e2e_record_replay
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/record_replay_e2e.py
          ${ZEPHA_E2E_ARGS} --replay $<TARGET_FILE:zepha_replay>)
add_test(NAME zepha_e2e_replay_tool
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/replay_tool_e2e.py
          ${ZEPHA_E2E_ARGS} --replay $<TARGET_FILE:zepha_replay>
          --event-stream $<TARGET_FILE:zepha_event_stream>
          --ends-on-key $<TARGET_FILE:zepha_e2e_ends_on_key>
          --crashes-on-key $<TARGET_FILE:zepha_e2e_crashes_on_key>)
# Each test has an Xvfb of its own; these three share a Wine prefix, so they take turns, beside
# the other tests.
set_tests_properties(zepha_e2e_editor_shapes zepha_e2e_record_replay zepha_e2e_replay_tool
  PROPERTIES
  RESOURCE_LOCK zepha_e2e_prefix
  COST 50
  TIMEOUT 300
  ENVIRONMENT "${ZEPHA_E2E_ENV}")

# The example programs, and the documentation's pictures, on a Wine desktop of their own that
# draws window frames and captions; they take the README's pictures.
add_test(NAME zepha_e2e_examples
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/examples_e2e.py
          ${ZEPHA_E2E_ARGS} --desktop --examples ${PROJECT_BINARY_DIR}/examples
          --replay $<TARGET_FILE:zepha_replay> --pictures ${ZEPHA_PICTURES})
set(ZEPHA_E2E_DESKTOP_ENV ${ZEPHA_E2E_ENV})
list(TRANSFORM ZEPHA_E2E_DESKTOP_ENV REPLACE "^WINEPREFIX=.*" "WINEPREFIX=${PROJECT_BINARY_DIR}/wineprefix-desktop")
set_tests_properties(zepha_e2e_examples PROPERTIES
  COST 50
  TIMEOUT 400
  ENVIRONMENT "${ZEPHA_E2E_DESKTOP_ENV}")
