#include <QColor>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <filesystem>

#include <gmock/gmock.h>

#include "fakes/fake_desktop_services.h"
#include "graphs/graph_window.h"
#include "graphs/palette.h"
#include "graphs/qt_drawing_surface.h"
#include "store/file_io.h"
#include "store/readings_log.h"
#include "store/temp_dir.h"
#include "store/vb_error.h"

namespace skarvel::testing {
namespace {

const LocalTime kNow = makeTime(2008, 12, 10, 12, 0);

QColor rgb(Color c) {
    return QtDrawingSurface::toQColor(c);
}

struct ImageFixture {
    ImageFixture() : services(dir.str(), kNow) {
        std::filesystem::create_directory(dir.file("web"));
        settings.webPath = dir.file("web") + "/";
    }
    void addRecord(LocalTime t, float ambient, float sky) const {
        const std::string path = dir.file(dayFileName(t));
        TempDir::write(path, TempDir::read(path) + logLine(t, ambient, sky));
    }
    /// Redraws a kind and reads its program-folder image back.
    QImage render(GraphKind kind) {
        QtDrawingSurface surface(GraphPlot::surfaceWidth(kind), GraphPlot::surfaceHeight(kind));
        GraphPlot plot(kind, surface, settings, services);
        plot.PlotGraph();
        EXPECT_THAT(services.messages, ::testing::IsEmpty());
        image = dir.file(plot.imageName());
        return QImage(QString::fromStdString(image));
    }
    int bitsPerPixel() const { return TempDir::read(image).at(28); }

    TempDir dir;
    Settings settings;
    FakeDesktopServices services;
    std::string image;
};

TEST(GraphImage, HistoryBitmapShowsFrameThresholdsScalesAndCurve) {
    ImageFixture f;
    f.addRecord(makeTime(2008, 12, 10, 10, 0), 20, -40);
    f.addRecord(makeTime(2008, 12, 10, 11, 0), 20, -40);
    const QImage img = f.render(GraphKind::History);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(1000, 534));
    EXPECT_EQ(f.bitsPerPixel(), 24);
    EXPECT_EQ(TempDir::read(f.image), TempDir::read(f.settings.webPath + "history.bmp"));

    EXPECT_EQ(img.pixelColor(60, 105), rgb(palette::kWhite));
    EXPECT_EQ(img.pixelColor(860, 105), rgb(palette::kWhite));
    EXPECT_EQ(img.pixelColor(400, 450), rgb(palette::kWhite));
    EXPECT_EQ(img.pixelColor(400, 449), rgb(palette::kBlack));
    EXPECT_EQ(img.pixelColor(100, 300), rgb(palette::kOrange));
    EXPECT_EQ(img.pixelColor(100, 200), rgb(palette::kRed));
    EXPECT_EQ(img.pixelColor(100, 250), rgb(palette::kBlack));
    EXPECT_EQ(img.pixelColor(863, 350), rgb(palette::kGreen));   // -30
    EXPECT_EQ(img.pixelColor(863, 300), rgb(palette::kOrange));  // -25
    EXPECT_EQ(img.pixelColor(863, 200), rgb(palette::kRed));     // -15
    EXPECT_EQ(img.pixelColor(57, 250), rgb(palette::kCyan));     // ambient 20
    // Ambient 20 from 10:00 (x 840) to 11:00 (x 850); difference clamped to the bottom edge.
    EXPECT_EQ(img.pixelColor(845, 250), rgb(palette::kCyan));
    EXPECT_EQ(img.pixelColor(845, 251), rgb(palette::kBlack));
    EXPECT_EQ(img.pixelColor(845, 450), rgb(palette::kGreen));
    // A midnight grid line (anchor 12:45: midnight is 12 ticks left of the right edge).
    EXPECT_EQ(img.pixelColor(740, 100), rgb(palette::kDarkGrey));

