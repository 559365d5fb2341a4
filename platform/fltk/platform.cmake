# The native build (Linux, macOS): the FLTK platform, with windows, pumping, the menu bar, the
# log window and the dialog on FLTK 1.3, and beside it the headless platform; shapes and texts
# drawn in software by the core, texts with FreeType. Included by runtime/CMakeLists.txt.
# Debian's FLTK package names its library folder through DEB_HOST_MULTIARCH, which only
# Debian's own package builds set; elsewhere it is this compiler's library architecture.
if(NOT DEFINED DEB_HOST_MULTIARCH AND CMAKE_LIBRARY_ARCHITECTURE)
  set(DEB_HOST_MULTIARCH ${CMAKE_LIBRARY_ARCHITECTURE})
endif()
find_package(FLTK CONFIG REQUIRED)
target_sources(zepha_runtime PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/menu_bar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gets_dialog.cpp
)
target_include_directories(zepha_runtime PRIVATE ${FLTK_INCLUDE_DIRS})
# FLTK 1.4 (Homebrew's, say) names its library fltk::fltk; 1.3 names it fltk.
if(TARGET fltk::fltk)
  target_link_libraries(zepha_runtime PUBLIC fltk::fltk)
else()
  target_link_libraries(zepha_runtime PUBLIC fltk)
endif()
# The display is opened through Xlib, so that a program without one can say what to do instead.
if(NOT APPLE)
  find_package(X11 REQUIRED)
  target_link_libraries(zepha_runtime PUBLIC X11::X11)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../headless/platform.cmake)

# main(), which calls the program's app_main().
set(ZEPHA_PROGRAM_ENTRY ${CMAKE_CURRENT_LIST_DIR}/program_main.cpp)
