// Four hundred days of ten-second cycles on virtual time, with real day files: what the monitor
// wrote checked day by day, and the heap and descriptors it holds at the end against day one.
// Prints the figures; the exit status is 1 when a day file or a figure is wrong.
// Linux only (it reads /proc).

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "core/file_publishing.h"
#include "fakes/fake_controls.h"
#include "fakes/fake_desktop_services.h"
#include "fakes/fake_serial_control.h"
#include "fakes/temp_dir.h"
#include "store/value_text.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace skarvel {
namespace {

int failures = 0;

/// Counts and shows a wrong result, the first twenty of them.
void check(bool ok, const std::string& what) {
    if (!ok && ++failures <= 20) std::cerr << "wrong: " << what << "\n";
}

namespace fs = std::filesystem;
using namespace std::chrono;
using namespace std::chrono_literals;

/// Live heap bytes; the sanitizer's quarantine would make the resident size grow on its own.
long memoryInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return long(__sanitizer_get_current_allocated_bytes());
#else  // glibc's heap in use: resident pages would count an emulator's own
    const struct mallinfo2 heap = ::mallinfo2();
    return long(heap.uordblks + heap.hblkhd);
#endif
}

long openDescriptors() {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

// Every whole-file write costs about 0.1 ms (a fsync, a rename, a scan of its folder), several
// times that under the sanitizer: the page and status.txt on all 3.5 million cycles would take
// many minutes. So the real files get only the cycles that can write a line: the first of each
// quarter hour and the first after an outage; the others would only rewrite those two files.
struct SampledPublishing : Publishing, GraphRedraw {
    explicit SampledPublishing(FilePublishing& real) : real(real) {}
    void LoadConfig() override { real.LoadConfig(); }
    void SaveConfig() override { real.SaveConfig(); }
    void LogReadings(LogState& state, float ambient, float sky) override {
        forward ? real.LogReadings(state, ambient, sky) : void();
    }
    void SaveStatus(const std::string& s) override { forward ? real.SaveStatus(s) : void(); }
    void PlotGraph() override { onRedraw(); }  // the three-day graph's, right after each line
    FilePublishing& real;
    bool forward = true;
    std::function<void()> onRedraw;
};

LocalTime at(int day, int h, int m, int s = 0) {
    return makeTime(2027, 6, 1, h, m, s) + days(day);
}

int soak() {
    testing::TempDir root(true);
    const LocalTime start = at(0, 10, 15), end = start + days(400);  // across 29 February 2028
    testing::FakeDesktopServices services(root.str(), start);
    testing::FakeControls controls;
    Settings settings;
    auto script = std::make_shared<testing::FakePortScript>();
    FilePublishing files(settings, services, controls);
    SampledPublishing publishing(files);
    Monitor monitor(settings, services, controls, testing::fakeFactory(services, script),
                    publishing);
    const std::pair<LocalTime, LocalTime> outages[] = {
        // cycles in [first, second) hear nothing
        {at(3, 10, 15, 5), at(3, 11, 20)},    // 11:20 is slot 15 again: no line until 11:30
        {at(40, 23, 50), at(41, 0, 20)},      // over midnight: 00:20 opens the new day's file
        {at(100, 14, 0, 5), at(100, 15, 0)},  // a whole hour: 15:00 is slot 0 again
        {at(200, 8, 3), at(200, 8, 7)},       // inside one quarter: no line lost
        {at(300, 6, 0, 5), at(302, 6, 40)}};  // two days: no file at all for day 301
    // Lines per day where not 96; day 0 starts at 10:15, whose quarter began before the start
    // and has no line, and day 400 ends at 10:15.
    const std::map<int, int> lineCounts = {{0, 54},   {3, 92},  {41, 95},  {100, 92},
                                           {300, 25}, {301, 0}, {302, 70}, {400, 41}};
    float skySum = 0, ambient = 0;  // what the files must hold, from what the sensor sent
    int readings = 0;
    std::string expectedDay;
    publishing.onRedraw = [&] {
        expectedDay += logLine(services.now(), ambient, skySum / float(readings));
        skySum = 0;
        readings = 0;
    };
    monitor.Form_Load([&] { files.setGraphs(&publishing, nullptr, nullptr); });

    long memoryAfterDayOne = 0, descriptorsAfterDayOne = 0;
    const auto checkDay = [&](LocalTime day) {
        const int index = int((floor<days>(day) - floor<days>(start)).count());
        const int expected = lineCounts.contains(index) ? lineCounts.at(index) : 96;
        const std::string n = std::to_string(index);
        check(std::count(expectedDay.begin(), expectedDay.end(), '\n') == expected,
              "line count of day " + n);
        check(testing::TempDir::read(root / dayFileName(day)) == expectedDay, "day file " + n);
        // Checked files go, so that a line written under a wrong day's name shows up as a stray
        // file beside config.ini, status.txt and CloudStatus.html.
        check(fs::remove(root / dayFileName(day)) == (expected > 0), "no day file " + n);
        check(root.entryCount() == 3u, "stray files after day " + n);
        check(services.messages.empty(), "a message by day " + n);
        services.messages.clear();
        expectedDay.clear();
        if (index == 1)
            memoryAfterDayOne = memoryInUse(), descriptorsAfterDayOne = openDescriptors();
    };

    std::vector<std::string> lines;  // the sensor's repertoire, so no cycle builds text
    for (int k = 0; k < 124; ++k)
        lines.push_back("S" + singleText(-10.0f - 0.5f * float(k % 31)) + "C:A" +
                        singleText(5.0f + 0.5f * float(k % 4)) + "C:\r\n");
    long cycles = 0;  // lines are scripted per cycle, so the script never grows
    bool silent = false;
    for (LocalTime tick = start; tick < end; ++cycles) {
        services.now_ = tick;
        publishing.forward = silent || tick.time_since_epoch() % 15min < 10s;
        silent = std::any_of(std::begin(outages), std::end(outages),
                             [&](const auto& o) { return tick >= o.first && tick < o.second; });
        if (!silent) {
            ambient = 5.0f + 0.5f * float(cycles % 4);
            skySum += -10.0f - 0.5f * float(cycles % 31);
            ++readings;
            for (int i = 0; i < 4; ++i)
                script->chunks.emplace(services.preciseNow() + 50ms + i * 300ms,
                                       lines[cycles % 124]);
        }
        monitor.Timer1_Timer();
        check(controls.bar == (silent ? "Failed to get readings" : ""),
              "bar at " + dateTimeText(tick));
        // The next tick that finds no cycle running.
        const auto elapsed = (services.preciseNow() - start).count();
        const LocalTime next = start + seconds((elapsed + 9999) / 10000 * 10);
        if (floor<days>(next) != floor<days>(tick) || next >= end) checkDay(tick);
        tick = next;
    }
    const long grown = memoryInUse() - memoryAfterDayOne,
               descriptors = openDescriptors() - descriptorsAfterDayOne;
    std::printf(
        "%ld cycles over 400 days; memory in use grew %ld bytes after day 1, open "
        "descriptors by %ld; %d wrong results\n",
        cycles, grown, descriptors, failures);
    check(grown < 1 << 20, "memory grew by 1 MiB or more");
    check(descriptors == 0, "descriptors left open");
    return failures ? 1 : 0;
}

}  // namespace
}  // namespace skarvel

int main() {
    return skarvel::soak();
}
