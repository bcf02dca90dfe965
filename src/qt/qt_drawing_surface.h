#pragma once

#include <QImage>
#include <QPainter>
#include <memory>

#include "graphs/drawing_surface.h"

namespace skarvel {

/// The drawing surface on an RGB32 QImage, drawn aliased so every pixel is a palette colour.
class QtDrawingSurface final : public DrawingSurface {
  public:
    QtDrawingSurface(int width, int height);
    ~QtDrawingSurface() override;

    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    void setBackColor(Color color) override;
    void line(float x1, float y1, float x2, float y2) override;
    void print(const std::string& text) override;
    void savePicture(const std::string& path) override;

    /// The picture as drawn so far, for showing it.
    const QImage& image();
    /// The picture as BMP file bytes (24-bit). Throws VbError.
    QByteArray bmpBytes();

    static QColor toQColor(Color color);

  private:
    QPainter& painter();
    void endPainting();

    QImage image_;
    // Kept open between drawing calls (a redraw makes thousands of them) and closed before
    // the image is read.
    std::unique_ptr<QPainter> painter_;
    QFont font_;
    Color pen_ = 0;  ///< the painter's colour
};

}  // namespace skarvel
