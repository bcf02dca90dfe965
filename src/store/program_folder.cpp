#include "store/program_folder.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace skarvel {

namespace {

bool under(std::string_view path, std::string_view root) {
    return path == root || (path.starts_with(root) && path[root.size()] == '/');
}

std::string join(std::string base, std::string_view rest) {
    if (!base.ends_with('/')) base += '/';
    return base.append(rest);
}

bool underIgnoringCase(std::string_view path, std::string_view root) {
    while (root.ends_with('\\')) root.remove_suffix(1);
    const auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    return !root.empty() && path.size() >= root.size() &&
           std::equal(root.begin(), root.end(), path.begin(), same) &&
           (path.size() == root.size() || path[root.size()] == '\\');
}

}  // namespace

std::string windowsProgramFolder(const std::string& exeFolder,
                                 const std::vector<std::string>& programFiles,
                                 const std::string& localAppData,
                                 const std::function<bool(const std::string&)>& writable) {
    const bool installed =
        std::any_of(programFiles.begin(), programFiles.end(),
                    [&](const std::string& root) { return underIgnoringCase(exeFolder, root); });
    if ((!installed && writable(exeFolder)) || localAppData.empty()) return exeFolder;
    return localAppData + (localAppData.ends_with('\\') ? "" : "\\") + "Skarvel";
}

std::string programFolder(const std::string& exeFolder, const std::string& xdgDataHome,
                          const std::string& home,
                          const std::function<bool(const std::string&)>& writable) {
    if (!under(exeFolder, "/usr") && !under(exeFolder, "/opt") && writable(exeFolder)) {
        return exeFolder;
    }
    // XDG says a relative XDG_DATA_HOME is to be ignored.
    if (xdgDataHome.starts_with('/')) return join(xdgDataHome, "skarvel");
    if (home.starts_with('/')) return join(home, ".local/share/skarvel");
    return exeFolder;  // no home to go to: files land where they always did, and errors say why
}

}  // namespace skarvel
