#include "store/program_folder.h"

#include <gtest/gtest.h>

namespace skarvel {
namespace {

TEST(ProgramFolder, BesideTheExecutableOnlyOutsideSystemFoldersAndWhereTheUserMayWrite) {
    // The executable's folder, XDG_DATA_HOME, HOME, whether the user may write beside it.
    const std::tuple<const char*, const char*, const char*, bool, const char*> rows[] = {
        {"/home/ann/.local/lib/skarvel", "", "/home/ann", true, "/home/ann/.local/lib/skarvel"},
        {"/srv/sky", "", "/home/ann", false, "/home/ann/.local/share/skarvel"},
        {"/usr/lib/skarvel", "", "/root", true, "/root/.local/share/skarvel"},  // root may write
        {"/usr", "", "/root/", true, "/root/.local/share/skarvel"},
        {"/opt/skarvel/lib/skarvel", "/data/xdg/", "/home/ann", true, "/data/xdg/skarvel"},
        {"/srv/sky", "relative/xdg", "/home/ann", false, "/home/ann/.local/share/skarvel"},
        {"/usrdata/sky", "/x", "/home/ann", true, "/usrdata/sky"}};
    for (auto [exe, xdgDataHome, home, writable, folder] : rows) {
        const auto mayWrite = [&, exe = exe, writable = writable](const std::string& dir) {
            return writable && dir == exe;
        };
        EXPECT_EQ(programFolder(exe, xdgDataHome, home, mayWrite), folder) << exe;
    }
}

}  // namespace
}  // namespace skarvel
