#pragma once

// The file layer's seam to the system: the shared rules live in file_io.cpp, the system calls in
// one file per platform (store/file_io_posix.cpp; win32/win32_file_io.cpp for Windows).

#include <filesystem>
#include <string>
#include <string_view>

#include "store/file_append.h"
#include "store/file_io.h"

namespace skarvel::file_platform {

/// What a whole-file write replaces.
struct Target {
    std::filesystem::path path;
    std::filesystem::path folder;
    std::string name;
};

// Shared by every platform.

/// Refuses a folder and sweeps the file's stale temporaries.
Target prepareTarget(const std::string& path);
/// The hidden name of a temporary that `pid` writes before renaming it over `name`.
std::string temporaryName(const std::string& name, long pid, unsigned serial);

// One implementation per platform.

/// Paths travel through the program as UTF-8.
std::filesystem::path toPath(const std::string& path);
std::string toUtf8(const std::filesystem::path& path);
/// True also when it cannot be told: a temporary of a live writer must never be removed.
bool processAlive(long pid);
long currentProcess();

std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view bytes, Durability durability,
               NewFile access);
bool makePrivate(const std::string& path);
void appendFile(const std::string& path, std::string_view bytes, AppendStage& stage);

}  // namespace skarvel::file_platform
