#include "store/file_io.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "store/temp_dir.h"
#include "store/vb_error.h"

namespace skarvel {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

int errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

pid_t deadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST(FileIo, FileExistsOnlyForFiles) {
    TempDir dir;
    TempDir::write(dir.file("a.csv"), "x");
    fs::create_directory(dir.file("config.ini"));
    EXPECT_TRUE(FileExists(dir.file("a.csv")));
    EXPECT_FALSE(FileExists(dir.file("config.ini")));
    EXPECT_FALSE(FileExists(dir.file("missing.csv")));
    EXPECT_FALSE(FileExists(dir.file("a.csv/below")));
    EXPECT_FALSE(FileExists(""));
}

TEST(FileIo, ReadWholeFileKeepsEveryByteAndNamesTheFailure) {
    TempDir dir;
    const std::string bytes("a,b\r\n\0\xff\rc\n", 11);
    TempDir::write(dir.file("f"), bytes);
    EXPECT_EQ(readWholeFile(dir.file("f")), bytes);
    EXPECT_EQ(readWholeFile(dir.file("f")), bytes);  // nothing held open in between

    EXPECT_EQ(errorNumber([&] { readWholeFile(dir.file("missing")); }), err::kFileNotFound);
    EXPECT_EQ(errorNumber([&] { readWholeFile(dir.file("no/such/f")); }), err::kPathNotFound);
    EXPECT_EQ(errorNumber([&] { readWholeFile(dir.str()); }), err::kPathFileAccess);
}

TEST(FileIo, AtomicWriteReplacesWholeAndLeavesNothingBehind) {
    TempDir dir;
    const std::string path = dir.file("status.txt");
    writeFileAtomic(path, "first\r\n");
    EXPECT_EQ(TempDir::read(path), "first\r\n");
    ::chmod(path.c_str(), 0640);
    writeFileAtomic(path, "2");
    EXPECT_EQ(TempDir::read(path), "2");
    EXPECT_EQ(dir.entryCount(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    writeFileAtomic(path, "");
    EXPECT_EQ(TempDir::read(path), "");
}

TEST(FileIo, AtomicWriteThroughALink) {
    TempDir dir;
    fs::create_directory(dir.file("www"));
    TempDir::write(dir.file("www/page.html"), "old");
    fs::create_symlink("www/page.html", dir.file("CloudStatus.html"));
    writeFileAtomic(dir.file("CloudStatus.html"), "new");
    EXPECT_TRUE(fs::is_symlink(dir.file("CloudStatus.html")));
    EXPECT_EQ(TempDir::read(dir.file("www/page.html")), "new");
    EXPECT_EQ(dir.entryCount(), 2u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("www")), fs::directory_iterator()), 1);
}

TEST(FileIo, AtomicWriteFailuresKeepTheOldFile) {
    TempDir dir;
    EXPECT_EQ(errorNumber([&] { writeFileAtomic(dir.file("gone/page.html"), "x"); }),
              err::kPathNotFound);

    fs::create_directory(dir.file("config.ini"));
    fs::create_directory(dir.file("config.ini/inside"));
    EXPECT_EQ(errorNumber([&] { writeFileAtomic(dir.file("config.ini"), "x"); }),
              err::kPathFileAccess);
    EXPECT_TRUE(fs::is_directory(dir.file("config.ini/inside")));
    EXPECT_EQ(dir.entryCount(), 1u);

    if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
    const std::string path = dir.file("status.txt");
    writeFileAtomic(path, "old");
    fs::permissions(dir.str(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(errorNumber([&] { writeFileAtomic(path, "new"); }), err::kPermissionDenied);
    fs::permissions(dir.str(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(TempDir::read(path), "old");
    EXPECT_EQ(dir.entryCount(), 2u);
}

TEST(FileIo, StaleTemporariesOfDeadWritersAreRemoved) {
    TempDir dir;
    const std::string dead = dir.file(".page.html." + std::to_string(deadPid()) + "-3.tmp");
    const std::string alive = dir.file(".page.html.1-0.tmp");  // init never goes away
    const std::string otherTarget = dir.file(".year.bmp." + std::to_string(deadPid()) + "-0.tmp");
    const std::string notOurs = dir.file(".page.html.backup.tmp");
    for (const auto& p : {dead, alive, otherTarget, notOurs}) TempDir::write(p, "x");

    writeFileAtomic(dir.file("page.html"), "<html>");
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(alive));
    EXPECT_TRUE(fs::exists(otherTarget));
    EXPECT_TRUE(fs::exists(notOurs));
}

TEST(FileIo, AppendAddsToTheEndAndReportsFailures) {
    TempDir dir;
    const std::string path = dir.file("2008_12_1.csv");
    appendToFile(path, "one\r\n");
    appendToFile(path, "two\r\n");
    EXPECT_EQ(TempDir::read(path), "one\r\ntwo\r\n");

    EXPECT_EQ(errorNumber([&] { appendToFile(dir.file("no/x.csv"), "l"); }), err::kPathNotFound);
    EXPECT_EQ(errorNumber([&] { appendToFile(dir.str(), "l"); }), err::kPathFileAccess);
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(errorNumber([] { appendToFile("/dev/full", "line\r\n"); }), err::kDiskFull);
    }
}

TEST(FileIo, FailedAppendLeavesNoFragment) {
    TempDir dir;
    const std::string path = dir.file("2008_12_1.csv");
    appendToFile(path, "12/1/2008 9:39:05 PM,3.2,-28.46667\r\n");
    // In a child, so that the size limit cannot reach the rest of the tests.
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
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a partial append was reported as done";
    EXPECT_EQ(TempDir::read(path), "12/1/2008 9:39:05 PM,3.2,-28.46667\r\n");
}

// A writer killed at any moment leaves the old content or the new one, never a mix, and at
// most the one temporary it was writing, which the next writer clears away.
TEST(FileIo, AtomicWriteSurvivesBeingKilled) {
    TempDir dir;
    const std::string path = dir.file("CloudStatus.html");
    const std::string a(300000, 'a');
    const std::string b = std::string(200000, 'b') + "\r\n";
    writeFileAtomic(path, a);

    std::mt19937 rng(7);
    for (int round = 0; round < 6; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(20);
            for (unsigned i = 0;; ++i) {
                try {
                    writeFileAtomic(path, i % 2 ? a : b);
                } catch (...) {
                    ::_exit(3);
                }
            }
        }
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(5 + rng() % 40);
        while (std::chrono::steady_clock::now() < until) {
            const std::string seen = TempDir::read(path);
            ASSERT_TRUE(seen == a || seen == b) << "size " << seen.size();
        }
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed on its own";

        const std::string seen = TempDir::read(path);
        ASSERT_TRUE(seen == a || seen == b) << "size " << seen.size();
        EXPECT_LE(dir.entryCount(), 2u);
    }
    writeFileAtomic(path, "done");
    EXPECT_EQ(TempDir::read(path), "done");
    EXPECT_EQ(dir.entryCount(), 1u);
}

}  // namespace
}  // namespace skarvel
