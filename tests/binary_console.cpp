// Windows only: without this, every line a test program prints ends in "\r\n", and CTest's
// test discovery on the build machine takes the "\r" for part of a test's name.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {
[[maybe_unused]] const bool binaryConsole =
    _setmode(_fileno(stdout), _O_BINARY) != -1 && _setmode(_fileno(stderr), _O_BINARY) != -1;
}  // namespace
