# What `cmake --install` places, and the Debian package `cpack -G DEB` builds from it.
include(GNUInstallDirs)

install(TARGETS lucentor-box lucentor-trio lucentor-field lucentor-render lucentor-view
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES
    scenes/box.toml
    scenes/example.toml
    scenes/field.toml
    scenes/trio.toml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lucentor/scenes)
install(FILES programs/view/lucentor-view.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(CPACK_PACKAGE_NAME lucentor)
set(CPACK_PACKAGE_VENDOR "Lucentor maintainers")
set(CPACK_PACKAGE_CONTACT
    "Lucentor maintainers <maintainers@users.noreply.c-seed-ea9e952f.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Control files want lines under 80 columns; cpack indents each.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "lucentor-box, lucentor-trio and lucentor-field each show a fixed scene in a"
    "window, sharper pass after pass; lucentor-view shows a scene file of your own"
    "the same way, and lucentor-render renders either to a PNG or PFM file without"
    "a window. Example scene files are in /usr/share/lucentor/scenes.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The dependencies are the Debian packages of the shared libraries the programs link, as
# dpkg-shlibdeps finds them, with the versions their symbols need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package_check.cmake)
include(CPack)
