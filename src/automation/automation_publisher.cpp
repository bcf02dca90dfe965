#include "automation/automation_publisher.h"

#include "automation/automation_files.h"
#include "automation/automation_ini.h"
#include "platform/desktop_services.h"
#include "store/file_io.h"
#include "store/readings_log.h"
#include "store/vb_error.h"

namespace skarvel {

AutomationPublisher::AutomationPublisher(std::string folder, DesktopServices& services,
                                         UtcClock utc)
    : folder_(std::move(folder)), services_(services), utc_(std::move(utc)) {
    if (!utc_) {
        utc_ = [] {
            return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        };
    }
    settings_ = loadAutomationSettings(folder_, services_);
    if (settings_.learnSkyModel)
        learnSky(services_.now());
    else
        state_.skyModel.why = "it is off (skyModel=off)";
    const std::chrono::sys_seconds start = utc_();
    state_.startedUtc = start;
    SafetyConditions pending;
    pending.linkOpen = true;
    state_.verdict = verdict_.update(pending, settings_, start);
    state_.updatedAt = services_.now();
    publish(start, true);
}

AutomationPublisher::~AutomationPublisher() {
    state_.verdict = {false, "STOPPED: the monitor is not running", {}};
    state_.linkOpen = false;
    try {
        state_.updatedAt = services_.now();
        publish(utc_(), false);
    } catch (...) {
    }
}

void AutomationPublisher::cycleEnded(const CycleOutcome& outcome) {
    const std::chrono::sys_seconds utc = utc_();
    state_.linkOpen = outcome.linkOpen;
    state_.anyCycle = true;
    ++state_.cycles;
    if (outcome.readTried && !outcome.readingOk) ++state_.readFailures;
    state_.updatedAt = outcome.at;
    // Once a day, when the day's first line is in the log.
    if (settings_.learnSkyModel &&
        std::chrono::floor<std::chrono::days>(outcome.at) != learnedDay_ &&
        FileExists(folder_ + dayFileName(outcome.at)))
        learnSky(outcome.at);
    if (outcome.readingOk) {
        state_.haveReading = true;
        state_.lastReadingAt = outcome.at;
        state_.lastReadingUtc = utc;
        state_.sky = outcome.sky;
        state_.ambient = outcome.ambient;
        state_.difference = outcome.difference;
        state_.state = outcome.state;
        state_.cloudyThreshold = outcome.cloudyThreshold;
        state_.vCloudyThreshold = outcome.vCloudyThreshold;
        state_.cloudCover = cloudCover(state_.skyModel, outcome.ambient, outcome.sky);
    }
    const SafetyConditions conditions{state_.linkOpen,
                                      state_.haveReading ? state_.state : "",
                                      ageAt(utc),
                                      state_.difference,
                                      state_.cloudyThreshold,
                                      state_.vCloudyThreshold,
                                      state_.cloudCover,
                                      state_.skyModel.learned};
    state_.verdict = verdict_.update(conditions, settings_, utc);
    publish(utc, true);
    if (published_) published_(state_, utc);
}

void AutomationPublisher::learnSky(LocalTime now) {
    state_.skyModel = fitClearSky(readSkyLines(folder_, now));
    state_.skyModel.learnedAt = now;
    learnedDay_ = std::chrono::floor<std::chrono::days>(now);
}

std::int64_t AutomationPublisher::ageAt(std::chrono::sys_seconds utc) {
    // A clock set back makes the reading new rather than leaving it young for ever.
    if (state_.lastReadingUtc > utc) state_.lastReadingUtc = utc;
    return (utc - state_.lastReadingUtc).count();
}

void AutomationPublisher::publish(std::chrono::sys_seconds utc, bool report) {
    state_.publishedUtc = utc;
    const std::pair<const char*, std::string> files[] = {
        {"safety.json", safetyJsonText(state_.verdict, utc)},
        {"boltwood.txt", boltwoodText(state_, settings_, ageAt(utc), state_.updatedAt)},
    };
    bool failed = false;
    state_.fileTrouble.clear();
    for (const auto& [name, text] : files) {
        try {
            writeFileAtomic(folder_ + name, text);
        } catch (const std::exception& e) {
            const std::string why = errorMessage(asVbError(e), 0, "publishSafety", "frmMain");
            if (report && !failing_ && !failed) services_.messageBox(why);
            if (!failed) state_.fileTrouble = folder_ + name + ": " + why;
            failed = true;
        }
    }
    failing_ = failed;
}

}  // namespace skarvel
