#include "win32/gdi_drawing_surface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "store/file_io.h"
#include "store/vb_error.h"

namespace skarvel {

namespace {

// The pictures are the same on every machine: 8 points at 96 dots per inch, whatever the
// screen's scaling.
constexpr int kLabelPixels = 11;
constexpr std::uint32_t kPixelsPerMeter = 3780;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::uint32_t toPixel(Color c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

void put16(std::string& out, std::uint32_t v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}
void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

GdiDrawingSurface::GdiDrawingSurface(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row y starts at bits_ + y * width
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc_ = ::CreateCompatibleDC(nullptr);
    if (dc_ && width > 0 && height > 0)
        bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap_) {
        if (dc_) ::DeleteDC(dc_);
        throw vbError(7);
    }
    bits_ = static_cast<std::uint32_t*>(bits);
    oldBitmap_ = ::SelectObject(dc_, bitmap_);

    LOGFONTW face{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
    face.lfHeight = -kLabelPixels;
    face.lfWidth = 0;
    // Labels in pure palette colours, as the rest of the picture.
    face.lfQuality = NONANTIALIASED_QUALITY;
    font_ = ::CreateFontIndirectW(&face);
    if (font_) oldFont_ = ::SelectObject(dc_, font_);
    ::SetBkMode(dc_, TRANSPARENT);
    ::SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    setBackColor(0);
}

GdiDrawingSurface::~GdiDrawingSurface() {
    if (oldFont_) ::SelectObject(dc_, oldFont_);
    if (font_) ::DeleteObject(font_);
    ::SelectObject(dc_, oldBitmap_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
}

void GdiDrawingSurface::setBackColor(Color color) {
    std::fill_n(bits_, std::size_t(width_) * std::size_t(height_), toPixel(color));
}

void GdiDrawingSurface::plot(int x, int y) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_)
        bits_[std::size_t(y) * std::size_t(width_) + std::size_t(x)] = forePixel_;
}

void GdiDrawingSurface::line(float x1f, float y1f, float x2f, float y2f) {
    forePixel_ = toPixel(foreColor());
    // Walks the longer axis and puts the other on the pixel the Qt raster engine picks: sampled
    // at the pixel's centre for a rising slope, at its edge for a falling one, ties downwards.
    std::int64_t a1 = nearestPixel(x1f), b1 = nearestPixel(y1f);
    std::int64_t a2 = nearestPixel(x2f), b2 = nearestPixel(y2f);
    const bool alongX = std::llabs(a2 - a1) >= std::llabs(b2 - b1);
    if (!alongX) {
        std::swap(a1, b1);
        std::swap(a2, b2);
    }
    if (a1 > a2) {
        std::swap(a1, a2);
        std::swap(b1, b2);
    }
    const std::int64_t da = a2 - a1, db = b2 - b1;
    const std::int64_t limit = (alongX ? width_ : height_) - 1;
    for (std::int64_t a = std::max<std::int64_t>(a1, 0); a <= std::min(a2, limit); ++a) {
        std::int64_t b = b1;
        if (db > 0)
            b = floorDiv(2 * b1 * da + (2 * (a - a1) + 1) * db - 1, 2 * da);
        else if (db < 0)
            b = floorDiv(b1 * da + (a - a1) * db, da);
        if (alongX)
            plot(int(a), int(b));
        else
            plot(int(b), int(a));
    }
}

void GdiDrawingSurface::print(const std::string& text) {
    // The text's bytes are Latin-1, as the Qt surface takes them.
    std::wstring latin1;
    latin1.reserve(text.size());
    for (unsigned char c : text) latin1 += wchar_t(c);
    ::SetTextColor(dc_, COLORREF(foreColor() & 0xFFFFFF));
    ::TextOutW(dc_, nearestPixel(currentX()), nearestPixel(currentY()), latin1.data(),
               int(latin1.size()));
    // The bits are written directly elsewhere: GDI must be done with them first.
    ::GdiFlush();
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc_, &metrics);
    setCurrentY(currentY() + float(metrics.tmHeight));
}

std::string GdiDrawingSurface::bmpBytes() const {
    const std::uint32_t stride = (3 * std::uint32_t(width_) + 3) & ~3u;
    const std::uint32_t imageSize = stride * std::uint32_t(height_);
    std::string out;
    out.reserve(54 + imageSize);
    out += "BM";
    put32(out, 54 + imageSize);
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, std::uint32_t(width_));
    put32(out, std::uint32_t(height_));  // positive: bottom row first
    put16(out, 1);
    put16(out, 24);
    put32(out, BI_RGB);
    put32(out, imageSize);
    put32(out, kPixelsPerMeter);
    put32(out, kPixelsPerMeter);
    put32(out, 0);
    put32(out, 0);
    for (int y = height_ - 1; y >= 0; --y) {
        const std::uint32_t* row = bits_ + std::size_t(y) * std::size_t(width_);
        for (int x = 0; x < width_; ++x) {
            out += char(row[x] & 0xFF);
            out += char((row[x] >> 8) & 0xFF);
            out += char((row[x] >> 16) & 0xFF);
        }
        out.append(stride - 3 * std::uint32_t(width_), '\0');
    }
    return out;
}

void GdiDrawingSurface::savePicture(const std::string& path) {
    // Redrawn every quarter hour anyway, so not worth a wait for the disk; the rename alone
    // keeps readers from half a picture.
    writeFileAtomic(path, bmpBytes(), Durability::Cached);
}

void GdiDrawingSurface::paint(HDC target, int x, int y) const {
    ::BitBlt(target, x, y, width_, height_, dc_, 0, 0, SRCCOPY);
}

}  // namespace skarvel
