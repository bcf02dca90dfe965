#include <QImage>

#include <gmock/gmock.h>

#include "qt/qt_drawing_surface.h"

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
    s.setForeColor(0x0080FF);  // 0x00BBGGRR
    s.line(2.4f, 3.6f, 7.5f, 3.6f);
    s.line(20, 20, 20, 20);
    s.line(5, 30, 5, -1e30f * 1e30f);  // an ambient of 1e30 from a corrupt log
    const auto orange = [&] {
        return lit(s.image(), {{1, 4}, {2, 4}, {8, 4}, {9, 4}, {3, 3}, {20, 20}, {5, 0}},
                   QColor(255, 128, 0));
    };
    EXPECT_EQ(orange(), ".##..##");

    s.setForeColor(0xFFFFFF);
    s.setCurrentX(0);
    s.setCurrentY(0);
    s.print("    ");  // over the lines, which stay: labels have no background
    EXPECT_EQ(orange(), ".##..##");
    EXPECT_EQ(s.currentX(), 0);
    EXPECT_TRUE(s.currentY() > 9 && s.currentY() < 17) << s.currentY();
}

}  // namespace
}  // namespace skarvel::testing
