#include "store/config.h"

#include <filesystem>
#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

#include "fakes/fake_desktop_services.h"
#include "store/file_io.h"
#include "store/temp_dir.h"
#include "store/vb_error.h"

namespace skarvel {
namespace {

using testing::FakeDesktopServices;
using testing::TempDir;

int errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

class BrokenAppPath : public FakeDesktopServices {
  public:
    std::string appPath() const override { throw std::runtime_error("no module name"); }
};

TEST(Config, GetEXEPathEndsWithOneSeparator) {
    FakeDesktopServices services("/opt/sky");
    EXPECT_EQ(GetEXEPath(services), "/opt/sky/");
    services.setAppPath("/opt/sky/");
    EXPECT_EQ(GetEXEPath(services), "/opt/sky/");
    services.setAppPath("/");
    EXPECT_EQ(GetEXEPath(services), "/");
    EXPECT_TRUE(services.messages.empty());

    BrokenAppPath broken;
    EXPECT_EQ(GetEXEPath(broken), "");
    ASSERT_EQ(broken.messages.size(), 1u);
    EXPECT_EQ(broken.messages[0],
              "Error 51 (Internal error: no module name) at line 10 in procedure GetEXEPath of "
              "Form frmMain");
}

TEST(Config, DefaultsOnFirstStart) {
    TempDir dir;
    Settings settings;
    settings.webPath = dir.folder();
    LoadConfig(settings, dir.folder());
    SaveConfig(settings, dir.folder());
    EXPECT_EQ(TempDir::read(dir.file("config.ini")),
              "webPath," + dir.folder() +
                  "\r\ncommportid,1\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n");

    Settings fixed;
    fixed.webPath = "/opt/sky/";
    EXPECT_EQ(
        configText(fixed),
        "webPath,/opt/sky/\r\ncommportid,1\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n");
}

TEST(Config, SaveAndLoadGiveBackEverySetting) {
    TempDir dir;
    Settings saved;
    saved.webPath = "/var/www/sky/";
    saved.commportid = 12;
    saved.cloudyThreshold = 3.5f;
    saved.vCloudyThreshold = -20.0f;
    SaveConfig(saved, dir.folder());
    EXPECT_EQ(TempDir::read(dir.file("config.ini")),
              "webPath,/var/www/sky/\r\ncommportid,12\r\ncloudyThreshold,3.5\r\n"
              "vCloudyThreshold,-20\r\n");
    Settings loaded;
    LoadConfig(loaded, dir.folder());
    EXPECT_EQ(loaded.webPath, saved.webPath);
    EXPECT_EQ(loaded.commportid, saved.commportid);
    EXPECT_EQ(loaded.cloudyThreshold, saved.cloudyThreshold);
    EXPECT_EQ(loaded.vCloudyThreshold, saved.vCloudyThreshold);
}

TEST(Config, LoadTakesValuesByPosition) {
    TempDir dir;
    TempDir::write(dir.file("config.ini"),
                   "port,/srv/\nwebPath, 7\r\nvCloudyThreshold,  -12.5\rcloudy,-30");
    Settings s;
    LoadConfig(s, dir.folder());
    EXPECT_EQ(s.webPath, "/srv/");
    EXPECT_EQ(s.commportid, 7);
    EXPECT_EQ(s.cloudyThreshold, -12.5f);
    EXPECT_EQ(s.vCloudyThreshold, -30.0f);
}

TEST(Config, FailedLoadKeepsWhatWasRead) {
    TempDir dir;
    TempDir::write(dir.file("config.ini"),
                   "webPath,/x/\r\ncommportid,4\r\ncloudyThreshold,-30\r\n");
    Settings s;
    EXPECT_EQ(errorNumber([&] { LoadConfig(s, dir.folder()); }), err::kInputPastEnd);
    EXPECT_EQ(s.webPath, "/x/");
    EXPECT_EQ(s.commportid, 4);
    EXPECT_EQ(s.cloudyThreshold, -30.0f);
    EXPECT_EQ(s.vCloudyThreshold, -15.0f);

    TempDir::write(dir.file("config.ini"), "webPath,/y/\r\ncommportid,COM2\r\n");
    EXPECT_EQ(errorNumber([&] { LoadConfig(s, dir.folder()); }), err::kTypeMismatch);
    EXPECT_EQ(s.webPath, "/y/");
    EXPECT_EQ(s.commportid, 4);

    TempDir::write(dir.file("config.ini"), "webPath,/y/\r\ncommportid,40000\r\n");
    EXPECT_EQ(errorNumber([&] { LoadConfig(s, dir.folder()); }), err::kOverflow);
}

TEST(Config, ConfigFileThatIsAFolder) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("config.ini"));
    Settings s;
    s.webPath = "/keep/";
    LoadConfig(s, dir.folder());
    EXPECT_EQ(s.webPath, "/keep/");
    EXPECT_EQ(errorNumber([&] { SaveConfig(s, dir.folder()); }), err::kPathFileAccess);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("config.ini")));
    EXPECT_EQ(dir.entryCount(), 1u);

    // A missing file changes nothing and is no error.
    Settings untouched;
    LoadConfig(untouched, dir.folder() + "elsewhere/");
    EXPECT_EQ(untouched.commportid, 1);
}

}  // namespace
}  // namespace skarvel
