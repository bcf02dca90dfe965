#pragma once

#include <string>
#include <string_view>

namespace skarvel {

/// The platform's path separator: the program folder and the web path end with it.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

/// True for an existing path that is not a folder; every failure yields false.
bool FileExists(const std::string& path);

/// Reads a whole file and closes it. Throws VbError (53 when missing).
std::string readWholeFile(const std::string& path);

/// Writes `bytes` to a temporary file in the same folder and renames it over `path`, so a
/// reader sees the old file or the new one, never a part. Throws VbError; on failure the old
/// file is untouched and no temporary file is left behind.
enum class Durability {
    Synced,  ///< on disk before the rename: settings, status, page
    Cached,  ///< left to the page cache: pictures that are redrawn every quarter hour anyway
};
/// Who may read a file that does not exist yet; a replaced file keeps its permissions.
enum class NewFile {
    Shared,     ///< as the umask allows
    OwnerOnly,  ///< it may hold a password (Windows: the user's own folder is private already)
};
void writeFileAtomic(const std::string& path, std::string_view bytes,
                     Durability durability = Durability::Synced, NewFile access = NewFile::Shared);

/// Takes group's and others' rights off an existing file; true when it had any. Throws VbError.
/// Windows has no such bits: false.
bool restrictToOwner(const std::string& path);

/// Appends `bytes` in one write, creating the file when missing, and closes it. Throws VbError.
void appendToFile(const std::string& path, std::string_view bytes);

}  // namespace skarvel
