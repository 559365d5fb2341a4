# The Run menu and its Ctrl shortcuts, driven through posted window messages.
zepha_add_test(zepha_run_menu_test SOURCES run_menu_test.cpp LIBS zepha_runtime)
