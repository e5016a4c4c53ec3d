# The Debian package: `cpack` in the build folder writes pelmaro_<version>_<arch>.deb. Its
# dependencies are those of the installed programs' libraries, as dpkg-shlibdeps finds them.
set(PELMARO_PACKAGE_MAINTAINER "Pelmaro developers <pelmaro@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmaro)
set(CPACK_PACKAGE_VENDOR "Pelmaro developers")
set(CPACK_PACKAGE_CONTACT "${PELMARO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reader for folder trees of local web pages")
# Lines of the long description stay under 80 columns, as dpkg shows them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Pelmaro catalogues every page under a folder (web pages, images and text"
    "files), titles and sorts them, and shows them beside an embedded browser,"
    "with title search, full-text search and bookmarks. A catalogue can be stored"
    "in the folder and opened again. The command-line companion, pelmaro-cli,"
    "builds and searches catalogues without the window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(PELMARO_GUI)
    # Qt picks its Wayland platform plugin in a Wayland session when it is there.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
endif()
# What Debian wants beside the programs in /usr/share/doc/pelmaro: the licence in the
# machine-readable format and the changelog, compressed; -n leaves the name and time out, so that
# the package's bytes don't depend on when it was built.
set(pelmaro_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${pelmaro_changelog}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog
            ${PROJECT_BINARY_DIR}/packaging/changelog
    COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/packaging/changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${pelmaro_changelog})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${pelmaro_changelog}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
