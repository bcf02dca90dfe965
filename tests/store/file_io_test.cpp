#include "store/file_io.h"
#include "store/file_platform.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <random>
#include <set>

#include <gmock/gmock.h>

#include "fakes/temp_dir.h"
#include "store/file_append.h"

namespace skarvel {
namespace {

using testing::TempDir, testing::throwsVb;
namespace fs = std::filesystem;

#ifndef _WIN32
int exitCode(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}
#endif

TEST(FileIo, ReadingAndFailuresThatKeepTheOldFile) {
    TempDir dir;
    const std::string bytes("a,b\r\n\0\xff\rc\n", 11);
    TempDir::write(dir / "a.csv", bytes);
    fs::create_directories(dir / "config.ini/inside");  // a folder where a file should be
    EXPECT_EQ(readWholeFile(dir.file("a.csv")), bytes);
    EXPECT_TRUE(FileExists(dir.file("a.csv")));
    for (const char* notAFile : {"", "config.ini", "missing.csv", "a.csv/below"})
        EXPECT_FALSE(FileExists(notAFile[0] ? dir.file(notAFile) : "")) << notAFile;
    EXPECT_THAT([&] { readWholeFile(dir.file("missing")); }, throwsVb(53));
    EXPECT_THAT([&] { readWholeFile(dir.file("no/such/f")); }, throwsVb(76));
    EXPECT_THAT([&] { readWholeFile(dir.str()); }, throwsVb(75));
    EXPECT_THAT([&] { writeFileAtomic(dir.file("gone/page.html"), "x"); }, throwsVb(76));
    EXPECT_THAT([&] { writeFileAtomic(dir.file("config.ini"), "x"); }, throwsVb(75));
    EXPECT_THAT([&] { appendToFile(dir.file("no/x.csv"), "l"); }, throwsVb(76));
    EXPECT_TRUE(fs::is_directory(dir.file("config.ini/inside")));
    writeFileAtomic(dir.file("a.csv"), "new");
    EXPECT_EQ(TempDir::read(dir / "a.csv"), "new");
    EXPECT_EQ(dir.entryCount(), 2u);
}

TEST(FileIo, AppendAddsWholeLinesOrNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX only: a file-size limit in a forked child";
#else
    TempDir dir;
    const std::string path = dir.file("2008_12_1.csv"), line = "12/1/2008 9:39:05 PM,3.2,-28.4\r\n";
    ::umask(022);
    appendToFile(path, "one\r\n");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0644));
    appendToFile(path, line);
    // A file-size limit that cuts the line: in a child, so the limit cannot reach other tests.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{50, 50};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        AppendStage stage{};  // reported as the write's failure, not the opening's
        try {
            appendToFile(path, line, stage);
        } catch (const VbError&) {
            ::_exit(stage == AppendStage::Write ? 0 : 2);
        }
        ::_exit(1);
    }
    EXPECT_EQ(exitCode(child), 0) << "a partial append was reported as done, or not as a write";
    EXPECT_EQ(TempDir::read(path), "one\r\n" + line);
    // A last line cut off by someone else keeps the new line whole on a line of its own.
    TempDir::write(path, "12/1/2008 9:30:05 PM,3.2");
    appendToFile(path, line);
    EXPECT_EQ(TempDir::read(path), "12/1/2008 9:30:05 PM,3.2\r\n" + line);
#endif
}

// A writer killed at any moment leaves the old content or the new one, never a mix, and at
// most the one temporary it was writing, which the next run clears away; those of live writers
// and of other files stay (init never goes away, and no process has a number that high). Each
// child is such a run: this process writes the file only at the end, so no child inherits its
// sweep. The file keeps its mode, and a page linked into a web server's tree stays a link.
TEST(FileIo, AtomicWriteKeepsModeAndLinksAndSurvivesBeingKilled) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX only: forked writers killed, permission bits, symbolic links";
#else
    TempDir dir;
    const std::string path = dir.file("CloudStatus.html"), link = dir.file("www/CloudStatus.html");
    const std::string a(300000, 'a'), b = std::string(200000, 'b') + "\r\n";
    const std::set<std::string> whole{a, b};
    for (const char* name :
         {".CloudStatus.html.1-0.tmp", ".year.bmp.999999999-0.tmp", ".CloudStatus.html.backup.tmp",
          ".CloudStatus.html.999999999-3.tmp", ".CloudStatus.html.999999999.tmp",
          ".CloudStatus.html.999999999-.tmp", ".CloudStatus.html.999999999--3.tmp"}) {
        TempDir::write(dir / name, "x");
    }
    TempDir::write(path, a);
    fs::permissions(path, fs::perms(0640));
    fs::create_directory(dir.file("www"));
    fs::create_symlink("../CloudStatus.html", link);
    std::mt19937 rng(7);
    for (int round = 0; round < 6; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(20);
            try {
                for (unsigned i = 0;; ++i) writeFileAtomic(link, i % 2 ? a : b);
            } catch (...) {
                ::_exit(3);
            }
        }
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(5 + rng() % 40);
        while (std::chrono::steady_clock::now() < until)
            ASSERT_TRUE(whole.count(readWholeFile(path)));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        ASSERT_EQ(exitCode(child), -SIGKILL) << "writer failed on its own";
        ASSERT_TRUE(whole.count(readWholeFile(path)));
        EXPECT_LE(dir.entryCount(), 9u);
    }
    // Asking whether a temporary file's writer still runs leaves it running.
    const pid_t sleeper = ::fork();
    if (sleeper == 0) ::pause(), ::_exit(0);
    EXPECT_TRUE(file_platform::processAlive(sleeper));
    ::kill(sleeper, SIGKILL);
    EXPECT_EQ(exitCode(sleeper), -SIGKILL);
    // Every descriptor a write opens is closed again: a night of writes must not use them up.
    const auto open = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    const auto before = open();
    writeFileAtomic(link, "done");
    EXPECT_EQ(open(), before);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(TempDir::read(path), "done");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    // Made private once, and told so; a file that is already private is left alone.
    EXPECT_TRUE(restrictToOwner(path));
    EXPECT_FALSE(restrictToOwner(path));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0600));
    EXPECT_FALSE(fs::exists(dir / ".CloudStatus.html.999999999-3.tmp"));
    EXPECT_EQ(dir.entryCount(), 8u);  // the page, www and the six others
#endif
}

}  // namespace
}  // namespace skarvel
