#include "options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel::sim {

namespace {

struct Fail {
    std::string message;
};

double number(std::string_view option, std::string_view text, double low, double high) {
    double value = 0;
    try {
        value = parseDouble(text);
    } catch (const VbError&) {
        throw Fail{std::string(option) + " wants a number, not \"" + std::string(text) + "\""};
    }
    if (value < low || value > high) {
        throw Fail{std::string(option) + " must lie between " + singleText(float(low)) + " and " +
                   singleText(float(high))};
    }
    return value;
}

template <typename Int>
Int whole(std::string_view option, std::string_view text, Int low, Int high) {
    Int value{};
    const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || value < low ||
        value > high) {
        throw Fail{std::string(option) + " wants a whole number from " + std::to_string(low) +
                   " to " + std::to_string(high) + ", not \"" + std::string(text) + "\""};
    }
    return value;
}

LocalTime moment(std::string_view option, std::string_view text) {
    // Exactly "YYYY-MM-DD HH:MM".
    static constexpr std::string_view shape = "dddd-dd-dd dd:dd";
    bool ok = text.size() == shape.size();
    for (std::size_t i = 0; ok && i < shape.size(); ++i) {
        ok = shape[i] == 'd' ? (text[i] >= '0' && text[i] <= '9') : text[i] == shape[i];
    }
    if (ok) {
        auto field = [&](std::size_t at, std::size_t n) {
            int v = 0;
            std::from_chars(text.data() + at, text.data() + at + n, v);
            return v;
        };
        try {
            return makeTime(field(0, 4), field(5, 2), field(8, 2), field(11, 2), field(14, 2));
        } catch (const VbError&) {
        }
    }
    throw Fail{std::string(option) + " wants a date and time like \"2024-03-05 21:30\", not \"" +
               std::string(text) + "\""};
}

const std::set<std::string_view> kLiveOnly = {"--link",         "--interval",  "--sky",
                                              "--ambient",      "--bad-every", "--silent",
                                              "--unplug-after", "--count"};
const std::set<std::string_view> kHistoryOnly = {"--history", "--folder", "--force"};

Options parse(std::span<const std::string_view> args) {
    Options o;
    std::set<std::string_view> seen;

    using Setter = std::function<void(std::string_view option, std::string_view value)>;
    const std::map<std::string_view, Setter> valued = {
        {"--link", [&](auto, auto v) { o.link = v; }},
        {"--interval", [&](auto k, auto v) { o.interval = number(k, v, 0.001, 3600); }},
        {"--sky", [&](auto k, auto v) { o.sky = number(k, v, -200, 200); }},
        {"--ambient", [&](auto k, auto v) { o.ambient = number(k, v, -200, 200); }},
        {"--bad-every", [&](auto k, auto v) { o.badEvery = whole(k, v, 1, 1000000); }},
        {"--unplug-after", [&](auto k, auto v) { o.unplugAfter = number(k, v, 0, 86400 * 365); }},
        {"--count", [&](auto k, auto v) { o.count = whole<std::int64_t>(k, v, 1, INT64_MAX); }},
        {"--seed", [&](auto k, auto v) { o.seed = whole<std::uint64_t>(k, v, 0, UINT64_MAX); }},
        {"--history", [&](auto k, auto v) { o.historyDays = whole(k, v, 0, 3660); }},
        {"--folder", [&](auto, auto v) { o.folder = v; }},
        {"--now", [&](auto k, auto v) { o.now = moment(k, v); }},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view option = args[i];
        std::optional<std::string_view> value;
        if (const auto eq = option.find('='); option.starts_with("--") && eq != option.npos) {
            value = option.substr(eq + 1);
            option = option.substr(0, eq);
        }
        if (option == "--help" || option == "-h") {
            o.mode = Mode::kHelp;
            return o;
        }
        const bool flag = option == "--force" || option == "--silent";
        const auto setter = valued.find(option);
        if (!flag && setter == valued.end()) {
            throw Fail{"unknown option \"" + std::string(args[i]) + "\""};
        }
        if (!seen.insert(option).second) throw Fail{std::string(option) + " is given twice"};
        if (flag) {
            if (value) throw Fail{std::string(option) + " takes no value"};
            (option == "--force" ? o.force : o.silent) = true;
            continue;
        }
        if (!value) {
            // "--link --count 3" is a forgotten value, not a link named "--count".
            if (i + 1 >= args.size() || args[i + 1].starts_with("--")) {
                throw Fail{std::string(option) + " needs a value"};
            }
            value = args[++i];
        }
        if (value->empty()) throw Fail{std::string(option) + " needs a value"};
        setter->second(option, *value);
    }

    const bool history = seen.count("--history") > 0;
    const auto& wrong = history ? kLiveOnly : kHistoryOnly;
    for (std::string_view option : seen) {
        if (wrong.count(option)) {
            throw Fail{history ? std::string(option) + " does not go with --history"
                               : std::string(option) + " needs --history"};
        }
    }
    if (history) {
        if (o.folder.empty()) throw Fail{"--history needs --folder DIR"};
        o.mode = Mode::kHistory;
        return o;
    }
    if (o.link.empty()) throw Fail{"say where to link the port: --link PATH (or --help)"};
    if (o.sky.has_value() != o.ambient.has_value()) {
        throw Fail{"--sky and --ambient go together"};
    }
    if (o.silent && (o.badEvery || o.count)) {
        throw Fail{"--silent sends nothing, so --bad-every and --count do not go with it"};
    }
    return o;
}

}  // namespace

