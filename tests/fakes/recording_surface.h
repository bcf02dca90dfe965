#pragma once

#include <string>
#include <vector>

#include "graphs/drawing_surface.h"
#include "store/file_io.h"

namespace skarvel::testing {

/// A drawing surface that records what is drawn, so geometry and colours can be asserted.
/// Saving writes a small marker file through the real atomic writer, so folder failures behave
/// as they do for the real surface.
class RecordingSurface : public DrawingSurface {
  public:
    struct Line {
        float x1, y1, x2, y2;
        Color color;
    };
    struct Text {
        float x, y;
        std::string text;
        Color color;
    };

    static constexpr float kLineHeight = 12;

    explicit RecordingSurface(int width = 1000, int height = 534)
        : width_(width), height_(height) {}

    int width() const override { return width_; }
    int height() const override { return height_; }
    void setForeColor(Color color) override { fore_ = color; }
    Color foreColor() const override { return fore_; }
    void setBackColor(Color color) override {
        back = color;
        ++clears;
        lines.clear();
        texts.clear();
    }
    void line(float x1, float y1, float x2, float y2) override {
        lines.push_back({x1, y1, x2, y2, fore_});
    }
    void setCurrentX(float x) override { x_ = x; }
    void setCurrentY(float y) override { y_ = y; }
    float currentX() const override { return x_; }
    float currentY() const override { return y_; }
    void print(const std::string& text) override {
        texts.push_back({x_, y_, text, fore_});
        y_ += kLineHeight;
    }
    void savePicture(const std::string& path) override {
        writeFileAtomic(path, "BM");
        saved.push_back(path);
    }

    /// The first text equal to `text`, or nullptr.
    const Text* findText(const std::string& text) const {
        for (const Text& t : texts) {
            if (t.text == text) return &t;
        }
        return nullptr;
    }

    std::vector<Line> lines;
    std::vector<Text> texts;
    std::vector<std::string> saved;
    Color back = 0;
    int clears = 0;

  private:
    int width_;
    int height_;
    Color fore_ = 0;
    float x_ = 0;
    float y_ = 0;
};

}  // namespace skarvel::testing
