#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "graphs/drawing_surface.h"
#include "store/file_io.h"

namespace skarvel::testing {

/// Records lines with their colour and texts with their position. Saving writes a marker file
/// through the real atomic writer, so folder failures behave as for the real surface.
class RecordingSurface : public DrawingSurface {
  public:
    struct Line {
        float x1, y1, x2, y2;
        Color color;
        bool operator==(const Line&) const = default;
        friend std::ostream& operator<<(std::ostream& os, const Line& l) {
            return os << l.x1 << ',' << l.y1 << " to " << l.x2 << ',' << l.y2 << " in " << l.color;
        }
    };
    struct Text {
        float x, y;
        std::string text;
        Color color = 0;
        bool operator==(const Text&) const = default;
        friend std::ostream& operator<<(std::ostream& os, const Text& t) {
            return os << '"' << t.text << "\" at " << t.x << ',' << t.y << " in " << t.color;
        }
    };

    RecordingSurface(int width, int height) : width_(width), height_(height) {}

    int width() const override { return width_; }
    int height() const override { return height_; }
    void setBackColor(Color color) override { back = color, lines.clear(), texts.clear(); }
    void line(float x1, float y1, float x2, float y2) override {
        lines.push_back({x1, y1, x2, y2, foreColor()});
    }
    void print(const std::string& text) override {
        texts.push_back({currentX(), currentY(), text, foreColor()});
        setCurrentY(currentY() + 12);
    }
    void savePicture(const std::string& path) override { writeFileAtomic(path, "BM"); }

    std::vector<Line> lines;
    std::vector<Text> texts;
    Color back = 1;

  private:
    int width_, height_;
};

}  // namespace skarvel::testing
