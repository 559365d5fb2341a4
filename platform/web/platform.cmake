# The web platform (Emscripten): the page's canvas, its Run menu bar, log panel and dialog;
# shapes and texts drawn in software by the core, texts with FreeType compiled to WebAssembly
# from source (freetype.cmake). The program's own loop keeps running as it is: with ASYNCIFY the
# runtime hands control to the browser only inside the wait and the dialog.
# Included by runtime/CMakeLists.txt.
include(${CMAKE_CURRENT_LIST_DIR}/freetype.cmake)
target_sources(zepha_runtime PRIVATE
  ${PROJECT_SOURCE_DIR}/runtime/software/software_renderer.cpp
  ${PROJECT_SOURCE_DIR}/runtime/core/input_queue.cpp
  ${PROJECT_SOURCE_DIR}/runtime/pure/pixel_shapes.cpp
  ${PROJECT_SOURCE_DIR}/runtime/software/text_face_freetype.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/menu_bar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gets_dialog.cpp
)
target_link_libraries(zepha_runtime PUBLIC zepha_freetype)

# Every program is a page: PROGRAM.html from shell.html, with PROGRAM.js and PROGRAM.wasm.
# page.js is the page's own code (menu bar, log panel, dialog, input, the script file's
# storage); the program's files live in IndexedDB, mounted as its working folder.
set(ZEPHA_WEB_PAGE_FILES ${CMAKE_CURRENT_LIST_DIR}/shell.html ${CMAKE_CURRENT_LIST_DIR}/page.js)
target_link_options(zepha_runtime PUBLIC
  -sASYNCIFY
  -sASYNCIFY_STACK_SIZE=65536
  -sALLOW_MEMORY_GROWTH=1
  -sEXIT_RUNTIME=1
  -sMINIFY_HTML=0 # Debian's emcc calls an HTML minifier it does not ship
  -lidbfs.js
  "SHELL:--shell-file ${CMAKE_CURRENT_LIST_DIR}/shell.html"
  "SHELL:--pre-js ${CMAKE_CURRENT_LIST_DIR}/page.js")
set_property(TARGET zepha_runtime APPEND PROPERTY INTERFACE_LINK_DEPENDS ${ZEPHA_WEB_PAGE_FILES})

# main(), which calls the program's app_main() and tells the page how it ended.
set(ZEPHA_PROGRAM_ENTRY ${CMAKE_CURRENT_LIST_DIR}/program_main.cpp)
