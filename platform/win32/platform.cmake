# The Win32 platform: windows, message pump, menu bar, log window, GDI drawing and the dialog,
# on user32, gdi32 and kernel32. Included by runtime/CMakeLists.txt.
target_sources(zepha_runtime PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/win32_state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_pump.cpp
  ${CMAKE_CURRENT_LIST_DIR}/menu_bar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gdi_drawing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gets_dialog.cpp
)
target_link_libraries(zepha_runtime PUBLIC user32 gdi32 kernel32)

# WinMain; a program on the runtime is a GUI program.
set(ZEPHA_PROGRAM_ENTRY ${CMAKE_CURRENT_LIST_DIR}/win_main.cpp)
if(MINGW)
  target_link_options(zepha_runtime_program INTERFACE -mwindows)
  if(ZEPHA_STATIC_PROGRAMS)
    target_link_options(zepha_runtime_program INTERFACE -static)
  endif()
elseif(MSVC)
  target_link_options(zepha_runtime_program INTERFACE /SUBSYSTEM:WINDOWS)
endif()
