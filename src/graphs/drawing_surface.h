#pragma once

#include <cstdint>
#include <string>

namespace skarvel {

/// Colour as 0x00BBGGRR (red in the low byte).
using Color = std::uint32_t;

/// A persistent off-screen picture that the graph windows draw on and save. Coordinates are
/// pixels, origin top-left, y down. One Qt implementation on a QImage, one recording fake.
class DrawingSurface {
  public:
    virtual ~DrawingSurface() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;
    /// Colour of lines and text drawn from now on.
    void setForeColor(Color color) { fore_ = color; }
    Color foreColor() const { return fore_; }
    /// Fills the whole surface with `color`, erasing everything drawn before.
    virtual void setBackColor(Color color) = 0;
    /// A one-pixel solid line in the fore colour, both end points included.
    virtual void line(float x1, float y1, float x2, float y2) = 0;
    /// Where the next text goes.
    void setCurrentX(float x) { currentX_ = x; }
    void setCurrentY(float y) { currentY_ = y; }
    float currentX() const { return currentX_; }
    float currentY() const { return currentY_; }
    /// Draws `text` unchanged, its top-left corner at (CurrentX, CurrentY), without a background;
    /// then moves the text position to the start of the next text line.
    virtual void print(const std::string& text) = 0;
    /// Writes the picture as a 24-bit BMP, replacing `path` atomically. Throws VbError.
    virtual void savePicture(const std::string& path) = 0;

    /// Prints a number the classic way: a blank (or the minus sign) before the digits and a
    /// blank after them: " 5 ", "-35 ".
    void printNumber(double value);

  private:
    Color fore_ = 0;
    float currentX_ = 0;
    float currentY_ = 0;
};

/// The pixel nearest to `v`, where drawing truncates fractions. A corrupt log value far off the
/// picture (or at infinity in single precision) is held far outside instead of overflowing.
int nearestPixel(float v);

}  // namespace skarvel
