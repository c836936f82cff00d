# The Debian package: `cpack -G DEB` in a build configured with CMAKE_INSTALL_PREFIX=/usr makes
# kestrune_VERSION_ARCH.deb from the install rules. scripts/package.sh drives it.
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KESTRUNE_CONTACT}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "static HTML slide show from a contact sheet of images")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillfen (kestrune) reads an HTML contact sheet, a page of links to JPG,
GIF and PNG images such as a page of thumbnails, and writes a slide show of
small static HTML pages beside it: for every image a manual page with
PREVIOUS and NEXT links and an automatic page that moves on after five
seconds, and one page showing all images.

It runs in a small window on the desktop, or headless from the command
line. The contact sheet is never changed and nothing is written outside its
folder.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Help > Help... opens the help page with xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
# Dependencies computed from the binary by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program stripped as Debian's own tools strip it (packaging/strip.cmake).
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip.cmake)
set(CPACK_KESTRUNE_STRIP ${CMAKE_STRIP})
set(CPACK_KESTRUNE_BINDIR ${CMAKE_INSTALL_BINDIR})
set(CPACK_KESTRUNE_MODULEDIR ${KESTRUNE_DESKTOP_INSTALL_DIR})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
