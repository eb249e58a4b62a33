# Read by cpack before it builds a package. Without dpkg-shlibdeps, cpack would build a
# Debian package with no dependencies at all, and say so only in passing.
cmake_policy(VERSION 3.25)
if(CPACK_GENERATOR STREQUAL "DEB")
    find_program(LUCENTOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(NOT LUCENTOR_DPKG_SHLIBDEPS)
        message(FATAL_ERROR "dpkg-shlibdeps not found: install the Debian package dpkg-dev")
    endif()
endif()
