#include "automation/metrics.h"

#include <charconv>

namespace skarvel {

namespace {

class Writer {
  public:
    /// Starts a family: its help line and its type.
    Writer& family(std::string_view name, std::string_view type, std::string_view help) {
        name_ = name;
        text_.append("# HELP ").append(name).append(" ").append(help);
        text_.append("\n# TYPE ").append(name).append(" ").append(type).append("\n");
        return *this;
    }
    /// A sample of the family; `labels` is `key="value"` or empty.
    template <class Number>
    Writer& sample(Number value, std::string_view labels = {}) {
        text_ += name_;
        if (!labels.empty()) text_.append("{").append(labels).append("}");
        char buf[32];
        // Shortest text that reads back as the same value: a float's -18.3 stays -18.3.
        const auto res = std::to_chars(buf, buf + sizeof buf, value);
        text_.append(" ").append(buf, res.ptr).append("\n");
        return *this;
    }
    std::string text() && { return std::move(text_); }

  private:
    std::string text_;
    std::string_view name_;
};

std::string labelValue(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c == '\\' || c == '"') out += '\\';
        out += c == '\n' ? "\\n" : std::string(1, c);
    }
    return out;
}

}  // namespace

std::string metricsText(const AutomationState& state, const MonitorHealth& health,
                        std::string_view version) {
    Writer w;
    if (state.haveReading) {
        w.family("skarvel_sky_temperature_celsius", "gauge", "Sky temperature of the last reading.")
            .sample(state.sky);
        w.family("skarvel_ambient_temperature_celsius", "gauge",
                 "Ambient temperature of the last reading.")
            .sample(state.ambient);
        w.family("skarvel_sky_difference_celsius", "gauge",
                 "Sky minus ambient temperature of the last reading.")
            .sample(state.difference);
    }
    if (state.haveReading && state.cloudCover)
        w.family(
             "skarvel_cloud_cover_ratio", "gauge",
             "Cloud cover of the last reading, from the learned clear sky (0 clear, 1 overcast).")
            .sample(*state.cloudCover / 100.0f);
    w.family("skarvel_safe", "gauge", "1 when the verdict is safe, 0 when unsafe.")
        .sample(state.verdict.safe ? 1 : 0);
    // As the state document tells it: none before the first cycle or reading, ERROR while the
    // link is down.
    const std::string_view current = !state.anyCycle     ? ""
                                     : !state.linkOpen   ? "ERROR"
                                     : state.haveReading ? std::string_view(state.state)
                                                         : "";
    w.family("skarvel_sky_state", "gauge", "1 for the sky's current state, 0 for the others.");
    for (std::string_view s : {"CLEAR", "CLOUDY", "V.CLOUDY", "ERROR"})
        w.sample(s == current ? 1 : 0, "state=\"" + std::string(s) + "\"");
    if (state.haveReading)
        w.family("skarvel_last_reading_timestamp_seconds", "gauge",
                 "Unix time of the last good reading.")
            .sample(state.lastReadingUtc.time_since_epoch().count());
    w.family("skarvel_cycles_total", "counter", "Monitoring cycles since start.")
        .sample(state.cycles);
    w.family("skarvel_read_failures_total", "counter",
             "Cycles since start whose read of the sensor failed.")
        .sample(state.readFailures);
    w.family("skarvel_messages_total", "counter", "Messages shown since start, repeats included.")
        .sample(health.messages);
    w.family("skarvel_build_info", "gauge", "The monitor's version.")
        .sample(1, "version=\"" + labelValue(version) + "\"");
    w.family("process_start_time_seconds", "gauge",
             "Start time of the process since unix epoch in seconds.")
        .sample(state.startedUtc.time_since_epoch().count());
    if (health.cpuSeconds)
        w.family("process_cpu_seconds_total", "counter",
                 "Total user and system CPU time spent in seconds.")
            .sample(*health.cpuSeconds);
    if (health.residentBytes)
        w.family("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.")
            .sample(*health.residentBytes);
    return std::move(w).text();
}

}  // namespace skarvel
