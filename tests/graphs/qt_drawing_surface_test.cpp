#include <QImage>

#include "graph_fixture.h"
#include "graphs/qt_drawing_surface.h"

namespace skarvel::testing {
namespace {

// Which of the pixels (x, y) are in the colour, as '#' and '.'.
std::string lit(const QImage& img, std::initializer_list<std::pair<int, int>> pixels, QColor c) {
    std::string out;
    for (auto [x, y] : pixels) out += img.pixelColor(x, y) == c ? '#' : '.';
    return out;
}

TEST(QtDrawingSurface, RoundsToPixelsIncludesEndsAndPrintsDownwards) {
    QtDrawingSurface s(40, 40);
    s.setBackColor(0);
    s.setForeColor(kOrange);
    s.line(2.4f, 3.6f, 7.5f, 3.6f);
    s.line(20, 20, 20, 20);
    s.line(5, 30, 5, -1e30f * 1e30f);  // an ambient of 1e30 from a corrupt log
    const QColor orange(255, 128, 0);
    EXPECT_EQ(lit(s.image(), {{1, 4}, {2, 4}, {8, 4}, {9, 4}, {3, 3}, {20, 20}, {5, 0}}, orange),
              ".##..##");

    s.setBackColor(0);
    s.setForeColor(kWhite);
    s.setCurrentX(10);
    s.setCurrentY(5);
    s.print("8");
    EXPECT_EQ(s.currentX(), 10);
    EXPECT_TRUE(s.currentY() > 14 && s.currentY() < 22) << s.currentY();
    int inside = 0, outside = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool on = s.image().pixelColor(x, y) != Qt::black;
            (x >= 10 && y >= 5 && y < s.currentY() ? inside : outside) += on;
        }
    }
    EXPECT_GT(inside, 5);
    EXPECT_EQ(outside, 0) << "text is drawn without a background";
    EXPECT_THAT([&] { s.savePicture("/nonexistent/x.bmp"); }, throwsVb(76));
}

}  // namespace
}  // namespace skarvel::testing
