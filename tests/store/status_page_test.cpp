#include "store/status_page.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/fake_controls.h"
#include "fakes/fake_desktop_services.h"
#include "store/temp_dir.h"

namespace skarvel {
namespace {

using testing::FakeDesktopServices;
using testing::TempDir;
namespace fs = std::filesystem;

TEST(StatusPage, PageForEachState) {
    const std::string head =
        "<html>\r\n"
        "<head>\r\n"
        "<meta http-equiv=\"refresh\" content=\"60\">\r\n"
        "<title>Skarvel Status</title>\r\n"
        "</head>\r\n"
        "<body Style = \"color: white; background-color: black;\">\r\n"
        "<big><big>Skarvel Status<br></big></big><br>Current status = \r\n";
    const std::string rest =
        "<br>Ambient temp = 3.2C\r\n<br>Sky temp = -18.5C\r\n<br>Delta temp = -21.7C\r\n"
        "<br><br>3 Day History Plot:<br><img alt=\"3 Day History graph\" src=\"history.bmp\">\r\n"
        "<br><br>30 Day History Plot:<br><img alt=\"30 Day History graph\" src=\"month.bmp\">\r\n"
        "<br><br>Year History Plot:<br><img alt=\"Year History graph\" src=\"year.bmp\">\r\n"
        "</body>\r\n"
        "</html>\r\n";
    const std::pair<const char*, std::string> states[] = {
        {"CLOUDY",
         "<big style=\"color: rgb(255, 128, 0);\"><big><big>CLOUDY</big></big></big><br>\r\n"},
        {"V.CLOUDY", "<big style=\"color: red;\"><big><big>V.CLOUDY</big></big></big><br>\r\n"},
        {"CLEAR", "<big style=\"color: green;\"><big><big>CLEAR</big></big></big><br>\r\n"},
        {"Clear", ""},  // any other caption (case counts) has no state line
    };
    for (const auto& [caption, stateLine] : states) {
        EXPECT_EQ(webPageText(caption, "3.2", "-18.5", "-21.7"), head + stateLine + rest);
    }
}

TEST(StatusPage, CreateWebPageWritesIntoTheWebFolder) {
    TempDir web;
    FakeDesktopServices services;
    testing::FakeControls controls;
    controls.caption = "V.CLOUDY";
    controls.ambient = "-4";
    controls.sky = "-6.5";
    controls.diff = "-2.5";
    Settings settings;
    settings.webPath = web.folder();
    TempDir::write(web.file("CloudStatus.html"), "old page that is longer than the new one..");
    CreateWebPage(settings, controls, services);
    EXPECT_EQ(TempDir::read(web.file("CloudStatus.html")),
              webPageText("V.CLOUDY", "-4", "-6.5", "-2.5"));

    // Without a final separator the name runs on from the folder name, beside it.
    fs::create_directory(web.file("site"));
    settings.webPath = web.file("site");
    CreateWebPage(settings, controls, services);
    EXPECT_TRUE(fs::exists(web.file("siteCloudStatus.html")));
    EXPECT_TRUE(services.messages.empty());
}

TEST(StatusPage, SaveStatusLineAndSilentFailure) {
    TempDir program;
    FakeDesktopServices services(program.str(), makeTime(2008, 12, 1, 21, 39, 5));
    SaveStatus("CLOUDY", services);
    EXPECT_EQ(TempDir::read(program.file("status.txt")), "12/1/2008 9:39:05 PM,CLOUDY\r\n");
    services.setNow(makeTime(2008, 12, 2));
    SaveStatus("CLEAR", services);
    EXPECT_EQ(TempDir::read(program.file("status.txt")), "12/2/2008,CLEAR\r\n");

    // status.txt that cannot be replaced: no message, nothing else disturbed.
    TempDir other;
    services.setAppPath(other.str());
    fs::create_directory(other.file("status.txt"));
    SaveStatus("V.CLOUDY", services);
    EXPECT_TRUE(services.messages.empty());
    EXPECT_TRUE(fs::is_directory(other.file("status.txt")));
    EXPECT_EQ(other.entryCount(), 1u);
}

}  // namespace
}  // namespace skarvel
