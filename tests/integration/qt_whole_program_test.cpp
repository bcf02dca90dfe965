// The real monitor and the real simulator on a pseudo-terminal, on a fast fake clock, checked
// through the files they leave behind.
#include <gtest/gtest.h>
#include <QImage>
#include <QStandardPaths>

#include "integration/whole_program.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using testing::Child;
using testing::fileBytes;
using testing::splitFields;
using testing::TempFolder;
using testing::WholeProgram;
namespace fs = std::filesystem;

std::string defaultConfig(const std::string& webFolder) {
    return "webPath," + webFolder +
           "/\r\ncommportid,1\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n";
}

std::string expectedPage(const std::string& state, const std::string& ambient,
                         const std::string& sky, const std::string& delta) {
    const std::map<std::string, std::string> style = {
        {"CLEAR", "green"}, {"CLOUDY", "rgb(255, 128, 0)"}, {"V.CLOUDY", "red"}};
    const std::vector<std::string> lines = {
        "<html>",
        "<head>",
        "<meta http-equiv=\"refresh\" content=\"60\">",
        "<title>Skarvel Status</title>",
        "</head>",
        "<body Style = \"color: white; background-color: black;\">",
        "<big><big>Skarvel Status<br></big></big><br>Current status = ",
        "<big style=\"color: " + style.at(state) + ";\"><big><big>" + state +
            "</big></big></big><br>",
        "<br>Ambient temp = " + ambient + "C",
        "<br>Sky temp = " + sky + "C",
        "<br>Delta temp = " + delta + "C",
        "<br><br>3 Day History Plot:<br><img alt=\"3 Day History graph\" src=\"history.bmp\">",
        "<br><br>30 Day History Plot:<br><img alt=\"30 Day History graph\" src=\"month.bmp\">",
        "<br><br>Year History Plot:<br><img alt=\"Year History graph\" src=\"year.bmp\">",
        "</body>",
        "</html>"};
    std::string page;
    for (const auto& line : lines) page += line + "\r\n";
    return page;
}

/// A time in the program's fixed text form, read back; the text must be exactly that form.
LocalTime stampOf(const std::string& text) {
    const LocalTime t = parseDateTime(text);
    EXPECT_EQ(dateTimeText(t), text);
    return t;
}

/// The three graphs in their own sizes, 24-bit, saved alike in both folders.
void expectImages(const fs::path& folder, const fs::path& web) {
    struct Case {
        const char* name;
        int width, height;
    };
    for (const Case& c : {Case{"history.bmp", 1000, 534}, Case{"month.bmp", 1001, 529},
                          Case{"year.bmp", 1001, 537}}) {
        SCOPED_TRACE(c.name);
        const std::string bytes = fileBytes(folder / c.name);
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        EXPECT_EQ(std::uint8_t(bytes[28]) | std::uint8_t(bytes[29]) << 8, 24) << "bits per pixel";
        QImage image;
        ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                       int(bytes.size()), "BMP"));
        EXPECT_EQ(image.width(), c.width);
        EXPECT_EQ(image.height(), c.height);
        EXPECT_EQ(image.pixel(60, 105), qRgb(255, 255, 255));  // the frame's left edge
        EXPECT_EQ(image.pixel(460, 300), qRgb(255, 128, 0));   // -25, the cloudy threshold
        EXPECT_EQ(image.pixel(460, 200), qRgb(255, 0, 0));     // -15, the very cloudy one
        EXPECT_EQ(image.pixel(460, 400), qRgb(0, 0, 0));
        EXPECT_TRUE(fileBytes(web / c.name) == bytes) << "the web copy differs";
    }
}

