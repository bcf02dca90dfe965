# Read by cpack: a package from a debug or sanitizer build would install what nobody should run.
if(NOT CPACK_SKARVEL_BUILD STREQUAL "Release")
  message(FATAL_ERROR "this build is ${CPACK_SKARVEL_BUILD}; packages come from a plain Release "
                      "build: packaging/build-deb")
endif()
