#include "core/monitor.h"

#include <cmath>

#include "core/sensor_link.h"
#include "platform/desktop_services.h"
#include "platform/main_window_controls.h"
#include "store/config.h"
#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel {

namespace {

constexpr int kRed = 255;
constexpr int kOrange = 33023;
constexpr int kGreen = 65280;

float cutToTenth(float value) {
    const float scaled = value * 10.0f;  // in single precision before the floor
    return std::floor(scaled) / 10.0f;
}

float roundToTenth(float value) {
    return float(std::round(double(value) * 10.0) / 10.0);
}

float slotOf(LocalTime t) {
    return float(quarterSlot(toCivil(t).minute));
}

}  // namespace

Monitor::Monitor(Settings& settings, DesktopServices& services, MainWindowControls& controls,
                 SerialFactory factory, Publishing& publishing)
    : settings_(settings),
      services_(services),
      controls_(controls),
      factory_(std::move(factory)),
      publishing_(publishing) {}

void Monitor::Form_Load(const std::function<void()>& createWindowsAndStartTimer) {
    int line = 10;
    auto report = [&](const std::exception& e) {
        reportError(services_, e, line, "Form_Load", "frmMain");
    };
    try {
        line = 20;
        settings_.commportid = 1;
        line = 30;
        settings_.webPath = GetEXEPath(services_);
        line = 40;
        settings_.cloudyThreshold = -25.0f;
        line = 50;
        settings_.vCloudyThreshold = -15.0f;
        // A bad or unwritable config.ini is reported but never stops the monitor.
        line = 60;
        try {
            publishing_.LoadConfig();
        } catch (const std::exception& e) {
            report(e);
        }
        line = 70;
        try {
            publishing_.SaveConfig();
        } catch (const std::exception& e) {
            report(e);
        }
        line = 80;
        linkOpen_ = getComms(settings_.commportid, kLineSettings, commLink_, factory_, services_);
        line = 90;
        log_.lastLogSlot = slotOf(services_.now());
        line = 100;
        log_.skySum = 0;
        line = 110;
        log_.readingCount = 0;
        line = 120;
        if (createWindowsAndStartTimer) createWindowsAndStartTimer();
    } catch (const std::exception& e) {
        report(e);
    }
}

void Monitor::Timer1_Timer() {
    Update();
}

void Monitor::Update() {
    // A tick or the Setup button while a cycle waits for the sensor starts no second cycle.
    if (running_) return;
    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};

    CycleOutcome outcome;
    runCycle(outcome);
    outcome.linkOpen = linkOpen_;
    outcome.at = services_.now();
    outcome.cloudyThreshold = settings_.cloudyThreshold;
    outcome.vCloudyThreshold = settings_.vCloudyThreshold;
    if (observer_) observer_->cycleEnded(outcome);
}

void Monitor::runCycle(CycleOutcome& outcome) {
    int line = 10;
    try {
        line = 20;
        if (linkOpen_ && (!commLink_ || commLink_->deviceGone())) linkOpen_ = false;
        if (!linkOpen_) {
            line = 30;
            controls_.setStatusBarText("Error opening port");
            line = 40;
            controls_.setStatusCaption("ERROR");
            line = 50;
            controls_.setStatusColor(kRed);
            line = 60;
            linkOpen_ =
                getComms(settings_.commportid, kLineSettings, commLink_, factory_, services_);
            return;
        }
        line = 90;
        controls_.setStatusBarText("Updating readings");
        line = 100;
        float ambient = 0, sky = 0;
        if (!getReadings(*commLink_, services_, ambient, sky)) {
            line = 110;
            controls_.setStatusBarText("Failed to get readings");
            // A sensor that was unplugged during the read is reopened from the next cycle on.
            if (commLink_->deviceGone()) linkOpen_ = false;
            return;
        }
        line = 140;
        sky = cutToTenth(sky);
        line = 150;
        ambient = cutToTenth(ambient);
        line = 160;
        // Rounded to a tenth, so single-precision noise never shows and -15.0 is -15.0 at the
        // thresholds.
        float difference = roundToTenth(sky - ambient);
        line = 170;
        if (difference > 0) {
            line = 180;
            difference = 0;
        }
        line = 200;
        controls_.setSkyTemp(singleText(sky));
        line = 210;
        controls_.setAmbientTemp(singleText(ambient));
        line = 220;
        controls_.setDiffTemp(singleText(difference));
        std::string state;
        // Caption, colour and state word at statements first, first + 10, first + 20.
        auto show = [&](const char* caption, int color, int first) {
            line = first;
            controls_.setStatusCaption(caption);
            line = first + 10;
            controls_.setStatusColor(color);
            line = first + 20;
            state = caption;
        };
        line = 230;
        if (difference > settings_.vCloudyThreshold) {
            show("V.CLOUDY", kRed, 240);
        } else {
            line = 280;
            if (difference > settings_.cloudyThreshold) {
                show("CLOUDY", kOrange, 290);
            } else {
                show("CLEAR", kGreen, 330);
            }
        }
        outcome.readingOk = true;
        outcome.sky = sky;
        outcome.ambient = ambient;
        outcome.difference = difference;
        outcome.state = state;
        line = 380;
        log_.skySum = log_.skySum + sky;
        line = 390;
        if (log_.readingCount == 32767) throw vbError(err::kOverflow);
        log_.readingCount = std::int16_t(log_.readingCount + 1);
        line = 400;
        const float average = log_.skySum / float(log_.readingCount);
        publishing_.LogReadings(log_, ambient, average);
        line = 410;
        publishing_.SaveStatus(state);
        line = 420;
        controls_.setStatusBarText("");
    } catch (const std::exception& e) {
        reportError(services_, e, line, "Update", "frmMain");
    }
}

}  // namespace skarvel
