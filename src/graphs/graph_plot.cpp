#include "graphs/graph_plot.h"

#include <cstdint>
#include <exception>

#include "graphs/palette.h"
#include "platform/desktop_services.h"
#include "store/config.h"
#include "store/file_io.h"
#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel {

namespace {

// What the three windows really differ in; everything else is one code path.
struct Layout {
    const char* form;
    const char* caption;
    const char* image;
    int width;
    int height;
    int hoursPerTick;  // time-axis step, also the horizontal data scale (10 px per step)
    bool thresholdsFirst;
    // The three-day window reports line 0; the others number statements in tens. The year
    // window's two extra opening statements push all later numbers 20 further.
    bool numbered;
    int shift;
};

constexpr Layout kLayouts[] = {
    {"frmHistory", "3 Day History Graph", "history.bmp", 1000, 534, 1, false, false, 0},
    {"frmMonth", "30 Day History Graph", "month.bmp", 1001, 529, 8, true, true, 0},
    {"frmYear", "Year History Graph", "year.bmp", 1001, 537, 96, true, true, 20},
};

const Layout& layoutOf(GraphKind kind) {
    return kLayouts[static_cast<int>(kind)];
}

constexpr double kLeft = 60;
constexpr double kRight = 860;
constexpr double kTop = 50;
constexpr double kBottom = 450;

}  // namespace

GraphPlot::GraphPlot(GraphKind kind, DrawingSurface& surface, const Settings& settings,
                     DesktopServices& services)
    : kind_(kind), surface_(surface), settings_(settings), services_(services) {}

const char* GraphPlot::formName() const {
    return layoutOf(kind_).form;
}
const char* GraphPlot::caption() const {
    return layoutOf(kind_).caption;
}
const char* GraphPlot::imageName() const {
    return layoutOf(kind_).image;
}
int GraphPlot::surfaceWidth(GraphKind kind) {
    return layoutOf(kind).width;
}
int GraphPlot::surfaceHeight(GraphKind kind) {
    return layoutOf(kind).height;
}

void GraphPlot::PlotGraph() {
    const Layout& layout = layoutOf(kind_);
    int line = 0;
    auto at = [&](int n) { line = layout.numbered ? n + (n > 10 ? layout.shift : 0) : 0; };
    DrawingSurface& s = surface_;
    try {
        at(10);
        if (kind_ == GraphKind::Year) {
            dayCount_ = 0;
            daySum_ = 0;
        }

        at(20);
        s.setForeColor(palette::kWhite);
        s.setBackColor(palette::kBlack);
        at(50);
        s.line(60, 50, 60, 450);
        s.line(860, 50, 860, 450);
        s.line(60, 450, 860, 450);

        auto thresholds = [&] {
            at(80);
            s.setForeColor(palette::kOrange);
            const float yc = 50.0f - 10.0f * settings_.cloudyThreshold;
            s.line(60, yc, 860, yc);
            at(110);
            s.setForeColor(palette::kRed);
            const float yv = 50.0f - 10.0f * settings_.vCloudyThreshold;
            s.line(60, yv, 860, yv);
        };
        if (layout.thresholdsFirst) thresholds();

        at(140);
        for (int i = 0; i <= 40; ++i) {
            const float y = 450.0f - 10.0f * i;
            const Color stateColor = selectColor(i - 40, settings_);
            s.setForeColor(palette::kCyan);
            s.line(58, y, 60, y);
            s.setForeColor(stateColor);
            s.line(862, y, 860, y);
            if (i % 5 == 0) {
                s.setForeColor(palette::kCyan);
                s.line(55, y, 60, y);
                s.setCurrentX(30);
                s.setCurrentY(y - 6);
                s.printNumber(i);
                s.setForeColor(stateColor);
                s.line(865, y, 860, y);
                s.setCurrentX(880);
                s.setCurrentY(y - 6);
                s.printNumber(i - 40);
            }
        }

        at(330);
        struct LegendItem {
            const char* text;
            float x;
            Color color;
        };
        static constexpr LegendItem kLegend[] = {{"Legend:", 60, palette::kWhite},
                                                 {"Ambient", 120, palette::kCyan},
                                                 {"V.Cloudy", 180, palette::kRed},
                                                 {"Cloudy", 240, palette::kOrange},
                                                 {"Clear", 300, palette::kGreen}};
        for (const LegendItem& item : kLegend) {
            s.setCurrentX(item.x);
            s.setCurrentY(500);
            s.setForeColor(item.color);
            s.print(item.text);
        }
        s.setForeColor(palette::kWhite);

        at(500);
        LocalTime t = addMinutes(services_.now(), 45);
        at(520);
        for (int j = 0; j <= 80; ++j) {
            const float x = 860.0f - 10.0f * j;
            if (kind_ == GraphKind::History) {
                const int hour = toCivil(t).hour;
                s.setForeColor(palette::kWhite);
                s.line(x, 452, x, 450);
                if (hour % 4 == 0) {
                    s.line(x, 455, x, 450);
                    s.setCurrentX(x - 6);
                    s.setCurrentY(465);
                    s.printNumber(hour);
                }
                if (hour == 0) {
                    s.setCurrentX(x - 6);
                    s.setCurrentY(480);
                    s.print(dateLabel(t));
                    s.setForeColor(palette::kDarkGrey);
                    s.line(x, 449, x, 50);
                }
            } else {
                // The colour is still the legend's white: the loop never sets it.
                s.line(x, 452, x, 450);
                if (j % 8 == 0) {
                    s.line(x, 455, x, 450);
                    s.setCurrentX(x - 6);
                    s.setCurrentY(465);
                    s.print(dateLabel(t));
                }
            }
            t = addHours(t, -layout.hoursPerTick);
        }

        if (!layout.thresholdsFirst) thresholds();

        at(630);
        t = addHours(t, 4);
        at(640);
        const LocalTime present = services_.now();
        bool firstReading = true;
        const std::string folder = GetEXEPath(services_);
        at(660);
        while (t < addDays(present, 1)) {
            at(670);
            const std::string fileName = folder + dayFileName(t);
            at(680);
            if (FileExists(fileName)) {
                at(690);
                FieldReader reader = FieldReader::fromFile(fileName);
                at(700);
                while (!reader.atEnd()) {
                    at(710);
                    const std::string dateText = reader.readText();
                    const FieldValue ambient = reader.readValue();
                    const FieldValue sky = reader.readValue();
                    at(720);
                    const LocalTime recordTime = parseDateTime(dateText);
                    at(730);
                    placed_ = false;
                    plotEntry(present, recordTime, ambient, sky, firstReading);
                    at(740);
                    // A record that failed before it could seed the previous point must not
                    // leave the next one joined to an old point.
                    if (placed_) firstReading = false;
                    at(700);
                }
            }
            at(780);
            t = addDays(t, 1);
            at(660);
        }

        at(800);
        s.savePicture(GetEXEPath(services_) + layout.image);
        at(810);
        s.savePicture(settings_.webPath + layout.image);
    } catch (const std::exception& e) {
        reportError(services_, e, line, "PlotGraph", layout.form);
    }
}

