# Cross-building for 64-bit ARM Linux (Raspberry Pi OS bookworm, Debian 12 arm64) with Debian's
# crossbuild-essential-arm64 and the arm64 libraries installed beside the build machine's
# (multiarch: dpkg --add-architecture arm64). QEMU runs the results when it is installed.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(triple aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${triple})

# No sysroot: the arm64 packages live in /usr, so only the multiarch folders tell them apart.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${triple}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
# moc, uic and rcc run on the build machine: the amd64 Qt's.
set(QT_HOST_PATH /usr)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  # Without binfmt_misc (as in containers) the emulator must be named. The arm64 loader and
  # libraries are found at their multiarch places, so it needs no -L prefix.
  find_program(SKARVEL_QEMU NAMES qemu-aarch64-static qemu-aarch64)
  if(SKARVEL_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${SKARVEL_QEMU})
  endif()
endif()
