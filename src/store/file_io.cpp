#include "store/file_io.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

#include "store/file_platform.h"
#include "store/vb_error.h"

namespace skarvel {

namespace fs = std::filesystem;
using namespace file_platform;

namespace {

std::optional<long> temporaryOwner(std::string_view file, const std::string& name) {
    const std::string prefix = "." + name + ".";
    const std::string_view suffix = ".tmp";
    if (file.size() <= prefix.size() + suffix.size() || !file.starts_with(prefix) ||
        !file.ends_with(suffix)) {
        return std::nullopt;
    }
    const std::string_view middle =
        file.substr(prefix.size(), file.size() - prefix.size() - suffix.size());
    const auto dash = middle.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == middle.size() ||
        middle.find_first_not_of("0123456789-") != std::string_view::npos ||
        middle.find('-', dash + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    long pid = 0;
    const auto res = std::from_chars(middle.data(), middle.data() + dash, pid);
    if (res.ec != std::errc() || pid <= 0) return std::nullopt;
    return pid;
}

// A writer killed between creating its temporary and renaming it leaves the temporary behind;
// the next write of the same file removes those whose writer is gone.
void removeStaleTemporaries(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const auto pid = temporaryOwner(toUtf8(it->path().filename()), name);
        if (pid && !processAlive(*pid)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

}  // namespace

namespace file_platform {

// Temporaries are hidden files named after the target and their writer's process:
// ".status.txt.1234-7.tmp".
std::string temporaryName(const std::string& name, long pid, unsigned serial) {
    return "." + name + "." + std::to_string(pid) + "-" + std::to_string(serial) + ".tmp";
}

// Refuses a folder and sweeps the file's stale temporaries.
Target prepareTarget(const std::string& path) {
    Target t{toPath(path), {}, {}};
    {
        // Replace what a link points at, not the link: a page linked into a web server's tree
        // stays linked.
        std::error_code ec;
        if (fs::is_symlink(t.path, ec)) {
            fs::path resolved = fs::weakly_canonical(t.path, ec);
            if (!ec) t.path = std::move(resolved);
        }
    }
    t.name = toUtf8(t.path.filename());
    if (t.name.empty()) throw vbError(err::kBadFileName);
    t.folder = t.path.parent_path();
    {
        std::error_code ec;
        if (fs::is_directory(t.path, ec)) throw vbError(err::kPathFileAccess);
    }
    // Only an earlier, killed process can leave them, so one sweep per file and run will do.
    static std::set<std::string> swept;
    if (swept.insert(toUtf8(t.path)).second) removeStaleTemporaries(t.folder, t.name);
    return t;
}

}  // namespace file_platform

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    try {
        std::error_code ec;
        const auto st = fs::status(toPath(path), ec);
        return !ec && fs::exists(st) && !fs::is_directory(st);
    } catch (const VbError&) {
        return false;  // a name the system cannot hold
    }
}

// A failure names its file, which the journal needs and the message box does not show.
std::string readWholeFile(const std::string& path) try {
    return readFile(path);
} catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

void writeFileAtomic(const std::string& path, std::string_view bytes, Durability durability,
                     NewFile access) try {
    writeFile(path, bytes, durability, access);
} catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

bool restrictToOwner(const std::string& path) try { return makePrivate(path); } catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

void appendToFile(const std::string& path, std::string_view bytes, AppendStage& stage) try {
    appendFile(path, bytes, stage);
} catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

void appendToFile(const std::string& path, std::string_view bytes) {
    AppendStage stage{};
    appendToFile(path, bytes, stage);
}

}  // namespace skarvel
