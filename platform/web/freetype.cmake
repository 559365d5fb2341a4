# FreeType for the web build, compiled from its C sources with the program: Debian packages no
# FreeType for Emscripten. The sources are FreeType 2.11.1 as the npm package
# @julusian/freetype2 ships them; scripts/web installs it into build/web-deps.
set(ZEPHA_FREETYPE_SOURCE_DIR
  ${PROJECT_SOURCE_DIR}/build/web-deps/node_modules/@julusian/freetype2/vendor/freetype
  CACHE PATH "FreeType's source folder (holding include/ and src/) for the web build")
if(NOT EXISTS ${ZEPHA_FREETYPE_SOURCE_DIR}/src/base/ftbase.c)
  message(FATAL_ERROR "ZEPHA: no FreeType sources in ZEPHA_FREETYPE_SOURCE_DIR="
                      "${ZEPHA_FREETYPE_SOURCE_DIR}; scripts/web installs them")
endif()

# The modules the runtime's face needs: TrueType outlines and hinting (with the auto-hinter
# FreeType falls back to for glyphs without instructions), the monochrome and the smooth
# rasterisers, the face's gasp table, and the zlib reader that WOFF support links to.
set(src ${ZEPHA_FREETYPE_SOURCE_DIR}/src)
add_library(zepha_freetype STATIC
  ${src}/base/ftsystem.c
  ${src}/base/ftinit.c
  ${src}/base/ftdebug.c
  ${src}/base/ftbase.c
  ${src}/base/ftbitmap.c
  ${src}/base/ftgasp.c
  ${src}/base/ftglyph.c
  ${src}/base/ftmm.c
  ${src}/autofit/autofit.c
  ${src}/truetype/truetype.c
  ${src}/sfnt/sfnt.c
  ${src}/psnames/psnames.c
  ${src}/raster/raster.c
  ${src}/smooth/smooth.c
  ${src}/gzip/ftgzip.c
)
target_include_directories(zepha_freetype SYSTEM PUBLIC ${ZEPHA_FREETYPE_SOURCE_DIR}/include)
target_include_directories(zepha_freetype PRIVATE ${CMAKE_CURRENT_LIST_DIR}/freetype)
target_compile_definitions(zepha_freetype PRIVATE FT2_BUILD_LIBRARY
                                                  "FT_CONFIG_MODULES_H=<zepha_ftmodule.h>")
# FreeType's own code, not this project's: built without the project's warnings.
target_compile_options(zepha_freetype PRIVATE -w)
add_library(Freetype::Freetype ALIAS zepha_freetype)
unset(src)
