#include "store/file_io.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>

#include <gmock/gmock.h>

#include "fakes/temp_dir.h"

namespace skarvel {
namespace {

using testing::TempDir;
using testing::throwsVb;
namespace fs = std::filesystem;

#ifndef _WIN32
int exitCode(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}
#endif

TEST(FileIo, FileExistsAndReadWholeFile) {
    TempDir dir;
    const std::string bytes("a,b\r\n\0\xff\rc\n", 11);
    TempDir::write(dir.file("a.csv"), bytes);
    EXPECT_EQ(readWholeFile(dir.file("a.csv")), bytes);
    EXPECT_TRUE(FileExists(dir.file("a.csv")));
    fs::create_directory(dir.file("config.ini"));
    for (const char* notAFile : {"config.ini", "missing.csv", "a.csv/below"}) {
        EXPECT_FALSE(FileExists(dir.file(notAFile))) << notAFile;
    }
    EXPECT_FALSE(FileExists(""));

    EXPECT_THAT([&] { readWholeFile(dir.file("missing")); }, throwsVb(err::kFileNotFound));
    EXPECT_THAT([&] { readWholeFile(dir.file("no/such/f")); }, throwsVb(err::kPathNotFound));
    EXPECT_THAT([&] { readWholeFile(dir.str()); }, throwsVb(err::kPathFileAccess));
}

TEST(FileIo, AtomicWriteReplacesWholeKeepsModeAndLinks) {
    TempDir dir;
    const std::string path = dir.file("status.txt");
    writeFileAtomic(path, "first\r\n");
    writeFileAtomic(path, "2");
    EXPECT_EQ(TempDir::read(path), "2");
    writeFileAtomic(path, "");
    EXPECT_EQ(TempDir::read(path), "");
    EXPECT_EQ(dir.entryCount(), 1u);
#ifdef _WIN32
    GTEST_SKIP() << "POSIX only from here: permission bits and symbolic links";
#endif
    fs::permissions(path, fs::perms(0640));
    writeFileAtomic(path, "3");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));

    // A linked page is written through to its target and stays a link.
    fs::create_directory(dir.file("www"));
    TempDir::write(dir.file("www/page.html"), "old");
    fs::create_symlink("www/page.html", dir.file("CloudStatus.html"));
    writeFileAtomic(dir.file("CloudStatus.html"), "new");
    EXPECT_TRUE(fs::is_symlink(dir.file("CloudStatus.html")));
    EXPECT_EQ(TempDir::read(dir.file("www/page.html")), "new");
    EXPECT_EQ(dir.entryCount(), 3u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("www")), fs::directory_iterator()), 1);
}

