# The headless platform: no window system; the surface in memory, drawn by the software renderer
# with texts from FreeType, pictures and animations written as PNG files with zlib. Every native
# build carries it, beside FLTK (platform/fltk/platform.cmake includes this file; ZEPHA_PLATFORM
# in the environment chooses it), or alone when ZEPHA_FLTK is OFF.
find_package(Freetype REQUIRED)
find_package(ZLIB REQUIRED)
target_sources(zepha_runtime PRIVATE
  ${PROJECT_SOURCE_DIR}/runtime/software/software_renderer.cpp
  ${PROJECT_SOURCE_DIR}/runtime/core/input_queue.cpp
  ${PROJECT_SOURCE_DIR}/runtime/software/text_face_freetype.cpp
  ${PROJECT_SOURCE_DIR}/runtime/software/png_file.cpp
  ${PROJECT_SOURCE_DIR}/runtime/software/apng_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/headless.cpp
)
target_link_libraries(zepha_runtime PUBLIC Freetype::Freetype ZLIB::ZLIB)

if(ZEPHA_PLATFORM STREQUAL "headless")
  target_compile_definitions(zepha_runtime PRIVATE ZEPHA_HEADLESS_ONLY)
  # The native main(), the same as the FLTK build's, which calls the program's app_main().
  set(ZEPHA_PROGRAM_ENTRY ${CMAKE_CURRENT_LIST_DIR}/../fltk/program_main.cpp)
  cmake_path(NORMAL_PATH ZEPHA_PROGRAM_ENTRY)
  # The C++ runtime inside the program: a grading machine starts each program many times, and
  # loading the shared C++ library is a sixth of a short replay's start (measured). Not with
  # FLTK, which brings the shared one.
  if(ZEPHA_STATIC_PROGRAMS AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND NOT APPLE)
    target_link_options(zepha_runtime_program INTERFACE -static-libstdc++ -static-libgcc)
  endif()
endif()
