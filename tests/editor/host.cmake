# The editor's platform-free sources built for the host with AddressSanitizer and
# UndefinedBehaviorSanitizer, against the recording display stand-in: leaks, double releases
# and uses after release in the shapes, the shape list and the editor state fail the run.
# Included by a host project that sets ZEPHA_SOURCE_DIR and provides GTest::gtest_main.
set(ZEPHA_EDITOR_HOST_TESTS ${ZEPHA_SOURCE_DIR}/tests/editor)

add_executable(zepha_editor_host_tests
  ${ZEPHA_SOURCE_DIR}/editor/shapes.cpp
  ${ZEPHA_SOURCE_DIR}/editor/shape_list.cpp
  ${ZEPHA_SOURCE_DIR}/editor/editor_state.cpp
  ${ZEPHA_SOURCE_DIR}/editor/editor_main.cpp
  ${ZEPHA_EDITOR_HOST_TESTS}/fake_display.cpp
  ${ZEPHA_EDITOR_HOST_TESTS}/alloc_failure.cpp
  ${ZEPHA_EDITOR_HOST_TESTS}/shapes_test.cpp
  ${ZEPHA_EDITOR_HOST_TESTS}/shape_list_test.cpp
  ${ZEPHA_EDITOR_HOST_TESTS}/editor_state_test.cpp
  ${ZEPHA_EDITOR_HOST_TESTS}/editor_main_test.cpp
)
target_include_directories(zepha_editor_host_tests PRIVATE ${ZEPHA_SOURCE_DIR})
set(ZEPHA_EDITOR_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
target_compile_options(zepha_editor_host_tests PRIVATE -Wall -Wextra ${ZEPHA_EDITOR_SANITIZE})
target_link_options(zepha_editor_host_tests PRIVATE ${ZEPHA_EDITOR_SANITIZE})
target_link_libraries(zepha_editor_host_tests PRIVATE GTest::gtest_main)

add_test(NAME zepha_editor_host_tests COMMAND zepha_editor_host_tests)
set_tests_properties(zepha_editor_host_tests PROPERTIES
  ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1")
