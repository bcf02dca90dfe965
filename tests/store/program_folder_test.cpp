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
    // On Windows: Program Files, in any case, or a folder the user cannot write.
    const std::vector<std::string> programFiles{"C:\\Program Files", "C:\\Program Files (x86)\\"};
    const std::string local = "C:\\Users\\ann\\AppData\\Local";
    const std::tuple<const char*, bool, const char*> windows[] = {
        {"C:\\Sky", true, "C:\\Sky"},
        {"C:\\Sky", false, "C:\\Users\\ann\\AppData\\Local\\Skarvel"},
        {"c:\\program files\\Skarvel", true, "C:\\Users\\ann\\AppData\\Local\\Skarvel"},
        {"C:\\Program Files (x86)\\Skarvel", true, "C:\\Users\\ann\\AppData\\Local\\Skarvel"},
        {"C:\\Program Files Old\\Skarvel", true, "C:\\Program Files Old\\Skarvel"}};
    for (auto [exe, writable, folder] : windows) {
        const auto mayWrite = [writable = writable](const std::string&) { return writable; };
        EXPECT_EQ(windowsProgramFolder(exe, programFiles, local, mayWrite), folder) << exe;
    }
}

}  // namespace
}  // namespace skarvel