    // The legend's "Legend:" is drawn in white, inside its own box and without background.
    int white = 0;
    for (int y = 500; y < 516; ++y) {
        for (int x = 60; x < 115; ++x) white += img.pixelColor(x, y) == rgb(palette::kWhite);
        EXPECT_EQ(img.pixelColor(59, y), rgb(palette::kBlack));
    }
    EXPECT_GT(white, 20);
}

TEST(GraphImage, YearBarOfMeanDifferenceMinus20IsOrangeUpTo250) {
    ImageFixture f;
    f.addRecord(makeTime(2008, 12, 8, 0, 5), 10, -10);
    f.addRecord(makeTime(2008, 12, 8, 12, 0), 10, -40);  // y 450
    f.addRecord(makeTime(2008, 12, 8, 18, 0), 10, 10);   // y 50
    f.addRecord(makeTime(2008, 12, 9, 0, 5), 10, -10);   // x 856.26
    const QImage img = f.render(GraphKind::Year);
    EXPECT_EQ(img.size(), QSize(1001, 537));
    EXPECT_EQ(f.bitsPerPixel(), 24);
    for (int x : {856, 857, 858}) {
        EXPECT_EQ(img.pixelColor(x, 449), rgb(palette::kOrange)) << x;
        EXPECT_EQ(img.pixelColor(x, 250), rgb(palette::kOrange)) << x;
        EXPECT_EQ(img.pixelColor(x, 249), rgb(palette::kBlack)) << x;
    }
    EXPECT_EQ(img.pixelColor(855, 400), rgb(palette::kBlack));
    EXPECT_EQ(img.pixelColor(859, 400), rgb(palette::kBlack));
    EXPECT_EQ(img.pixelColor(855, 350), rgb(palette::kCyan));  // the ambient curve
    EXPECT_EQ(f.render(GraphKind::Month).size(), QSize(1001, 529));
}

TEST(QtDrawingSurface, RoundsToPixelsIncludesEndsAndPrintsDownwards) {
    QtDrawingSurface s(40, 40);
    s.setBackColor(palette::kBlack);
    s.setForeColor(palette::kOrange);
    EXPECT_EQ(rgb(palette::kOrange), QColor(255, 128, 0));
    s.line(2.4f, 3.6f, 7.5f, 3.6f);
    s.line(20, 20, 20, 20);
    const QImage& img = s.image();
    EXPECT_EQ(img.pixelColor(1, 4), rgb(palette::kBlack));
    EXPECT_EQ(img.pixelColor(2, 4), rgb(palette::kOrange));
    EXPECT_EQ(img.pixelColor(8, 4), rgb(palette::kOrange));
    EXPECT_EQ(img.pixelColor(9, 4), rgb(palette::kBlack));
    EXPECT_EQ(img.pixelColor(5, 3), rgb(palette::kBlack));
    EXPECT_EQ(img.pixelColor(20, 20), rgb(palette::kOrange));

    s.setBackColor(palette::kBlack);
    s.setForeColor(palette::kWhite);
    s.setCurrentX(10);
    s.setCurrentY(5);
    s.print("8");
    EXPECT_EQ(s.currentX(), 10);
    EXPECT_GT(s.currentY(), 14);
    EXPECT_LT(s.currentY(), 22);
    const QImage& text = s.image();
    int inside = 0, outside = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool lit = text.pixelColor(x, y) != rgb(palette::kBlack);
            (x >= 10 && y >= 5 && y < s.currentY() ? inside : outside) += lit;
        }
    }
    EXPECT_GT(inside, 5);
    EXPECT_EQ(outside, 0);

    TempDir dir;
    try {
        s.savePicture(dir.file("missing") + "/x.bmp");
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), err::kPathNotFound);
    }
}

TEST(GraphWindow, LoadsOnFirstUseDrawsOnceAndRedrawsWhileHidden) {
    ImageFixture f;
    GraphWindow w(GraphKind::Month, f.settings, f.services);
    EXPECT_FALSE(w.isLoaded());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), "30 Day History Graph");
    EXPECT_EQ(w.size(), QSize(1016, 549));
    const std::string image = f.dir.file("month.bmp");
    EXPECT_FALSE(FileExists(image));

    w.PlotGraph();  // hidden
    EXPECT_TRUE(w.isLoaded());
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(FileExists(image));

    std::filesystem::remove(image);
    w.showWindow();  // already loaded: no redraw of its own
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(FileExists(image));
    const QImage shown = w.grab().toImage();
    EXPECT_EQ(shown.pixelColor(8 + 60, 8 + 105), rgb(palette::kWhite));
    EXPECT_EQ(shown.pixelColor(8 + 100, 8 + 300), rgb(palette::kOrange));

    w.close();
    EXPECT_FALSE(w.isLoaded());
    w.showWindow();  // loading again draws again
    EXPECT_TRUE(FileExists(image));
    w.unloadWindow();
    EXPECT_FALSE(w.isVisible());
    EXPECT_THAT(f.services.messages, ::testing::IsEmpty());
}

}  // namespace
}  // namespace skarvel::testing
