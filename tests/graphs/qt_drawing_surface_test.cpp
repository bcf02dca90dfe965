#include <QImage>
#include <QPixmap>

#include "graph_fixture.h"
#include "graphs/graph_window.h"
#include "graphs/qt_drawing_surface.h"

namespace skarvel::testing {
namespace {

using namespace palette;

QColor rgb(Color c) {
    return QtDrawingSurface::toQColor(c);
}

// The same program folder and clock as the logic tests, drawn on the real surface.
struct ImageFixture : GraphFixture {
    explicit ImageFixture(GraphKind kind) : GraphFixture(kind) {}
    QImage render() {
        QtDrawingSurface real(surface.width(), surface.height());
        GraphPlot(plot.kind(), real, settings, services).PlotGraph();
        EXPECT_THAT(services.messages, ::testing::IsEmpty());
        return QImage(QString::fromStdString(dir.file(plot.imageName())));
    }
};

TEST(GraphImage, HistoryBitmapShowsScalesCurveGridAndLegend) {
    ImageFixture f(GraphKind::History);
    f.addRecord(makeTime(2008, 12, 10, 10, 0), 20, -40);
    f.addRecord(makeTime(2008, 12, 10, 11, 0), 20, -40);
    const QImage img = f.render();
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.pixelColor(863, 350), rgb(kGreen));  // -30
    EXPECT_EQ(img.pixelColor(57, 250), rgb(kCyan));    // ambient 20
    // Ambient 20 from 10:00 (x 840) to 11:00 (x 850); difference clamped to the bottom edge.
    EXPECT_EQ(img.pixelColor(845, 250), rgb(kCyan));
    EXPECT_EQ(img.pixelColor(845, 450), rgb(kGreen));
    // A midnight grid line (anchor 12:45: midnight is 12 ticks left of the right edge).
    EXPECT_EQ(img.pixelColor(740, 100), rgb(kDarkGrey));

    // The legend's "Legend:" is drawn in white, inside its own box and without background.
    int white = 0;
    for (int y = 500; y < 516; ++y) {
        for (int x = 60; x < 115; ++x) white += img.pixelColor(x, y) == rgb(kWhite);
        EXPECT_EQ(img.pixelColor(59, y), rgb(kBlack));
    }
    EXPECT_GT(white, 20);
}

TEST(GraphImage, YearBarOfMeanDifferenceMinus20IsOrangeUpTo250) {
    ImageFixture f(GraphKind::Year);
    f.addRecord(makeTime(2008, 12, 8, 0, 5), 10, -10);
    f.addRecord(makeTime(2008, 12, 8, 12, 0), 10, -40);  // y 450
    f.addRecord(makeTime(2008, 12, 8, 18, 0), 10, 10);   // y 50
    f.addRecord(makeTime(2008, 12, 9, 0, 5), 10, -10);   // x 856.26
    const QImage img = f.render();
    for (int x : {856, 857, 858}) {
        EXPECT_EQ(img.pixelColor(x, 449), rgb(kOrange)) << x;
        EXPECT_EQ(img.pixelColor(x, 250), rgb(kOrange)) << x;
        EXPECT_EQ(img.pixelColor(x, 249), rgb(kBlack)) << x;
    }
    EXPECT_EQ(img.pixelColor(859, 400), rgb(kBlack));
}

TEST(QtDrawingSurface, RoundsToPixelsIncludesEndsAndPrintsDownwards) {
    QtDrawingSurface s(40, 40);
    s.setBackColor(kBlack);
    s.setForeColor(kOrange);
    EXPECT_EQ(rgb(kOrange), QColor(255, 128, 0));
    s.line(2.4f, 3.6f, 7.5f, 3.6f);
    s.line(20, 20, 20, 20);
    const QImage& img = s.image();
    EXPECT_EQ(img.pixelColor(1, 4), rgb(kBlack));
    EXPECT_EQ(img.pixelColor(2, 4), rgb(kOrange));
    EXPECT_EQ(img.pixelColor(8, 4), rgb(kOrange));
    EXPECT_EQ(img.pixelColor(9, 4), rgb(kBlack));
    EXPECT_EQ(img.pixelColor(5, 3), rgb(kBlack));
    EXPECT_EQ(img.pixelColor(20, 20), rgb(kOrange));
    s.line(5, 30, 5, -1e30f * 1e30f);  // an ambient of 1e30 from a corrupt log
    EXPECT_EQ(img.pixelColor(5, 0), rgb(kOrange));

    s.setBackColor(kBlack);
    s.setForeColor(kWhite);
    s.setCurrentX(10);
    s.setCurrentY(5);
    s.print("8");
    EXPECT_EQ(s.currentX(), 10);
    EXPECT_TRUE(s.currentY() > 14 && s.currentY() < 22) << s.currentY();
    int inside = 0, outside = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool lit = s.image().pixelColor(x, y) != rgb(kBlack);
            (x >= 10 && y >= 5 && y < s.currentY() ? inside : outside) += lit;
        }
    }
    EXPECT_GT(inside, 5);
    EXPECT_EQ(outside, 0);

    TempDir dir;
    EXPECT_THAT([&] { s.savePicture(dir.file("missing") + "/x.bmp"); },
                throwsVb(err::kPathNotFound));
}

TEST(GraphWindow, LoadsOnFirstUseDrawsOnceAndRedrawsWhileHidden) {
    GraphFixture f(GraphKind::Month);
    GraphWindow w(GraphKind::Month, f.settings, f.services);
    EXPECT_FALSE(w.isLoaded());
    EXPECT_EQ(w.windowTitle(), "30 Day History Graph");
    EXPECT_EQ(w.size(), QSize(1016, 549));
    const std::string image = f.dir.file("month.bmp");

    w.PlotGraph();  // hidden
    EXPECT_TRUE(w.isLoaded());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(QImage(QString::fromStdString(image)).size(), QSize(1001, 529));

    std::filesystem::remove(image);
    w.showWindow();  // already loaded: no redraw of its own
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(FileExists(image));
    const QImage shown = w.grab().toImage();
    EXPECT_EQ(shown.pixelColor(8 + 60, 8 + 105), rgb(kWhite));
    EXPECT_EQ(shown.pixelColor(8 + 100, 8 + 300), rgb(kOrange));

    w.close();
    EXPECT_FALSE(w.isLoaded());
    w.showWindow();  // loading again draws again
    EXPECT_TRUE(FileExists(image));
    w.unloadWindow();
    EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace skarvel::testing
