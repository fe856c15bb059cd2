# The Debian package of the installed layout (cmake/install.cmake), made
# by scripts/package with CPack. Its library dependencies are read from
# the tool itself with dpkg-shlibdeps; osslsigncode, which `parvolex
# build` runs to sign and `parvolex verify` to check, is recommended.
set(PVX_PACKAGE_MAINTAINER "Parvolex maintainers <maintainers@parvolex.invalid>" CACHE STRING
    "The Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME parvolex)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${PVX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "writes setup programs for 32-bit Windows")
set(CPACK_PACKAGE_DESCRIPTION
    "parvolex appends an installation package (files, registry values, INI
entries, fonts, shortcuts, an uninstaller) to a small runtime stub and so
writes a setup executable that shows a wizard or installs silently. It
also shows what a setup will do (inspect), unpacks one (extract) and
checks its Authenticode signature (verify).")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS osslsigncode)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
