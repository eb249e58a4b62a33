# What `cmake --install` places, and the Debian package `cpack -G DEB` builds from it.
include(GNUInstallDirs)

install(TARGETS lucentor-box lucentor-trio lucentor-field lucentor-render lucentor-view
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES
    scenes/box.toml
    scenes/cornell.toml
    scenes/example.toml
    scenes/field.toml
    scenes/meshes.toml
    scenes/trio.toml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lucentor/scenes)
# The mesh files scenes/meshes.toml names, beside it as in the source tree.
install(DIRECTORY scenes/models DESTINATION ${CMAKE_INSTALL_DATADIR}/lucentor/scenes)
install(FILES programs/view/lucentor-view.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The desktop entry's icon: the box, 256 passes at 256 x 256 by lucentor-render.
install(FILES packaging/lucentor-view.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

# Debian's places for the licence (machine-readable) and a native package's changelog,
# which must be compressed with gzip -9 and, for reproducible packages, without a timestamp.
set(lucentor_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/lucentor)
set(lucentor_packaging_dir ${PROJECT_BINARY_DIR}/packaging)
configure_file(packaging/changelog ${lucentor_packaging_dir}/changelog COPYONLY)

# Compresses the build folder's packaging/NAME into NAME.gz; appends the output to `list`.
function(lucentor_gzip name list)
    set(output ${lucentor_packaging_dir}/${name}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND gzip -9 -n -f -k ${lucentor_packaging_dir}/${name}
        DEPENDS ${lucentor_packaging_dir}/${name}
        COMMENT "Compressing ${name}")
    set(${list} ${${list}} ${output} PARENT_SCOPE)
endfunction()

# Manual pages. The window programs take no options, so theirs are written by hand from one
# template; lucentor-render's and lucentor-view's are made by help2man from their --help and
# --version, so that they cannot fall behind the options.
set(lucentor_box_summary "a box of five walls with a mirror and a glass sphere")
set(lucentor_box_description "a box of five walls (white floor, ceiling and back wall, red \
wall on the left, green on the right) with a mirror sphere and a glass sphere on the floor, \
lit by a small spherical light under the ceiling")
set(lucentor_trio_summary "three spheres on a checkerboard floor")
set(lucentor_trio_description "a red diffuse sphere and a mirror sphere on a checkerboard \
floor, seen through a large glass sphere centred on the camera, lit by a big spherical light \
up, left and behind")
set(lucentor_field_summary "a field of coloured spheres on a checkerboard floor")
set(lucentor_field_description "105 randomly coloured diffuse spheres of radius 0.5 to 1 \
standing on a checkerboard floor 10 to 25 units ahead, lit by one point light (hard shadows)")
set(lucentor_manual_pages)
foreach(PRESET IN ITEMS box trio field)
    set(PROGRAM lucentor-${PRESET})
    string(TOUPPER ${PROGRAM} PROGRAM_UPPER)
    set(SCENE_SUMMARY ${lucentor_${PRESET}_summary})
    set(SCENE_DESCRIPTION ${lucentor_${PRESET}_description})
    configure_file(packaging/lucentor-window.6.in ${lucentor_packaging_dir}/${PROGRAM}.6 @ONLY)
    lucentor_gzip(${PROGRAM}.6 lucentor_manual_pages)
endforeach()
set(lucentor_render_summary "render a Lucentor scene to a picture file without a window")
set(lucentor_view_summary "show a Lucentor scene file in a window, sharper pass after pass")
foreach(tool IN ITEMS render view)
    set(page ${lucentor_packaging_dir}/lucentor-${tool}.1)
    add_custom_command(OUTPUT ${page}
        COMMAND help2man --no-info --section 1 --name ${lucentor_${tool}_summary}
            --output ${page} $<TARGET_FILE:lucentor-${tool}>
        DEPENDS lucentor-${tool}
        COMMENT "Writing the manual page of lucentor-${tool}")
    lucentor_gzip(lucentor-${tool}.1 lucentor_manual_pages)
endforeach()
lucentor_gzip(changelog lucentor_changelog)
add_custom_target(lucentor_package_files ALL DEPENDS ${lucentor_manual_pages} ${lucentor_changelog})

install(FILES packaging/copyright ${lucentor_changelog} DESTINATION ${lucentor_doc_dir})
foreach(page IN LISTS lucentor_manual_pages)
    # lucentor-box.6.gz -> man6
    string(REGEX MATCH "\\.([0-9])\\.gz$" section ${page})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${CMAKE_MATCH_1})
endforeach()

set(CPACK_PACKAGE_NAME lucentor)
set(CPACK_PACKAGE_VENDOR "Lucentor maintainers")
set(CPACK_PACKAGE_CONTACT
    "Lucentor maintainers <maintainers@users.noreply.c-seed-ea9e952f.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Control files want lines under 80 columns; cpack indents each.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "lucentor-box, lucentor-trio and lucentor-field each show a fixed scene in a"
    "window, sharper pass after pass; lucentor-view shows a scene file of your own"
    "the same way, and lucentor-render renders either to a PNG, PFM or OpenEXR"
    "file without a window. Example scene files are in /usr/share/lucentor/scenes.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The dependencies are the Debian packages of the shared libraries the programs link, as
# dpkg-shlibdeps finds them, with the versions their symbols need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Programs without their symbols, as Debian ships them.
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package_check.cmake)
include(CPack)
