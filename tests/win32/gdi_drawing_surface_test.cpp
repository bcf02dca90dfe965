#include "win32/gdi_drawing_surface.h"

#include <algorithm>
#include <set>
#include <utility>

#include <gmock/gmock.h>

#include "fakes/temp_dir.h"

namespace skarvel::testing {
namespace {

using Pixels = std::set<std::pair<int, int>>;

std::uint32_t le(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | std::uint8_t(b[at + std::size_t(i)]);
    return v;
}

// A pixel read back from the BMP bytes, as 0x00BBGGRR.
Color pixelAt(const std::string& bmp, int x, int y) {
    const int w = int(le(bmp, 18, 4)), h = int(le(bmp, 22, 4));
    const std::size_t at = 54 + std::size_t((h - 1 - y) * ((3 * w + 3) & ~3) + 3 * x);
    const std::uint32_t bgr = le(bmp, at, 3);  // stored blue, green, red
    return (bgr >> 16) | (bgr & 0xFF00) | ((bgr & 0xFF) << 16);
}

Pixels lit(GdiDrawingSurface& s, Color c) {
    const std::string bmp = s.bmpBytes();
    Pixels out;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if (pixelAt(bmp, x, y) == c) out.insert({x, y});
    return out;
}

Pixels run(int x1, int x2, int y) {
    Pixels p;
    for (int x = x1; x <= x2; ++x) p.insert({x, y});
    return p;
}

TEST(GdiDrawingSurface, LinesLandOnTheQtSurfacesPixels) {
    const float inf = 1e30f * 1e30f;  // an ambient of 1e30 from a corrupt log
    Pixels column;
    for (int y = 0; y <= 30; ++y) column.insert({5, y});
    struct Row {
        float x1, y1, x2, y2;
        Pixels expected;
    } rows[] = {
        {2.4f, 3.6f, 7.5f, 3.6f, run(2, 8, 4)},
        {0.5f, 10.5f, 3.49f, 10.5f, run(1, 3, 11)},
        {20, 20, 20, 20, {{20, 20}}},
        {5, 30, 5, -inf, column},
        {-5, 39, 45, 39, run(0, 39, 39)},
        // Diagonals, ties included: the rising ones round down, whichever end comes first.
        {0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
        {4, 2, 0, 0, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
        {28, 19, 33, 17, {{28, 19}, {29, 18}, {30, 18}, {31, 17}, {32, 17}, {33, 17}}},
        {9, 6, 10, 9, {{9, 6}, {9, 7}, {9, 8}, {10, 9}}},
        {13, 20, 10, 24, {{13, 20}, {12, 21}, {11, 22}, {10, 23}, {10, 24}}},
        {30, 36, 33, 33, {{33, 33}, {32, 34}, {31, 35}, {30, 36}}},
        {26, 8, 20, 5, {{20, 5}, {21, 5}, {22, 6}, {23, 6}, {24, 7}, {25, 7}, {26, 8}}},
    };
    GdiDrawingSurface s(40, 40);
    s.setForeColor(0x0080FF);  // 0x00BBGGRR
    for (const Row& r : rows) {
        s.setBackColor(0);
        s.line(r.x1, r.y1, r.x2, r.y2);
        EXPECT_EQ(lit(s, 0x0080FF), r.expected)
            << r.x1 << "," << r.y1 << " " << r.x2 << "," << r.y2;
    }
}

TEST(GdiDrawingSurface, SavesTheQtSurfacesBmpAtomically) {
    GdiDrawingSurface s(5, 3);
    s.setBackColor(0x123456);
    s.setForeColor(0xA0B0C0);
    s.line(0, 0, 0, 0);
    const std::string bmp = s.bmpBytes();
    // 24-bit, bottom-up, rows padded to four bytes, 96 dpi: the header Qt writes.
    ASSERT_EQ(bmp.size(), 54u + 3 * 16);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    const std::pair<std::size_t, std::uint32_t> fields[] = {
        {2, 102}, {10, 54}, {14, 40},   {18, 5},    {22, 3}, {26, 1 | 24 << 16},
        {30, 0},  {34, 48}, {38, 3780}, {42, 3780}, {46, 0}};
    for (auto [at, value] : fields) EXPECT_EQ(le(bmp, at, 4), value) << "offset " << at;
    EXPECT_EQ(le(bmp, 54 + 2 * 16, 3), 0xC0B0A0u);  // top-left, in the last row stored
    EXPECT_EQ(pixelAt(bmp, 4, 2), 0x123456u);
    EXPECT_EQ(bmp.substr(54 + 15, 1), std::string(1, '\0'));

    TempDir dir;
    TempDir::write(dir / "g.bmp", "old");
    s.savePicture(dir.file("g.bmp"));
    EXPECT_EQ(TempDir::read(dir / "g.bmp"), bmp);
    EXPECT_EQ(dir.entryCount(), 1u);
    EXPECT_THAT([&] { s.savePicture(dir.file("missing\\g.bmp")); }, throwsVb(76));
    std::filesystem::create_directory(dir / "folder.bmp");
    EXPECT_THAT([&] { s.savePicture(dir.file("folder.bmp")); }, throwsVb(75));
    EXPECT_EQ(dir.entryCount(), 2u);
}

TEST(GdiDrawingSurface, PrintsInTheForeColourWithoutBackgroundAndMovesDown) {
    GdiDrawingSurface s(60, 40);
    s.setBackColor(0x000000);
    s.setForeColor(0x00FF00);
    s.line(0, 20, 59, 20);
    s.setForeColor(0xFFFFFF);
    s.setCurrentX(2);
    s.setCurrentY(14.6f);
    s.print("-35 ");
    const Pixels text = lit(s, 0xFFFFFF);
    ASSERT_FALSE(text.empty());
    EXPECT_GE(text.begin()->first, 2);
    int top = 40;
    for (auto [x, y] : text) top = std::min(top, y);
    EXPECT_TRUE(top >= 15 && top < 20) << top;  // top-left at the rounded text position
    // Unsmoothed and without a background: every pixel is black, green or white, and the line
    // is still there wherever the text does not cover it.
    const Pixels green = lit(s, 0x00FF00);
    EXPECT_EQ(text.size() + green.size() + lit(s, 0).size(), 60u * 40);
    for (int x = 0; x < 60; ++x) EXPECT_TRUE(green.count({x, 20}) || text.count({x, 20})) << x;
    EXPECT_LT(text.size(), 60u * 40 / 4);
    EXPECT_EQ(s.currentX(), 2);
    EXPECT_TRUE(s.currentY() > 14.6f + 9 && s.currentY() < 14.6f + 17) << s.currentY();
}

}  // namespace
}  // namespace skarvel::testing
