#include "store/config.h"

#include <stdexcept>

#include <gmock/gmock.h>

#include "fakes/fake_desktop_services.h"
#include "fakes/temp_dir.h"

namespace skarvel {
namespace {

using testing::FakeDesktopServices;
using testing::TempDir;
using testing::throwsVb;

class BrokenAppPath : public FakeDesktopServices {
  public:
    std::string appPath() const override { throw std::runtime_error("no module name"); }
};

TEST(Config, GetEXEPathEndsWithOneSeparator) {
#ifdef _WIN32
    FakeDesktopServices services("C:\\Sky");
    EXPECT_EQ(GetEXEPath(services), "C:\\Sky\\");
    services.setAppPath("C:\\");  // a drive root
    EXPECT_EQ(GetEXEPath(services), "C:\\");
#else
    FakeDesktopServices services("/opt/sky");
    EXPECT_EQ(GetEXEPath(services), "/opt/sky/");
    services.setAppPath("/");
    EXPECT_EQ(GetEXEPath(services), "/");
#endif

    BrokenAppPath broken;
    EXPECT_EQ(GetEXEPath(broken), "");
    EXPECT_THAT(broken.messages, ::testing::ElementsAre("Error 51 (Internal error: no module "
                                                        "name) at line 10 in procedure "
                                                        "GetEXEPath of Form frmMain"));
}

// Four fixed lines; read back by position, whatever the keys say.
TEST(Config, SavedFileHasFourFixedLinesAndIsReadBackByPosition) {
    TempDir dir;
    Settings s;
    s.webPath = dir.folder();
    LoadConfig(s, dir.folder());  // first start: no file, nothing changes
    SaveConfig(s, dir.folder());
    EXPECT_EQ(TempDir::read(dir / "config.ini"),
              "webPath," + dir.folder() +
                  "\r\ncommportid,1\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n");
    SaveConfig({"/var/www/sky/", 12, 3.5f, -20.0f}, dir.folder());
    LoadConfig(s, dir.folder());
    EXPECT_EQ(configText(s),
              "webPath,/var/www/sky/\r\ncommportid,12\r\ncloudyThreshold,3.5\r\n"
              "vCloudyThreshold,-20\r\n");
    TempDir::write(dir / "config.ini", "port,/srv/\nwebPath, 7\r\nvCloudyThreshold,  -12.5\rc,-30");
    LoadConfig(s, dir.folder());
    EXPECT_EQ(configText(s),
              "webPath,/srv/\r\ncommportid,7\r\ncloudyThreshold,-12.5\r\n"
              "vCloudyThreshold,-30\r\n");
}

TEST(Config, FailedLoadKeepsWhatWasRead) {
    TempDir dir;
    Settings s;
    const auto loading = [&](const std::string& text) {
        TempDir::write(dir / "config.ini", text);
        return [&] { LoadConfig(s, dir.folder()); };
    };
    EXPECT_THAT(loading("webPath,/x/\r\ncommportid,4\r\ncloudyThreshold,-30\r\n"),
                throwsVb(err::kInputPastEnd));
    EXPECT_EQ(configText(s),
              "webPath,/x/\r\ncommportid,4\r\ncloudyThreshold,-30\r\nvCloudyThreshold,-15\r\n");
    EXPECT_THAT(loading("webPath,/y/\r\ncommportid,COM2\r\n"), throwsVb(err::kTypeMismatch));
    EXPECT_EQ(s.webPath, "/y/");
    EXPECT_EQ(s.commportid, 4);
    EXPECT_THAT(loading("webPath,/y/\r\ncommportid,40000\r\n"), throwsVb(err::kOverflow));
}

}  // namespace
}  // namespace skarvel
