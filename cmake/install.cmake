# What `cmake --install` lays out under the prefix (native tree only):
#   bin/parvolex
#   share/parvolex/runtime.exe, uninstall.exe   the 32-bit Windows programs
#   share/man/man1/parvolex.1
#   share/doc/parvolex/                         README, docs/, examples/
# bin and share/parvolex are fixed: an installed parvolex looks for its
# runtime at ../share/parvolex from its own folder (tool/runtime_location.h).
# The Windows programs come from the cross build (scripts/build and
# scripts/install build it first); scripts/install and scripts/package
# install a release build of the tool from build/release.
include(GNUInstallDirs)
set(PVX_WINDOWS_BIN_DIR "${PVX_BIN_DIR}" CACHE PATH
    "Where the installation takes runtime.exe and uninstall.exe from (the i686 build's products)")
get_filename_component(PVX_WINDOWS_BIN_DIR "${PVX_WINDOWS_BIN_DIR}" ABSOLUTE)

install(CODE "
  foreach(program runtime.exe uninstall.exe)
    if(NOT EXISTS \"${PVX_WINDOWS_BIN_DIR}/\${program}\")
      message(FATAL_ERROR \"${PVX_WINDOWS_BIN_DIR}/\${program} is missing: build the Windows programs first (scripts/build), or install with scripts/install\")
    endif()
  endforeach()
  if(NOT CMAKE_INSTALL_CONFIG_NAME STREQUAL \"Release\")
    message(WARNING \"installing a \${CMAKE_INSTALL_CONFIG_NAME} build of parvolex; scripts/install installs the release build\")
  endif()")
install(TARGETS parvolex RUNTIME DESTINATION bin)
install(FILES "${PVX_WINDOWS_BIN_DIR}/runtime.exe" "${PVX_WINDOWS_BIN_DIR}/uninstall.exe"
        DESTINATION share/parvolex)
install(FILES "${CMAKE_SOURCE_DIR}/docs/parvolex.1" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
# README's links (docs/…, examples/demo/) hold in the installed copy too.
install(FILES "${CMAKE_SOURCE_DIR}/README.md" DESTINATION "${CMAKE_INSTALL_DOCDIR}")
install(DIRECTORY "${CMAKE_SOURCE_DIR}/docs/" DESTINATION "${CMAKE_INSTALL_DOCDIR}/docs"
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
install(DIRECTORY "${CMAKE_SOURCE_DIR}/examples/" DESTINATION "${CMAKE_INSTALL_DOCDIR}/examples")
