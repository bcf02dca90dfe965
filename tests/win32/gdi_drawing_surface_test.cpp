#include "win32/gdi_drawing_surface.h"

#include <set>
#include <utility>

#include <gmock/gmock.h>

namespace skarvel::testing {
namespace {

using Pixels = std::set<std::pair<int, int>>;

std::uint32_t le(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | std::uint8_t(b[at + std::size_t(i)]);
    return v;
}

// The pixels in colour `c` (0x00BBGGRR), read back from the BMP bytes.
Pixels lit(const GdiDrawingSurface& s, Color c) {
    const std::string bmp = s.bmpBytes();
    const int w = int(le(bmp, 18, 4)), h = int(le(bmp, 22, 4));
    Pixels out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t bgr =
                le(bmp, 54 + std::size_t((h - 1 - y) * ((3 * w + 3) & ~3) + 3 * x), 3);
            if (((bgr >> 16) | (bgr & 0xFF00) | ((bgr & 0xFF) << 16)) == c) out.insert({x, y});
        }
    return out;
}

Pixels box(int x1, int y1, int x2, int y2) {
    Pixels p;
    for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x) p.insert({x, y});
    return p;
}

TEST(GdiDrawingSurface, LinesLandOnTheQtSurfacesPixels) {
    const struct {
        float x1, y1, x2, y2;
        Pixels expected;
    } rows[] = {
        {2.4f, 3.6f, 7.5f, 3.6f, box(2, 4, 8, 4)},
        {0.5f, 10.5f, 3.49f, 10.5f, box(1, 11, 3, 11)},
        {20, 20, 20, 20, {{20, 20}}},
        {5, 30, 5, -1e30f * 1e30f, box(5, 0, 5, 30)},  // an ambient of 1e30 from a corrupt log
        {-5, 39, 45, 39, box(0, 39, 40, 39)},
        // Diagonals, ties included (5,9 and not 5,10), whichever end comes first.
        {0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
        {8, 11, 3, 9, {{3, 9}, {4, 9}, {5, 9}, {6, 10}, {7, 10}, {8, 11}}},
        {28, 19, 33, 17, {{28, 19}, {29, 18}, {30, 18}, {31, 17}, {32, 17}, {33, 17}}},
        {9, 6, 10, 9, {{9, 6}, {9, 7}, {9, 8}, {10, 9}}},
        {13, 20, 10, 24, {{13, 20}, {12, 21}, {11, 22}, {10, 23}, {10, 24}}},
        {30, 36, 33, 33, {{33, 33}, {32, 34}, {31, 35}, {30, 36}}},
    };
    GdiDrawingSurface s(41, 40);  // rows of 123 bytes, padded to 124
    s.setForeColor(0x0080FF);
    for (const auto& r : rows) {
        s.setBackColor(0);
        s.line(r.x1, r.y1, r.x2, r.y2);
        EXPECT_EQ(lit(s, 0x0080FF), r.expected)
            << r.x1 << "," << r.y1 << " " << r.x2 << "," << r.y2;
    }
    // 24-bit, bottom-up, 96 dpi: the header Qt writes.
    EXPECT_EQ(s.bmpBytes().substr(0, 54),
              std::string("BM\x96\x13\0\0\0\0\0\0"
                          "6\0\0\0(\0\0\0)\0\0\0(\0\0\0\1\0\x18\0\0\0\0\0"
                          "\x60\x13\0\0\xc4\x0e\0\0\xc4\x0e\0\0\0\0\0\0\0\0\0\0",
                          54));
}

}  // namespace
}  // namespace skarvel::testing
