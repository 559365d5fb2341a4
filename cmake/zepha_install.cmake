# Install rules, the CMake package (find_package(zepha CONFIG)) and the Windows release archive.
include(CMakePackageConfigHelpers)

set(ZEPHA_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zepha)

install(TARGETS zepha_runtime zepha_display zepha_runtime_program zepha_display_program
        EXPORT zepha-targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(header IN LISTS ZEPHA_PUBLIC_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${folder})
endforeach()
# The program entry is compiled into each program that links zepha::runtime or zepha::display.
install(FILES ${ZEPHA_PROGRAM_ENTRY} DESTINATION ${CMAKE_INSTALL_DATADIR}/zepha)
install(EXPORT zepha-targets NAMESPACE zepha:: DESTINATION ${ZEPHA_PACKAGE_DIR})

configure_package_config_file(cmake/zepha-config.cmake.in
  ${PROJECT_BINARY_DIR}/zepha-config.cmake INSTALL_DESTINATION ${ZEPHA_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zepha-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zepha-config.cmake ${PROJECT_BINARY_DIR}/zepha-config-version.cmake
        DESTINATION ${ZEPHA_PACKAGE_DIR})
# The toolchain file a Linux machine builds the Windows package's users with, beside the config
# file that names it.
if(ZEPHA_PLATFORM STREQUAL "win32")
  install(FILES cmake/mingw-w64-x86_64.cmake DESTINATION ${ZEPHA_PACKAGE_DIR})
endif()

# What a user reads (the programs install themselves, from their folders).
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The text face built into the runtime goes out with its licence.
install(FILES runtime/generated/zepha_font_license.txt DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
# A project to copy, which finds the ZEPHA it is installed with, and the examples' sources.
install(DIRECTORY starter/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zepha/starter
        PATTERN build EXCLUDE PATTERN build-windows EXCLUDE)
file(GLOB ZEPHA_EXAMPLE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.cpp)
install(FILES ${ZEPHA_EXAMPLE_SOURCES} DESTINATION ${CMAKE_INSTALL_DATADIR}/zepha/examples)

# scripts/package: zepha-<version>-win64.zip for Windows, zepha-<version>-linux-x86_64.tar.gz
# natively; everything above in one folder of that name.
if(ZEPHA_PLATFORM STREQUAL "win32")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME zepha-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR TGZ)
  string(TOLOWER ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR} ZEPHA_SYSTEM)
  set(CPACK_PACKAGE_FILE_NAME zepha-${PROJECT_VERSION}-${ZEPHA_SYSTEM})
endif()
set(CPACK_PACKAGE_NAME zepha)
set(CPACK_PACKAGE_VENDOR zepha)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_STRIP_FILES ON) # the programs without their symbol tables; static libraries are kept whole
include(CPack)
