# Read by cpack. A package from a debug or sanitizer build would install what nobody should run,
# and one made without dpkg-shlibdeps would lack its Depends and install without its libraries.
if(NOT CPACK_SKARVEL_BUILD STREQUAL "Release")
  message(FATAL_ERROR "this build is ${CPACK_SKARVEL_BUILD}; packages come from a plain Release "
                      "build: packaging/build-deb")
endif()
find_program(SKARVEL_SHLIBDEPS dpkg-shlibdeps)
if(NOT SKARVEL_SHLIBDEPS)
  message(FATAL_ERROR "dpkg-shlibdeps is missing (Debian package dpkg-dev); without it the "
                      "package would not name the libraries it needs")
endif()
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()
