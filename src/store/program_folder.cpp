#include "store/program_folder.h"

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

}  // namespace

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