ParsedOptions parseOptions(std::span<const std::string_view> args) {
    try {
        return {parse(args), {}};
    } catch (const Fail& f) {
        return {{}, f.message};
    }
}

std::string helpText() {
    return R"(skarvel-sensor-sim: plays an infrared sky sensor on a pseudo-terminal, or writes
synthetic history for the monitor.

Live sensor:
  skarvel-sensor-sim --link PATH [options]

  Opens a pseudo-terminal (raw, 9600 baud, 8N1), links PATH to its device, prints one line
  "skarvel-sensor-sim: DEVICE linked as PATH" and sends a sensor line at a steady pace, such
  as "S-12.34C:A+21.56C:" followed by CR LF (sky, then ambient temperature). It plays the
  weather that --history writes, for the same seed and local time, so its lines carry on
  where the history ends: seasonal, warmer by day, clear and cloudy spells. An old link at
  PATH is replaced when it dangles or points to a pseudo-terminal; a file, a folder or a link
  to another device is left alone and the simulator stops. Ctrl-C or SIGTERM removes the link
  and ends the simulator. Lines that nobody reads pile up in the port's buffer; once it is
  full, new lines are dropped.

  --link PATH          where to put the link; the monitor's port 1 is "com1" in its folder.
                       Example: --link /tmp/demo/com1
  --interval SECONDS   time between lines, 0.001 to 3600 (default 0.5). Example: --interval 2
  --sky T --ambient T  fixed temperatures instead of the weather, in C.
                       Example: --sky -28.5 --ambient 12
  --seed N             the weather to play, as a whole number (default 1). Example: --seed 7
  --now "YYYY-MM-DD HH:MM"
                       the local time of the first line (default: the clock); the weather
                       runs on from there. Example: --now "2024-12-07 22:40"
  --bad-every N        make every Nth line malformed, taking in turn: a line starting with "$",
                       an "E" after the sky field's lead ("SE..."), an "E" leading the ambient
                       field, a line without CR LF, and garbage bytes (some of 128 and above)
                       ended by CR LF. Example: --bad-every 4
  --silent             open the port but never send, like a sensor with no power.
  --unplug-after SECONDS
                       after that long, close the port abruptly (the reader's next read fails,
                       like a USB sensor pulled out), leave the link dangling and end.
                       Example: --unplug-after 30
  --count N            end after N lines (sent or dropped), once the reader has taken them
                       (waiting at most 2 s). Example: --count 3

  Example: skarvel-sensor-sim --link /tmp/demo/com1 --bad-every 5 --seed 3

History:
  skarvel-sensor-sim --history DAYS --folder DIR [--seed N] [--now "YYYY-MM-DD HH:MM"]
                     [--force]

  Writes the monitor's day files (2024_3_5.csv and so on) into DIR for DAYS whole days before
  today and for today up to now: one line per quarter hour, stamped a few seconds after the
  quarter like the monitor's own lines, with clear and cloudy nights, passing clouds, warmer
  days and a seasonal temperature; the same seed gives the same lines. DIR is created when
  missing. When a day file it would write is already there (it may hold real logs), it
  names it, writes nothing and ends with status 1.

  --history DAYS       whole days before today, 0 to 3660. Example: --history 320
  --folder DIR         the monitor's program folder. Example: --folder /tmp/demo
  --seed N             the weather to write (default 1).
  --now "YYYY-MM-DD HH:MM"
                       pretend it is that local time. Example: --now "2024-12-07 22:40"
  --force              replace day files that are already there, whole, lines the monitor
                       logged in them included.

  Example: skarvel-sensor-sim --history 30 --folder /tmp/demo --now "2024-12-07 22:40"

Options also take the form --option=VALUE. Exit status: 0 done, 1 failure, 2 bad options.
)";
}

}  // namespace skarvel::sim