void GraphPlot::plotEntry(LocalTime present, LocalTime recordTime, const FieldValue& ambient,
                          const FieldValue& sky, const bool& firstReading) {
    const Layout& layout = layoutOf(kind_);
    int line = 0;
    auto at = [&](int n) { line = layout.numbered ? n : 0; };
    DrawingSurface& s = surface_;
    try {
        at(20);
        const auto m = double(minuteBoundaries(recordTime, present));
        at(30);
        double x = kRight - ((m * 10) / 60) / layout.hoursPerTick;
        at(40);
        if (x < kLeft) x = kLeft;
        at(50);
        double d = sky.asNumber() - ambient.asNumber();
        at(60);
        if (d > 0) d = 0;
        at(70);
        double yd = kTop - 10 * d;
        at(80);
        if (yd > kBottom) yd = kBottom;
        at(90);
        const double ya = kBottom - 10 * ambient.asNumber();

        at(100);
        if (firstReading) {
            prevX_ = x;
            prevYd_ = yd;
            prevYa_ = ya;
        }
        placed_ = true;
        const CivilTime when = toCivil(recordTime);

        if (kind_ == GraphKind::Year) {
            at(140);
            const bool midnight = when.hour < 1 && when.minute < 15;
            if (!midnight) {
                at(160);
                if (dayCount_ == INT16_MAX) throw vbError(err::kOverflow);
                ++dayCount_;
                at(170);
                daySum_ += yd;
                return;
            }
            at(180);
            if (dayCount_ == 0) return;
            at(190);
            const double mean = daySum_ / dayCount_;
            at(200);
            s.setForeColor(selectColor((50 - mean) / 10, settings_));
            at(210);
            for (int k = 0; k < 3; ++k) {
                s.line(float(x + k), 449, float(x + k), float(mean));
            }
            at(240);
            s.setForeColor(palette::kCyan);
            at(250);
            s.line(float(prevX_), float(prevYa_), float(x), float(ya));
            at(260);
            prevX_ = x;
            prevYa_ = ya;
            at(280);
            dayCount_ = 0;
            daySum_ = 0;
            return;
        }

        at(150);
        if (kind_ == GraphKind::Month && when.minute >= 15) return;
        at(160);
        s.setForeColor(palette::kCyan);
        at(170);
        s.line(float(prevX_), float(prevYa_), float(x), float(ya));
        at(180);
        s.setForeColor(selectColor(d, settings_));
        at(190);
        s.line(float(prevX_), float(prevYd_), float(x), float(yd));
        at(200);
        s.line(float(prevX_), 450, float(x), 450);
        at(210);
        prevX_ = x;
        prevYd_ = yd;
        prevYa_ = ya;
    } catch (const std::exception& e) {
        reportError(services_, e, line, "plotEntry", layout.form);
    }
}

}  // namespace skarvel
