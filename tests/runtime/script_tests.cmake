# Script recording and playback through the wait loop, under Wine: one process per test case,
# each in a fresh current folder of its own.
zepha_add_test(zepha_script_test SOURCES script_test.cpp LIBS zepha_runtime)
