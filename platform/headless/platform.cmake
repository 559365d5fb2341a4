# The headless platform: no window system; the surface in memory, drawn by the software renderer,
# pictures and animations written as PNG files with zlib. Carried by every native build beside FLTK and chosen
# with ZEPHA_PLATFORM=headless. Included by platform/fltk/platform.cmake.
find_package(ZLIB REQUIRED)
target_sources(zepha_runtime PRIVATE
  ${PROJECT_SOURCE_DIR}/runtime/software/png_file.cpp
  ${PROJECT_SOURCE_DIR}/runtime/software/apng_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/headless.cpp
)
target_link_libraries(zepha_runtime PUBLIC ZLIB::ZLIB)
