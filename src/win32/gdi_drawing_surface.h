#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "graphs/drawing_surface.h"

namespace skarvel {

/// The drawing surface on a 32-bit GDI DIB section. Lines are set pixel by pixel so they land
/// where the Qt surface puts them, on every Windows; labels are drawn by GDI, unsmoothed, so
/// every pixel is a palette colour.
class GdiDrawingSurface final : public DrawingSurface {
  public:
    /// Throws VbError 7 when the bitmap cannot be made.
    GdiDrawingSurface(int width, int height);
    ~GdiDrawingSurface() override;
    GdiDrawingSurface(const GdiDrawingSurface&) = delete;
    GdiDrawingSurface& operator=(const GdiDrawingSurface&) = delete;

    int width() const override { return width_; }
    int height() const override { return height_; }
    void setBackColor(Color color) override;
    void line(float x1, float y1, float x2, float y2) override;
    void print(const std::string& text) override;
    void savePicture(const std::string& path) override;

    /// The picture as BMP file bytes: 24-bit, bottom-up, as the Qt surface writes them.
    std::string bmpBytes() const;
    /// Copies the picture to `target` with its top-left corner at (x, y), as WM_PAINT needs.
    void paint(HDC target, int x, int y) const;
    /// The memory device context holding the picture, for other GDI calls (BitBlt, StretchBlt).
    HDC dc() const { return dc_; }

  private:
    void plot(int x, int y);

    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
    std::uint32_t* bits_ = nullptr;  // top-down rows of 0x00RRGGBB
    std::uint32_t forePixel_ = 0;
};

}  // namespace skarvel