TEST(FileIo, AtomicWriteFailuresKeepTheOldFile) {
    TempDir dir;
    EXPECT_THAT([&] { writeFileAtomic(dir.file("gone/page.html"), "x"); },
                throwsVb(err::kPathNotFound));
    fs::create_directories(dir.file("config.ini/inside"));
    EXPECT_THAT([&] { writeFileAtomic(dir.file("config.ini"), "x"); },
                throwsVb(err::kPathFileAccess));
    EXPECT_TRUE(fs::is_directory(dir.file("config.ini/inside")));
    EXPECT_EQ(dir.entryCount(), 1u);

#ifdef _WIN32
    GTEST_SKIP() << "POSIX only from here: a folder's permission bits";
#else
    if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
#endif
    const std::string path = dir.file("status.txt");
    writeFileAtomic(path, "old");
    fs::permissions(dir.str(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_THAT([&] { writeFileAtomic(path, "new"); }, throwsVb(err::kPermissionDenied));
    fs::permissions(dir.str(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(TempDir::read(path), "old");
    EXPECT_EQ(dir.entryCount(), 2u);
}

// No process has a number above the kernel's largest, and init never goes away.
TEST(FileIo, StaleTemporariesOfDeadWritersAreRemoved) {
    TempDir dir;
#ifdef _WIN32
    const std::string live = std::to_string(::getpid());  // Windows has no everlasting process
#else
    const std::string live = "1";
#endif
    const std::string kept[] = {".page.html." + live + "-0.tmp", ".year.bmp.999999999-0.tmp",
                                ".page.html.backup.tmp"};
    for (const auto& name : kept) TempDir::write(dir / name, "x");
    TempDir::write(dir / ".page.html.999999999-3.tmp", "x");
    writeFileAtomic(dir.file("page.html"), "<html>");
    EXPECT_FALSE(fs::exists(dir / ".page.html.999999999-3.tmp"));
    for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir / name)) << name;
}

// Paths are UTF-8 everywhere; Windows must not read them in its local code page.
TEST(FileIo, NamesBeyondAscii) {
    TempDir dir;
    const auto native = [](const std::string& p) {
        return fs::path(std::u8string(p.begin(), p.end()));
    };
    const std::string folder = dir.str() + "/Z\xC3\xBCrich \xE2\x98\x81";  // Zürich ☁
    const std::string path = folder + "/\xC3\xA9t\xC3\xA9.csv",
                      stale = folder + "/.\xC3\xA9t\xC3\xA9.csv.999999999-0.tmp";
    fs::create_directory(native(folder));
    TempDir::write(native(stale), "x");
    writeFileAtomic(path, "a\r\n");
    appendToFile(path, "b\r\n");
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(readWholeFile(path), "a\r\nb\r\n");
    EXPECT_EQ(TempDir::read(native(path)), "a\r\nb\r\n");
    EXPECT_FALSE(fs::exists(native(stale)));
}

TEST(FileIo, AppendAddsToTheEndAndFailsWhole) {
    TempDir dir;
    const std::string path = dir.file("2008_12_1.csv");
    appendToFile(path, "one\r\n");
    appendToFile(path, "12/1/2008 9:39:05 PM,3.2,-28.46667\r\n");
    EXPECT_EQ(TempDir::read(path), "one\r\n12/1/2008 9:39:05 PM,3.2,-28.46667\r\n");
    EXPECT_THAT([&] { appendToFile(dir.file("no/x.csv"), "l"); }, throwsVb(err::kPathNotFound));

#ifndef _WIN32  // POSIX only: a file-size limit cuts the line, in a forked child
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{50, 50};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            appendToFile(path, "12/1/2008 9:45:05 PM,3.2,-28.46667\r\n");
        } catch (const VbError&) {
            ::_exit(0);
        }
        ::_exit(1);
    }
    EXPECT_EQ(exitCode(child), 0) << "a partial append was reported as done";
    EXPECT_EQ(TempDir::read(path), "one\r\n12/1/2008 9:39:05 PM,3.2,-28.46667\r\n");
#endif

    // A last line cut off by someone else keeps the new line whole on a line of its own.
    TempDir::write(path, "12/1/2008 9:30:05 PM,3.2");
    appendToFile(path, "12/1/2008 9:45:05 PM,3.2,-28.4\r\n");
    EXPECT_EQ(TempDir::read(path),
              "12/1/2008 9:30:05 PM,3.2\r\n12/1/2008 9:45:05 PM,3.2,-28.4\r\n");
}

// A writer killed at any moment leaves the old content or the new one, never a mix, and at
// most the one temporary it was writing, which the next run clears away. Each child is such a
// run: this process writes the file only at the end, so no child inherits its sweep.
TEST(FileIo, AtomicWriteSurvivesBeingKilled) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX only: forks writers and kills them";
#else
    TempDir dir;
    const std::string path = dir.file("CloudStatus.html");
    const std::string a(300000, 'a');
    const std::string b = std::string(200000, 'b') + "\r\n";
    const auto whole = [&] {
        const std::string seen = TempDir::read(path);
        return seen == a || seen == b;
    };
    TempDir::write(path, a);
    std::mt19937 rng(7);
    for (int round = 0; round < 6; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(20);
            try {
                for (unsigned i = 0;; ++i) writeFileAtomic(path, i % 2 ? a : b);
            } catch (...) {
                ::_exit(3);
            }
        }
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(5 + rng() % 40);
        while (std::chrono::steady_clock::now() < until) ASSERT_TRUE(whole());
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        ASSERT_EQ(exitCode(child), -SIGKILL) << "writer failed on its own";
        ASSERT_TRUE(whole());
        EXPECT_LE(dir.entryCount(), 2u);
    }
    writeFileAtomic(path, "done");
    EXPECT_EQ(dir.entryCount(), 1u);
#endif
}

}  // namespace
}  // namespace skarvel
