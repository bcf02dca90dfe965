#include "indi/weather_report.h"

#include <cstdio>

#include "libindi/json.h"

namespace skarvel::indi {

namespace {

/// "2026-12-07T22:15:03Z", as the monitor writes it.
std::optional<std::chrono::sys_seconds> parseUtc(const std::string& text) {
    int y, mo, d, h, mi, s;
    char z = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &z) != 7 ||
        z != 'Z')
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(y), std::chrono::month(unsigned(mo)),
                                           std::chrono::day(unsigned(d))};
    if (!date.ok()) return std::nullopt;
    return std::chrono::sys_days(date) + std::chrono::hours(h) + std::chrono::minutes(mi) +
           std::chrono::seconds(s);
}

WeatherReport unsafe(std::string reason) {
    WeatherReport report;
    report.reason = std::move(reason);
    return report;
}

std::optional<double> number(const nlohmann::json& doc, const char* key) {
    const auto it = doc.find(key);
    if (it == doc.end() || !it->is_number()) return std::nullopt;
    return it->get<double>();
}

}  // namespace

std::optional<StateAddress> stateAddress(const std::string& url) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0) return std::nullopt;
    const std::size_t slash = url.find('/', scheme.size());
    const std::string authority = url.substr(scheme.size(), slash - scheme.size());
    std::string path = slash == std::string::npos ? "" : url.substr(slash);
    while (!path.empty() && path.back() == '/') path.pop_back();
    StateAddress address{{}, "80", path + "/state.json"};
    std::size_t colon = authority.rfind(':');
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) return std::nullopt;
        address.host = authority.substr(1, close - 1);
        colon = close + 1 < authority.size() ? close + 1 : std::string::npos;
        if (colon != std::string::npos && authority[colon] != ':') return std::nullopt;
    } else {
        address.host = authority.substr(0, colon);
    }
    if (colon != std::string::npos) {
        address.port = authority.substr(colon + 1);
        if (address.port.empty() || address.port.size() > 5 ||
            address.port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(address.port) == 0 || std::stoi(address.port) > 65535)
            return std::nullopt;
    }
    if (address.host.empty() || address.host.find_first_of(" @?#") != std::string::npos ||
        path.find_first_of(" ?#") != std::string::npos)
        return std::nullopt;
    return address;
}

WeatherReport weatherReport(const std::string& response, const std::string& error,
                            std::chrono::sys_seconds now, int staleSeconds) {
    if (response.empty()) return unsafe("NO ANSWER: " + (error.empty() ? "empty" : error));
    const std::size_t end = response.find("\r\n");
    const std::string status = response.substr(0, end);
    const bool ok = status.starts_with("HTTP/1.") && status.size() >= 12 &&
                    status.compare(8, 4, " 200") == 0 && (status.size() == 12 || status[12] == ' ');
    if (!ok) return unsafe("BAD ANSWER: " + status.substr(0, 80));
    const std::size_t body = response.find("\r\n\r\n");
    const nlohmann::json doc = nlohmann::json::parse(
        body == std::string::npos ? std::string() : response.substr(body + 4), nullptr, false);
    const auto field = [&](const char* key) { return doc.is_object() ? doc.find(key) : doc.end(); };
    const auto time = field("time"), safe = field("safe"), reason = field("reason");
    const auto at =
        time != doc.end() && time->is_string() ? parseUtc(time->get<std::string>()) : std::nullopt;
    if (!at || safe == doc.end() || !safe->is_boolean() || reason == doc.end() ||
        !reason->is_string())
        return unsafe("BAD ANSWER: not the monitor's state document");
    WeatherReport report{safe->get<bool>(), reason->get<std::string>(), number(doc, "sky"),
                         number(doc, "ambient"), number(doc, "cloudCover")};
    // A monitor whose clock runs ahead cannot be judged by this; it answered, which says it runs.
    if (const auto age = (now - *at).count(); age > staleSeconds) {
        report.safe = false;
        report.reason = "STALE: the monitor's state is " + std::to_string(age) + " s old";
    }
    return report;
}

}  // namespace skarvel::indi
