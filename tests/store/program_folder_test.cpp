#include "store/program_folder.h"

#include <gtest/gtest.h>

namespace skarvel {
namespace {

TEST(ProgramFolder, BesideTheExecutableOnlyOutsideSystemFoldersAndWhereTheUserMayWrite) {
    struct Row {
        const char *exe, *xdgDataHome, *home;
        bool writable;
        const char* folder;
    };
    const Row rows[] = {
        {"/home/ann/.local/lib/skarvel", "", "/home/ann", true, "/home/ann/.local/lib/skarvel"},
        {"/srv/sky", "", "/home/ann", false, "/home/ann/.local/share/skarvel"},
        {"/usr/lib/skarvel", "", "/root", true, "/root/.local/share/skarvel"},  // root may write
        {"/usr", "", "/root/", true, "/root/.local/share/skarvel"},
        {"/opt/skarvel/lib/skarvel", "/data/xdg/", "/home/ann", true, "/data/xdg/skarvel"},
        {"/srv/sky", "relative/xdg", "/home/ann", false, "/home/ann/.local/share/skarvel"},
        {"/usrdata/sky", "/x", "/home/ann", true, "/usrdata/sky"},
    };
    for (const Row& r : rows) {
        const auto writable = [&](const std::string& dir) { return r.writable && dir == r.exe; };
        EXPECT_EQ(programFolder(r.exe, r.xdgDataHome, r.home, writable), r.folder) << r.exe;
    }
}

}  // namespace
}  // namespace skarvel
