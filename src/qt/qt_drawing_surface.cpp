#include "qt/qt_drawing_surface.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetrics>
#include <cmath>

#include "store/file_io.h"
#include "store/vb_error.h"

namespace skarvel {

QtDrawingSurface::QtDrawingSurface(int width, int height)
    : image_(width, height, QImage::Format_RGB32),
      font_(QFontDatabase::systemFont(QFontDatabase::GeneralFont)) {
    font_.setStyleHint(QFont::SansSerif);
    font_.setPointSizeF(8);
    // Labels in pure palette colours, as the rest of the picture.
    font_.setStyleStrategy(QFont::NoAntialias);
    image_.fill(Qt::black);
}

QtDrawingSurface::~QtDrawingSurface() = default;

QColor QtDrawingSurface::toQColor(Color color) {
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

QPainter& QtDrawingSurface::painter() {
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        painter_->setRenderHint(QPainter::TextAntialiasing, false);
        painter_->setBackgroundMode(Qt::TransparentMode);
        painter_->setFont(font_);
        painter_->setPen(QPen(toQColor(pen_ = foreColor()), 1));
    }
    if (pen_ != foreColor()) painter_->setPen(QPen(toQColor(pen_ = foreColor()), 1));
    return *painter_;
}

void QtDrawingSurface::endPainting() {
    painter_.reset();
}

void QtDrawingSurface::setBackColor(Color color) {
    endPainting();
    image_.fill(toQColor(color));
}

void QtDrawingSurface::line(float x1, float y1, float x2, float y2) {
    const QPoint from(nearestPixel(x1), nearestPixel(y1));
    const QPoint to(nearestPixel(x2), nearestPixel(y2));
    QPainter& p = painter();
    if (from == to) {
        p.drawPoint(from);
    } else {
        p.drawLine(from, to);
    }
}

void QtDrawingSurface::print(const std::string& text) {
    QPainter& p = painter();
    const QFontMetrics metrics = p.fontMetrics();
    p.drawText(QPoint(nearestPixel(currentX()), nearestPixel(currentY()) + metrics.ascent()),
               QString::fromLatin1(text.data(), qsizetype(text.size())));
    setCurrentY(currentY() + float(metrics.height()));
}

const QImage& QtDrawingSurface::image() {
    endPainting();
    return image_;
}

QByteArray QtDrawingSurface::bmpBytes() {
    endPainting();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image_.save(&buffer, "BMP")) throw VbError(51, "Internal error: BMP encoding failed");
    return bytes;
}

void QtDrawingSurface::savePicture(const std::string& path) {
    const QByteArray bytes = bmpBytes();
    // Six pictures every quarter hour: waiting for the disk each time would slow the cycle, and
    // the rename still never shows a reader half a picture.
    writeFileAtomic(path, std::string_view(bytes.constData(), std::size_t(bytes.size())),
                    Durability::Cached);
}

}  // namespace skarvel
