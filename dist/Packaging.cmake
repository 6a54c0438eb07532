# The Debian package (cpack -G DEB, see scripts/package): what the install
# rules lay out, under /usr, with the libraries it needs found by
# dpkg-shlibdeps. The file is vorndale_<version>_<architecture>.deb.
set(VORNDALE_PACKAGE_MAINTAINER "Vorndale <packages@vorndale.example>" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorndale)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Vorndale)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disk-space analyser with treemaps")
set(CPACK_PACKAGE_DESCRIPTION
    "Vorndale scans all local drives or one folder and shows where the space went: folders and files, the largest files, folders only and duplicates, each as a treemap above lists that move in step with it. Selected items can be opened, shown in the file manager, moved to the trash or deleted.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VORNDALE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VORNDALE_SITE}/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Opening items and web pages goes through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
