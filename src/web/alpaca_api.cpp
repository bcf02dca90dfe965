#include "web/alpaca_api.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "automation/automation_files.h"
#include "automation/mqtt_messages.h"
#include "store/value_text.h"
#include "web/assets.h"
#include "web/history.h"

namespace skarvel {

namespace {

constexpr int kNotImplemented = 0x400;
constexpr int kInvalidValue = 0x401;
constexpr int kNotConnected = 0x407;
constexpr int kInvalidOperation = 0x40B;
constexpr int kActionNotImplemented = 0x40C;

constexpr std::string_view kTypes[] = {"safetymonitor", "observingconditions"};
constexpr std::string_view kTypeNames[] = {"SafetyMonitor", "ObservingConditions"};
constexpr std::string_view kDeviceNames[] = {"Skarvel safety monitor", "Skarvel sky temperature"};
constexpr std::string_view kOtherTypes[] = {"camera",  "covercalibrator", "dome",   "filterwheel",
                                            "focuser", "rotator",         "switch", "telescope"};
/// The sensors of the interface this device does not have.
constexpr std::string_view kAbsentSensors[] = {
    "dewpoint",   "humidity", "pressure",      "rainrate", "skybrightness",
    "skyquality", "starfwhm", "winddirection", "windgust", "windspeed"};

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percentDecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
        } else if (s[i] == '%') {
            if (i + 2 >= s.size()) return std::nullopt;
            const int hi = hexDigit(s[i + 1]), lo = hexDigit(s[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += char(hi * 16 + lo);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

using Params = std::vector<std::pair<std::string, std::string>>;

std::optional<Params> parseForm(std::string_view text) {
    Params params;
    while (!text.empty()) {
        const std::size_t amp = text.find('&');
        const std::string_view pair = text.substr(0, amp);
        text.remove_prefix(amp == std::string_view::npos ? text.size() : amp + 1);
        if (pair.empty()) continue;
        const std::size_t eq = pair.find('=');
        auto key = percentDecode(pair.substr(0, eq));
        auto value = percentDecode(eq == std::string_view::npos ? "" : pair.substr(eq + 1));
        if (!key || !value) return std::nullopt;
        params.emplace_back(std::move(*key), std::move(*value));
    }
    return params;
}

std::string jsonString(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += c;
                }
        }
    }
    return out + '"';
}

/// Shortest text that reads back as the same value (-18.25 stays -18.25 from a float), always
/// with a point: clients type the value by its look.
template <class Number>
std::string jsonNumber(Number value) {
    if (!std::isfinite(value)) return "null";  // JSON has no infinity
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    std::string text(buf.data(), res.ptr);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

std::string html(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// from_chars takes no sign for an unsigned number and no '+' for any, so it refuses what the
// interface does.
std::optional<std::uint32_t> parseUint32(std::string_view s) {
    std::uint32_t v = 0;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<bool> parseBool(std::string_view s) {
    if (equalsNoCase(s, "true")) return true;
    if (equalsNoCase(s, "false")) return false;
    return std::nullopt;
}

std::optional<double> parseNumber(std::string_view s) {
    double v = 0;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

AlpacaReply plain(int status, std::string text) {
    return {status, "text/plain; charset=utf-8", std::move(text) + "\n", {}};
}

std::uint64_t fnv1a(std::string_view s, std::uint64_t hash) {
    for (char c : s) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

/// ISO 8601 in UTC. Written with "+00:00": the definitions' DeviceState value is "one of" a
/// string and a date-time ending in "Z", which a "Z" time would both be.
std::string isoUtc(std::chrono::sys_seconds t) {
    const auto day = std::chrono::floor<std::chrono::days>(t);
    const std::chrono::year_month_day ymd{day};
    const std::chrono::hh_mm_ss hms{t - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d+00:00", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(hms.hours().count()),
                  int(hms.minutes().count()), int(hms.seconds().count()));
    return text;
}

/// The SafetyEvents of the SafetyMonitor V4 proposal: a one-line JSON array, "[]" when safe.
std::string safetyEventsJson(const Verdict& verdict) {
    std::string out = "[";
    for (const SafetyEvent& e : verdict.events) {
        std::string time = isoUtc(e.since);
        time.replace(time.size() - 6, 6, "Z");
        if (out.size() > 1) out += ",";
        out += "{\"Source\":\"Skarvel\",\"Name\":" + jsonString(e.name) +
               ",\"Id\":" + jsonString(e.id) + ",\"Type\":" + jsonString(e.type) +
               ",\"Trigger\":" + jsonString(e.trigger) +
               ",\"Description\":" + jsonString(e.description) + ",\"EventTimeUtc\":\"" + time +
               "\"}";
    }
    return out + "]";
}

/// The kinds of value a member returns, for the Value of its error replies.
enum class Kind { Method, Bool, Int, Double, String, Strings, States };

std::string zeroValue(Kind kind) {
    switch (kind) {
        case Kind::Bool:
            return "false";
        case Kind::Int:
            return "0";
        case Kind::Double:
            return "0.0";
        case Kind::String:
            return "\"\"";
        case Kind::Strings:
        case Kind::States:
            return "[]";
        case Kind::Method:
            break;
    }
    return "null";
}

struct Member {
    std::string_view name;
    bool put;
    Kind kind;
    int device;  ///< -1: common to both
};

constexpr Member kMembers[] = {
    {"action", true, Kind::String, -1},
    {"commandblind", true, Kind::Method, -1},
    {"commandbool", true, Kind::Bool, -1},
    {"commandstring", true, Kind::String, -1},
    {"connect", true, Kind::Method, -1},
    {"connected", false, Kind::Bool, -1},
    {"connected", true, Kind::Method, -1},
    {"connecting", false, Kind::Bool, -1},
    {"description", false, Kind::String, -1},
    {"devicestate", false, Kind::States, -1},
    {"disconnect", true, Kind::Method, -1},
    {"driverinfo", false, Kind::String, -1},
    {"driverversion", false, Kind::String, -1},
    {"interfaceversion", false, Kind::Int, -1},
    {"name", false, Kind::String, -1},
    {"supportedactions", false, Kind::Strings, -1},
    {"issafe", false, Kind::Bool, 0},
    {"averageperiod", false, Kind::Double, 1},
    {"averageperiod", true, Kind::Method, 1},
    {"refresh", true, Kind::Method, 1},
    {"sensordescription", false, Kind::String, 1},
    {"timesincelastupdate", false, Kind::Double, 1},
    {"skytemperature", false, Kind::Double, 1},
    {"cloudcover", false, Kind::Double, 1},
    {"temperature", false, Kind::Double, 1},
};

std::string fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

/// What the cloud cover rests on, for the setup page.
std::string skyModelSection(const SkyModel& m) {
    std::string out = "<h2>Clear sky</h2>\n";
    if (!m.learned) return out + "<p>Not learned: " + html(m.why) + ".</p>\n";
    out += "<p>Learned " + dateTimeText(m.learnedAt) + " from " + std::to_string(m.lines) +
           " lines of the log in " + std::to_string(m.bins) + " bins, ambient " +
           fixed(m.lowAmbient, 1) + " to " + fixed(m.highAmbient, 1) +
           " °C; the fit's residual is " + fixed(m.residual, 2) +
           " °C.</p>\n<p>Clear sky = c + k1·A + k3·exp(A/10): c = " + fixed(m.c, 3) +
           ", k1 = " + fixed(m.k1, 4) + ", k3 = " + fixed(m.k3, 4) +
           "</p>\n<table>\n<tr><th>Ambient</th><th>Clear sky</th></tr>\n";
    for (const int ambient : {-10, 0, 10, 20})
        out += "<tr><td>" + std::to_string(ambient) + " °C</td><td>" +
               fixed(m.clearSky(ambient), 1) + " °C</td></tr>\n";
    return out + "</table>\n";
}

}  // namespace

/// One understood device request: its parameters and how to answer it.
struct AlpacaApi::Call {
    Params params;
    bool put = false;
    std::uint32_t clientId = 0;
    std::uint32_t clientTransactionId = 0;
    std::uint32_t serverTransactionId = 0;
    Kind kind = Kind::Method;

    /// GET keys in any casing; PUT names exactly as the interface spells them.
    const std::string* param(std::string_view name) const {
        for (const auto& [key, value] : params)
            if (put ? key == name : equalsNoCase(key, name)) return &value;
        return nullptr;
    }

    AlpacaReply reply(const std::string& valueJson, int error = 0,
                      std::string_view message = {}) const {
        std::string body = "{";
        if (!valueJson.empty()) body += "\"Value\":" + valueJson + ",";
        body += "\"ClientTransactionID\":" + std::to_string(clientTransactionId) +
                ",\"ServerTransactionID\":" + std::to_string(serverTransactionId) +
                ",\"ErrorNumber\":" + std::to_string(error) +
                ",\"ErrorMessage\":" + jsonString(message) + "}";
        return {200, "application/json; charset=utf-8", std::move(body), {}};
    }
    AlpacaReply error(int number, std::string_view message) const {
        return reply(zeroValue(kind), number, message);
    }
};

AlpacaApi::AlpacaApi(AutomationSettings settings, std::string version, std::string settingsFile,
                     std::function<MonitorHealth()> health)
    : settings_(std::move(settings)),
      version_(std::move(version)),
      settingsFile_(std::move(settingsFile)),
      logFolder_(settingsFile_.substr(0, settingsFile_.find_last_of("/\\") + 1)),
      health_(std::move(health)) {}

// Names and kinds only: addresses, tokens and passwords stay in the file.
std::string AlpacaApi::notifyTargets() const {
    std::string names;
    for (const NotifyTarget& t : settings_.notify.targets)
        names += (names.empty() ? "" : ", ") + t.name + " (" + kindName(t.kind) + ")";
    if (!settings_.notify.heartbeatUrl.empty())
        names += names.empty() ? "a heartbeat" : ", a heartbeat";
    return names.empty() ? "(none)" : names;
}

std::string AlpacaApi::deviceUniqueId(std::string_view type) const {
    // A name-based identifier in the form of a GUID: the same installation always gives the same
    // one, and the two devices differ.
    const std::string name = settings_.uniqueId + "/" + std::string(type) + "/0";
    const std::uint64_t a = fnv1a(name, 0xcbf29ce484222325ULL);
    const std::uint64_t b = fnv1a(name, a ^ 0x9e3779b97f4a7c15ULL);
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-5%03x-%04x-%012llx", unsigned(a >> 32),
                  unsigned(a >> 16) & 0xffff, unsigned(a) & 0xfff,
                  0x8000 | (unsigned(b >> 48) & 0x3fff),
                  static_cast<unsigned long long>(b & 0xffffffffffffULL));
    return text;
}

AlpacaReply AlpacaApi::handle(const AlpacaRequest& request, const AutomationState& state,
                              std::chrono::sys_seconds utc) {
    // Never 0, which means "none" to a client.
    if (++serverTransactionId_ == 0) serverTransactionId_ = 1;
    constexpr std::string_view kGetOnly = "Only GET is served here";
    constexpr std::string_view kSetup = "Setup pages are GET requests";
    // The first row that matches answers; a row with a refusal takes GET and HEAD only.
    static constexpr Route kRoutes[] = {
        {"/api/", true, {}, &AlpacaApi::device, {}},
        {"/management/", true, "Management requests are GET requests", &AlpacaApi::management, {}},
        {"/safety.json", false, {}, &AlpacaApi::safetyJson, {}},
        {"/state.json", false, kGetOnly, &AlpacaApi::stateJson, {}},
        {"/metrics", false, kGetOnly, &AlpacaApi::metrics, {}},
        {"/history.json", false, kGetOnly, &AlpacaApi::history, {}},
        {"/nights.json", false, kGetOnly, &AlpacaApi::history, "nights"},
        {"/setup", false, kSetup, &AlpacaApi::setup, {}},
        {"/setup/", true, kSetup, &AlpacaApi::setup, {}},
        {"/", false, kGetOnly, &AlpacaApi::asset, "dashboard.html"},
        {"/assets/", true, kGetOnly, &AlpacaApi::asset, {}},
        {"/skymodel.json", false, kGetOnly, &AlpacaApi::skyModel, {}},
        {"/CloudStatus.html", false, kGetOnly, &AlpacaApi::webFile, "CloudStatus.html"},
        {"/history.bmp", false, kGetOnly, &AlpacaApi::webFile, "history.bmp"},
        {"/month.bmp", false, kGetOnly, &AlpacaApi::webFile, "month.bmp"},
        {"/year.bmp", false, kGetOnly, &AlpacaApi::webFile, "year.bmp"},
    };
    const std::string_view path = request.path;
    for (const Route& route : kRoutes) {
        if (route.prefix ? !path.starts_with(route.path) : path != route.path) continue;
        if (!route.refusal.empty() && request.method != "GET" && request.method != "HEAD")
            return plain(405, std::string(route.refusal));
        return (this->*route.serve)({request, state, utc}, route.arg);
    }
    return plain(404, "Not found");
}

AlpacaReply AlpacaApi::safetyJson(const Context& c, std::string_view) {
    // INDI's proxy parses any body as JSON and dies on anything else, so even a refusal is the
    // verdict's JSON.
    const bool get = c.request.method == "GET" || c.request.method == "HEAD";
    return {get ? 200 : 405,
            "application/json",
            safetyJsonText(c.state.verdict, c.state.publishedUtc),
            {}};
}

std::string AlpacaApi::stateDocument(const AutomationState& state) const {
    // Stamped with the verdict's time, so a reader can tell a stale one.
    return mqttState(settings_, state, state.publishedUtc).payload;
}

AlpacaReply AlpacaApi::stateJson(const Context& c, std::string_view) {
    return {200, "application/json", stateDocument(c.state), {}};
}

AlpacaReply AlpacaApi::metrics(const Context& c, std::string_view) {
    return {200, std::string(kMetricsContentType), metricsText(c.state, health_(), version_), {}};
}

AlpacaReply AlpacaApi::history(const Context& c, std::string_view nights) {
    const HistoryRules rules{c.state.cloudyThreshold, c.state.vCloudyThreshold, settings_,
                             c.state.skyModel};
    if (!nights.empty()) {
        // The night under way is the last: its evening is the date twelve hours ago.
        const auto last =
            std::chrono::floor<std::chrono::days>(c.state.updatedAt - std::chrono::hours(12));
        const DayRange evenings{last - std::chrono::days(kNights - 1), last};
        const auto lines =
            readHistory(logFolder_, {evenings.from, last + std::chrono::days(1)}, rules);
        return {200, "application/json", nightsJson(summarizeNights(lines, evenings)), {}};
    }
    const auto params = parseForm(c.request.query);
    std::string from, to;
    for (const auto& [key, value] : params ? *params : Params{}) {
        if (key == "from") from = value;
        if (key == "to") to = value;
    }
    const auto range = parseDayRange(from, to);
    if (const auto* why = std::get_if<std::string>(&range)) return plain(400, *why);
    const DayRange days = std::get<DayRange>(range);
    return {200, "application/json", historyJson(readHistory(logFolder_, days, rules), days), {}};
}

AlpacaReply AlpacaApi::asset(const Context& c, std::string_view name) {
    if (name.empty()) name = c.request.path.substr(8);
    const auto bytes = embeddedAsset(name);
    if (!bytes || (name == "dashboard.html" && c.request.path != "/"))
        return plain(404, "Not found");
    const std::string_view type = name.ends_with(".html")  ? "text/html; charset=utf-8"
                                  : name.ends_with(".css") ? "text/css; charset=utf-8"
                                                           : "text/javascript; charset=utf-8";
    AlpacaReply reply{200, std::string(type), std::string(*bytes), {}};
    // The library changes only with the program; the page's own files are asked for again.
    reply.cacheControl = name.starts_with("dygraph") ? "public, max-age=31536000" : "no-cache";
    return reply;
}

AlpacaReply AlpacaApi::skyModel(const Context& c, std::string_view) {
    const SkyModel& m = c.state.skyModel;
    // The envelope takes a year of log to make: once per learning.
    if (m.learned && envelopeOf_ != m.learnedAt) {
        envelope_.clear();
        for (const ClearSkyBin& bin : clearSkyEnvelope(readSkyLines(logFolder_, m.learnedAt)))
            envelope_ += (envelope_.empty() ? "[" : ",[") + jsonNumber(bin.ambient) + "," +
                         jsonNumber(bin.sky) + "," + std::to_string(bin.lines) + "]";
        envelopeOf_ = m.learnedAt;
    }
    return {200,
            "application/json",
            "{\"learned\":" + std::string(m.learned ? "true" : "false") +
                ",\"why\":" + jsonString(m.learned ? "" : m.why) + ",\"c\":" + jsonNumber(m.c) +
                ",\"k1\":" + jsonNumber(m.k1) + ",\"k3\":" + jsonNumber(m.k3) + ",\"lowAmbient\":" +
                jsonNumber(m.lowAmbient) + ",\"highAmbient\":" + jsonNumber(m.highAmbient) +
                ",\"residual\":" + jsonNumber(m.residual) + ",\"lines\":" +
                std::to_string(m.lines) + ",\"envelope\":[" + (m.learned ? envelope_ : "") + "]}",
            {}};
}

AlpacaReply AlpacaApi::setup(const Context& c, std::string_view) {
    const std::string_view path = c.request.path;
    if (path == "/setup" || path == "/setup/") return setupPage({}, c.state);
    for (std::string_view type : kTypes)
        if (path == "/setup/v1/" + std::string(type) + "/0/setup") return setupPage(type, c.state);
    return {403,
            "text/html; charset=utf-8",
            "<!DOCTYPE html><html><body><p>No such device here. See <a href=\"/setup\">"
            "/setup</a>.</p></body></html>\n",
            {}};
}

AlpacaReply AlpacaApi::webFile(const Context&, std::string_view file) {
    return {200,
            file.ends_with(".bmp") ? "image/bmp" : "text/html; charset=utf-8",
            {},
            std::string(file)};
}

AlpacaReply AlpacaApi::management(const Context& c, std::string_view) {
    const std::string_view member = c.request.path.substr(12);
    const auto params = parseForm(c.request.query);
    if (!params) return plain(400, "Malformed query string");
    std::uint32_t clientTransactionId = 0;
    for (const auto& [key, value] : *params) {
        if (!equalsNoCase(key, "ClientTransactionID") && !equalsNoCase(key, "ClientID")) continue;
        const auto n = parseUint32(value);
        if (!n) return plain(400, key + " must be a whole number from 0 to 4294967295");
        if (equalsNoCase(key, "ClientTransactionID")) clientTransactionId = *n;
    }
    std::string value;
    if (member == "apiversions") {
        value = "[1]";
    } else if (member == "v1/description") {
        value =
            "{\"ServerName\":\"Skarvel\",\"Manufacturer\":\"Skarvel\",\"ManufacturerVersion\":" +
            jsonString(version_) + ",\"Location\":\"\"}";
    } else if (member == "v1/configureddevices") {
        value = "[";
        for (std::size_t i = 0; i < 2; ++i) {
            if (i) value += ",";
            value += "{\"DeviceName\":" + jsonString(kDeviceNames[i]) +
                     ",\"DeviceType\":" + jsonString(kTypeNames[i]) +
                     ",\"DeviceNumber\":0,\"UniqueID\":" + jsonString(deviceUniqueId(kTypes[i])) +
                     "}";
        }
        value += "]";
    } else if (member.starts_with("v1/")) {
        return plain(400, "Unknown management request: " + std::string(member));
    } else {
        return plain(400, "Unsupported management API version");
    }
    return {200,
            "application/json; charset=utf-8",
            "{\"Value\":" + value +
                ",\"ClientTransactionID\":" + std::to_string(clientTransactionId) +
                ",\"ServerTransactionID\":" + std::to_string(serverTransactionId_) + "}",
            {}};
}

AlpacaReply AlpacaApi::device(const Context& c, std::string_view) {
    const AlpacaRequest& request = c.request;
    const AutomationState& state = c.state;
    // Until the clear sky is learned, the cover is a sensor this device does not have: its
    // value, description and age all answer NotImplemented, as a checker wants a sensor's three
    // answers to agree. The reason says which it is.
    const auto absent = [&](std::string_view sensor) {
        return std::find(std::begin(kAbsentSensors), std::end(kAbsentSensors), sensor) !=
                   std::end(kAbsentSensors) ||
               (sensor == "cloudcover" && !(settings_.learnSkyModel && state.skyModel.learned));
    };
    const auto absentError = [&](const Call& call, std::string_view sensor) {
        return call.error(kNotImplemented, sensor == "cloudcover" && settings_.learnSkyModel
                                               ? "cloud cover: " + state.skyModel.why
                                               : "This device has no such sensor");
    };
    // /api/v1/{type}/{number}/{member}
    std::vector<std::string_view> parts;
    for (std::string_view rest = request.path.substr(5);;) {
        const std::size_t slash = rest.find('/');
        parts.push_back(rest.substr(0, slash));
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    if (parts.size() != 4)
        return plain(400, "Expected /api/v1/{device_type}/{device_number}/{member}");
    if (parts[0] != "v1")
        return plain(400, "Unsupported Alpaca API version: " + std::string(parts[0]));
    const auto type = std::find(std::begin(kTypes), std::end(kTypes), parts[1]);
    if (type == std::end(kTypes)) {
        const bool known = std::find(std::begin(kOtherTypes), std::end(kOtherTypes), parts[1]) !=
                           std::end(kOtherTypes);
        return plain(400, known ? "No " + std::string(parts[1]) + " device here"
                                : "Unknown device type: " + std::string(parts[1]));
    }
    const int dev = int(type - std::begin(kTypes));
    if (parts[2] != "0")
        return plain(400, "No " + std::string(parts[1]) + " number " + std::string(parts[2]) +
                              " here; the only one is 0");

    Call call;
    call.put = request.method == "PUT";
    if (!call.put && request.method != "GET") return plain(405, "Alpaca requests are GET or PUT");
    const std::string_view memberName = parts[3];
    const Member* member = nullptr;
    bool otherVerb = false;
    for (const Member& m : kMembers) {
        if (m.name != memberName || (m.device >= 0 && m.device != dev)) continue;
        if (m.put == call.put)
            member = &m;
        else
            otherVerb = true;
    }
    const bool absentSensor = dev == 1 && !call.put && absent(memberName);
    if (!member && !absentSensor) {
        if (otherVerb) return plain(405, std::string(memberName) + " takes the other verb");
        return plain(400, "Unknown member: " + std::string(memberName));
    }
    call.kind = member ? member->kind : Kind::Double;

    auto params = parseForm(call.put ? request.body : request.query);
    if (!params) return plain(400, "Malformed parameters");
    call.params = std::move(*params);
    for (const char* name : {"ClientID", "ClientTransactionID"}) {
        const std::string* text = call.param(name);
        if (!text) continue;
        const auto n = parseUint32(*text);
        if (!n)
            return plain(400, std::string(name) + " must be a whole number from 0 to 4294967295");
        (name[6] == 'T' ? call.clientTransactionId : call.clientId) = *n;
    }
    call.serverTransactionId = serverTransactionId_;
    if (absentSensor) return absentError(call, memberName);

    const std::string_view m = memberName;
    auto& clients = connected_[dev];
    // Any request of a connected client makes it the most recently heard from.
    const auto known = std::find(clients.begin(), clients.end(), call.clientId);
    const bool connected = known != clients.end();
    if (connected) std::rotate(known, known + 1, clients.end());
    const auto connect = [&](bool on) {
        if (connected) clients.pop_back();
        if (!on) return;
        if (clients.size() == kMaxClients) clients.erase(clients.begin());
        clients.push_back(call.clientId);
    };

    // Common members.
    if (m == "connected" && call.put) {
        const std::string* text = call.param("Connected");
        const auto on = text ? parseBool(*text) : std::nullopt;
        if (!on) return plain(400, "Connected must be true or false");
        connect(*on);
        return call.reply({});
    }
    if (m == "connect" || m == "disconnect") {
        connect(m == "connect");
        return call.reply({});
    }
    if (m == "connected") return call.reply(connected ? "true" : "false");
    if (m == "connecting") return call.reply("false");
    if (m == "description")
        return call.reply(jsonString(dev == 0 ? "Safe or unsafe for observing, from the Skarvel "
                                                "sky temperature monitor"
                                              : "Sky and ambient temperature of the Skarvel "
                                                "infrared cloud sensor"));
    if (m == "driverinfo")
        return call.reply(jsonString("Skarvel " + version_ + ", infrared cloud sensor monitor"));
    if (m == "driverversion") return call.reply(jsonString(version_));
    if (m == "interfaceversion") return call.reply(dev == 0 ? "3" : "2");
    if (m == "name") return call.reply(jsonString(kDeviceNames[dev]));
    if (m == "supportedactions") return call.reply(dev == 0 ? "[\"SafetyEvents\"]" : "[]");
    // The Alpaca names, or the ones the SafetyMonitor V4 proposal's notes use.
    const std::string* action = call.param("Action");
    if (!action) action = call.param("ActionName");
    const bool safetyEvents =
        m == "action" && action && dev == 0 && equalsNoCase(*action, "SafetyEvents");
    if (m == "action") {
        if (!action || (!call.param("Parameters") && !call.param("ActionParameters")))
            return plain(400, "Action and Parameters are required");
        if (!safetyEvents)
            return call.error(kActionNotImplemented, "No action \"" + *action + "\" here");
    }
    if (m.starts_with("command")) {
        const std::string* raw = call.param("Raw");
        if (!call.param("Command") || !raw || !parseBool(*raw))
            return plain(400, "Command and Raw (true or false) are required");
        return call.error(kNotImplemented, "This device takes no commands");
    }

    // Sensor names of SensorDescription and TimeSinceLastUpdate.
    enum class Sensor { Latest, Sky, Ambient, Cover, Absent, Unknown };
    Sensor sensor = Sensor::Unknown;
    if (m == "sensordescription" || m == "timesincelastupdate") {
        const std::string* name = call.param("SensorName");
        if (!name) return plain(400, "SensorName is required");
        const std::string l = lower(*name);
        if (l.empty())
            sensor = Sensor::Latest;
        else if (l == "skytemperature")
            sensor = Sensor::Sky;
        else if (l == "temperature")
            sensor = Sensor::Ambient;
        else if (absent(l))
            sensor = Sensor::Absent;
        else if (l == "cloudcover")
            sensor = Sensor::Cover;
        if (sensor == Sensor::Unknown || (sensor == Sensor::Latest && m == "sensordescription"))
            return call.error(kInvalidValue, "No sensor is called \"" + *name + "\"");
        if (sensor == Sensor::Absent) return absentError(call, l);
    }
    double averagePeriod = 0;
    if (m == "averageperiod" && call.put) {
        const std::string* text = call.param("AveragePeriod");
        const auto hours = text ? parseNumber(*text) : std::nullopt;
        if (!hours) return plain(400, "AveragePeriod must be a number of hours");
        averagePeriod = *hours;
    }

    if (!connected) return call.error(kNotConnected, "Not connected");
    if (m == "issafe") return call.reply(state.verdict.safe ? "true" : "false");
    if (safetyEvents) return call.reply(jsonString(safetyEventsJson(state.verdict)));
    if (m == "devicestate") {
        std::string list = "[";
        if (dev == 0) {
            list += std::string("{\"Name\":\"IsSafe\",\"Value\":") +
                    (state.verdict.safe ? "true" : "false") + "},";
        } else if (state.haveReading) {
            list += "{\"Name\":\"SkyTemperature\",\"Value\":" + jsonNumber(state.sky) +
                    "},{\"Name\":\"Temperature\",\"Value\":" + jsonNumber(state.ambient) + "},";
            if (state.cloudCover)
                list +=
                    "{\"Name\":\"CloudCover\",\"Value\":" + jsonNumber(*state.cloudCover) + "},";
        }
        return call.reply(list + "{\"Name\":\"TimeStamp\",\"Value\":\"" + isoUtc(c.utc) + "\"}]");
    }
    if (m == "averageperiod" && !call.put) return call.reply("0.0");
    if (m == "averageperiod") {
        if (averagePeriod == 0) return call.reply({});
        return call.error(kInvalidValue, "Only 0 (instantaneous values) is available");
    }
    if (m == "refresh") return call.reply({});  // every cycle refreshes already
    if (m == "sensordescription")
        return call.reply(jsonString(
            sensor == Sensor::Sky ? "Infrared thermometer looking at the zenith, degrees Celsius"
            : sensor == Sensor::Cover
                ? "Where the infrared sky lies between the clear sky learned from the log (0) and "
                  "the air (100), per cent"
                : "Ambient thermometer of the cloud sensor, degrees Celsius"));

    const bool cover = m == "cloudcover" || sensor == Sensor::Cover;
    if (!state.haveReading) return call.error(kInvalidOperation, "No reading from the sensor yet");
    if (cover && !state.cloudCover)
        return call.error(kInvalidOperation, "cloud cover: the air is within " +
                                                 std::to_string(int(kMinCoverRange)) +
                                                 " °C of the clear sky, too close to tell");
    if (m == "timesincelastupdate")
        return call.reply(
            jsonNumber(double(std::max<std::int64_t>(0, (c.utc - state.lastReadingUtc).count()))));
    if (m == "skytemperature") return call.reply(jsonNumber(state.sky));
    if (m == "cloudcover") return call.reply(jsonNumber(*state.cloudCover));
    return call.reply(jsonNumber(state.ambient));  // temperature
}

AlpacaReply AlpacaApi::setupPage(std::string_view device, const AutomationState& state) const {
    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Skarvel Alpaca "
        "setup</title></head>\n<body>\n<h1>Skarvel " +
        html(version_) +
        "</h1>\n<p><a href=\"/\">The dashboard</a>: the sky now, the nights, "
        "the learned clear sky.</p>\n";
    if (device.empty()) {
        page +=
            "<p>Infrared cloud sensor monitor by Skarvel, serving ASCOM Alpaca "
            "devices:</p>\n<ul>\n";
        for (std::size_t i = 0; i < 2; ++i)
            page += "<li><a href=\"/setup/v1/" + std::string(kTypes[i]) + "/0/setup\">" +
                    std::string(kTypeNames[i]) + " 0</a>: " + std::string(kDeviceNames[i]) +
                    "</li>\n";
        page += "</ul>\n";
    } else {
        const int i = device == kTypes[0] ? 0 : 1;
        page += "<h2>" + std::string(kTypeNames[i]) + " 0: " + std::string(kDeviceNames[i]) +
                "</h2>\n<p>UniqueID " + deviceUniqueId(device) + "</p>\n";
    }
    page += "<p>Now: " + std::string(state.verdict.safe ? "safe" : "unsafe") + " (" +
            html(state.verdict.reason) + ")</p>\n<table>\n";
    const std::pair<const char*, std::string> rows[] = {
        {"unsafeFrom", settings_.unsafeFrom},
        {"staleSeconds", std::to_string(settings_.staleSeconds)},
        {"safeDelayMinutes", std::to_string(settings_.safeDelayMinutes)},
        {"alpacaPort", std::to_string(settings_.alpacaPort)},
        {"alpacaAddress",
         settings_.alpacaAddress.empty() ? "(every interface)" : settings_.alpacaAddress},
        {"discoveryPort", std::to_string(settings_.discoveryPort)},
        {"uniqueId", settings_.uniqueId},
        {"skyModel", settings_.learnSkyModel ? "learn" : "off"},
        {"notify", notifyTargets()}};
    for (const auto& [key, value] : rows)
        page += "<tr><td>" + std::string(key) + "</td><td>" + html(value) + "</td></tr>\n";
    page += "</table>\n<p>These settings are not changed here. Edit <code>" + html(settingsFile_) +
            "</code> (<code>key=value</code> lines) and restart Skarvel.</p>\n" +
            skyModelSection(state.skyModel) + "</body></html>\n";
    return {200, "text/html; charset=utf-8", std::move(page), {}};
}

}  // namespace skarvel
