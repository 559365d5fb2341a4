# Settings every target of this project gets, as target properties: nothing here reaches the
# targets of a project that uses ZEPHA as a subproject.

# Warnings, and the Windows headers' switches, for code of this project.
function(zepha_target_defaults target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /utf-8)
    target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    # C99 formatting (vsnprintf always terminates and returns the full length).
    target_compile_definitions(${target} PRIVATE __USE_MINGW_ANSI_STDIO=1)
  endif()
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
endfunction()

# A program of this project: the defaults above, and one self-contained .exe with no libgcc,
# libstdc++ or winpthread DLL beside it.
function(zepha_program_defaults target)
  zepha_target_defaults(${target})
  if(MINGW)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()