TEST(WholeProgram, FirstQuarterAfterStartLogsOneLinePublishesAndDraws) {
    struct Case {
        const char* start;
        const char* sky;
        const char* ambient;
        bool ownWebFolder;
        LocalTime quarter;
        const char* dayFile;
        const char* skyText;
        const char* ambientText;
        const char* delta;
        const char* state;
    };
    // Each start leaves the monitor 30 fake seconds (3 real ones) to come up before the quarter.
    const Case cases[] = {
        {"2026-12-07 10:14:30", "-8.46", "12.34", true, makeTime(2026, 12, 7, 10, 15),
         "2026_12_7.csv", "-8.5", "12.3", "-20.8", "CLOUDY"},
        // Past midnight the line goes into the new day's file; no config.ini to begin with.
        {"2026-12-07 23:59:30", "-10", "-4", false, makeTime(2026, 12, 8), "2026_12_8.csv", "-10",
         "-4", "-6", "V.CLOUDY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        TempFolder webFolder;
        WholeProgram run(c.start, c.sky, c.ambient,
                         c.ownWebFolder ? defaultConfig(webFolder.str()) : "");
        const std::string status = run.statusFrom(c.quarter);
        const fs::path folder = fs::canonical(run.folder.str());
        const fs::path web = c.ownWebFolder ? fs::path(webFolder.str()) : folder;

        EXPECT_EQ(fileBytes(folder / "config.ini"), defaultConfig(web.string()));

        int dayFiles = 0;
        for (const auto& e : fs::directory_iterator(folder))
            dayFiles += e.path().extension() == ".csv";
        EXPECT_EQ(dayFiles, 1);
        const std::string log = fileBytes(folder / c.dayFile);
        ASSERT_EQ(log.find("\r\n"), log.size() - 2) << "not one line: " << log;
        const auto fields = splitFields(log.substr(0, log.size() - 2));
        ASSERT_EQ(fields.size(), 3u) << log;
        // Written by the first cycle of the new quarter, and only then.
        const LocalTime stamp = stampOf(fields[0]);
        EXPECT_GE(stamp, c.quarter);
        EXPECT_LT(stamp, c.quarter + 30s) << log;
        EXPECT_EQ(fields[1], c.ambientText);
        EXPECT_EQ(fields[2], c.skyText);

        EXPECT_EQ(fileBytes(folder / "status.txt"), status + "\r\n");
        const auto statusFields = splitFields(status);
        ASSERT_EQ(statusFields.size(), 2u) << status;
        EXPECT_LT(stampOf(statusFields[0]), c.quarter + 40s) << status;
        EXPECT_EQ(statusFields[1], c.state);

        EXPECT_EQ(fileBytes(web / "CloudStatus.html"),
                  expectedPage(c.state, c.ambientText, c.skyText, c.delta));
        EXPECT_EQ(fs::exists(folder / "CloudStatus.html"), !c.ownWebFolder);
        expectImages(folder, web);
    }
}

struct Band {
    int top = 0, bottom = 0, pixels = 0;
};

/// Rows holding pixels near a colour, gathered into bands parted by more than `gap` rows.
std::vector<Band> colourBands(const QImage& image, QRgb colour, int gap) {
    auto near = [colour](QRgb p) {
        return std::abs(qRed(p) - qRed(colour)) < 24 && std::abs(qGreen(p) - qGreen(colour)) < 24 &&
               std::abs(qBlue(p) - qBlue(colour)) < 24;
    };
    std::vector<Band> bands;
    for (int y = 0; y < image.height(); ++y) {
        int count = 0;
        for (int x = 0; x < image.width(); ++x) count += near(image.pixel(x, y));
        if (count == 0) continue;
        if (bands.empty() || y - bands.back().bottom > gap) bands.push_back({y, y, 0});
        bands.back().bottom = y;
        bands.back().pixels += count;
    }
    return bands;
}

TEST(WholeProgram, BrowserShowsTheStateAndAllThreeGraphs) {
    const std::string chromium = QStandardPaths::findExecutable("chromium").toStdString();
    if (chromium.empty()) GTEST_SKIP() << "chromium is not installed";
    WholeProgram run("2026-12-07 10:14:30", "-18.5", "12");
    run.statusFrom(makeTime(2026, 12, 7, 10, 15));

    TempFolder profile;
    const fs::path shot = profile / "page.png";
    Child browser(
        {QString::fromStdString(chromium), "--headless", "--no-sandbox", "--disable-gpu",
         "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync",
         QString::fromStdString("--user-data-dir=" + (profile / "profile").string()),
         QString::fromStdString("--screenshot=" + shot.string()), "--window-size=1100,2000",
         QString::fromStdString("file://" + run.folder.str() + "/CloudStatus.html")},
        {}, profile / "chromium.out");
    ASSERT_EQ(browser.wait(15s), 0) << fileBytes(profile / "chromium.out");
    const QImage page(QString::fromStdString(shot.string()));
    ASSERT_FALSE(page.isNull());

    // Each graph has its cyan ambient scale; a broken image shows only an icon and its alt text.
    const auto graphs = colourBands(page, qRgb(0, 255, 255), 60);
    std::string rows;
    for (const Band& b : graphs)
        rows += " " + std::to_string(b.top) + "-" + std::to_string(b.bottom);
    ASSERT_EQ(graphs.size(), 3u) << "cyan rows" << rows;
    for (const Band& b : graphs) {
        EXPECT_GT(b.bottom - b.top, 400) << "cyan rows" << rows;
        EXPECT_GT(b.pixels, 300);
    }
    // "CLEAR" in CSS green above the first graph; the graphs' own green is brighter.
    const auto state = colourBands(page, qRgb(0, 128, 0), 60);
    ASSERT_FALSE(state.empty());
    EXPECT_LT(state.front().bottom, graphs.front().top);
    EXPECT_GT(state.front().pixels, 50);
}

}  // namespace
}  // namespace skarvel
