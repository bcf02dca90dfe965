#include "automation/automation_ini.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <random>

#include "platform/desktop_services.h"
#include "store/file_io.h"
#include "store/vb_error.h"

namespace skarvel {

namespace {

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = char(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

/// An IPv4 dotted quad, or text that can only be an IPv6 address.
bool isAddress(std::string_view text) {
    if (text.find(':') != text.npos) {
        return std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit((unsigned char)c) || c == ':' || c == '.';
        });
    }
    int parts = 0;
    for (std::size_t start = 0; start <= text.size(); ++parts) {
        const std::size_t dot = std::min(text.find('.', start), text.size());
        int byte = 0;
        const std::string_view part = text.substr(start, dot - start);
        if (part.empty() || part.size() > 3 || !isWhole(part, 0, 255, byte)) return false;
        start = dot + 1;
    }
    return parts == 4;
}

bool isId(std::string_view text) {
    return !text.empty() && text.size() <= 64 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum((unsigned char)c) ||
               std::string_view("-_.{}").find(c) != std::string_view::npos;
    });
}

/// A host name or an IP address, as a broker's may be given.
bool isHost(std::string_view text) {
    return !text.empty() && text.size() <= 253 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum((unsigned char)c) ||
               std::string_view("-.:_").find(c) != std::string_view::npos;
    });
}

/// A topic to publish under: no wildcards, no empty levels at its ends, no "$" topics.
bool isTopic(std::string_view text) {
    return !text.empty() && text.size() <= 128 && text.front() != '/' && text.back() != '/' &&
           text.front() != '$' && std::all_of(text.begin(), text.end(), [](char c) {
               return (unsigned char)c > ' ' && c != '+' && c != '#' && c != 0x7f;
           });
}

struct Key {
    const char* name;
    const char* rule;  // what a good value is, for the problem's text
    /// Takes a good value into the settings; false for a bad one.
    std::function<bool(std::string_view, AutomationSettings&)> take;
    std::function<std::string(const AutomationSettings&)> text;
};

std::function<bool(std::string_view, AutomationSettings&)> whole(int AutomationSettings::*field,
                                                                 int low, int high) {
    return
        [=](std::string_view v, AutomationSettings& s) { return isWhole(v, low, high, s.*field); };
}

std::function<std::string(const AutomationSettings&)> number(int AutomationSettings::*field) {
    return [=](const AutomationSettings& s) { return std::to_string(s.*field); };
}

Key flag(const char* name, bool AutomationSettings::*field) {
    return {name, "0 or 1",
            [=](std::string_view v, AutomationSettings& s) {
                if (v != "0" && v != "1") return false;
                s.*field = v == "1";
                return true;
            },
            [=](const AutomationSettings& s) { return std::string(s.*field ? "1" : "0"); }};
}

/// Any text is good, `accept` tells otherwise.
Key text(const char* name, const char* rule, std::string AutomationSettings::*field,
         bool (*accept)(std::string_view) = nullptr) {
    return {name, rule,
            [=](std::string_view v, AutomationSettings& s) {
                if (accept && !accept(v)) return false;
                s.*field = v;
                return true;
            },
            [=](const AutomationSettings& s) { return s.*field; }};
}

bool isHostOrEmpty(std::string_view v) {
    return v.empty() || isHost(v);
}

constexpr std::size_t uniqueIdKey = 6, keyCount = 16;

const std::array<Key, keyCount>& keys() {
    static const std::array<Key, keyCount> all = {{
        {"unsafeFrom", "CLOUDY, V.CLOUDY or a cloud cover from 1% to 100%",
         [](std::string_view v, AutomationSettings& s) {
             const std::string u = upper(v);
             int percent = 0;
             if (u.ends_with('%') && isWhole(v.substr(0, v.size() - 1), 1, 100, percent)) {
                 s.unsafeFrom = std::to_string(percent) + "%";
                 return true;
             }
             if (u != "CLOUDY" && u != "V.CLOUDY") return false;
             s.unsafeFrom = u;
             return true;
         },
         [](const AutomationSettings& s) { return s.unsafeFrom; }},
        {"staleSeconds", "a whole number from 0 to 86400",
         whole(&AutomationSettings::staleSeconds, 0, 86400),
         number(&AutomationSettings::staleSeconds)},
        {"safeDelayMinutes", "a whole number from 0 to 1440",
         whole(&AutomationSettings::safeDelayMinutes, 0, 1440),
         number(&AutomationSettings::safeDelayMinutes)},
        {"alpacaPort", "a port number from 0 (off) to 65535",
         whole(&AutomationSettings::alpacaPort, 0, 65535), number(&AutomationSettings::alpacaPort)},
        {"alpacaAddress", "empty (every interface) or an IP address such as 127.0.0.1",
         [](std::string_view v, AutomationSettings& s) {
             if (!v.empty() && !isAddress(v)) return false;
             s.alpacaAddress = v;
             return true;
         },
         [](const AutomationSettings& s) { return s.alpacaAddress; }},
        {"discoveryPort", "a port number from 0 (off) to 65535",
         whole(&AutomationSettings::discoveryPort, 0, 65535),
         number(&AutomationSettings::discoveryPort)},
        text("uniqueId", "letters, digits and -_.{} only, at most 64",
             &AutomationSettings::uniqueId, isId),
        text("mqttHost", "empty (off), a host name or an IP address", &AutomationSettings::mqttHost,
             isHostOrEmpty),
        {"mqttPort", "a port number from 1 to 65535",
         whole(&AutomationSettings::mqttPort, 1, 65535), number(&AutomationSettings::mqttPort)},
        text("mqttTopic", "a topic without + or #, spaces or a / at either end",
             &AutomationSettings::mqttTopic, isTopic),
        text("mqttUser", "", &AutomationSettings::mqttUser),
        text("mqttPassword", "", &AutomationSettings::mqttPassword),
        flag("mqttTls", &AutomationSettings::mqttTls),
        text("mqttClientId", "letters, digits and -_.{} only, at most 64",
             &AutomationSettings::mqttClientId, isId),
        flag("homeAssistant", &AutomationSettings::homeAssistant),
        {"skyModel", "learn or off",
         [](std::string_view v, AutomationSettings& s) {
             const std::string u = upper(v);
             if (u != "LEARN" && u != "OFF") return false;
             s.learnSkyModel = u == "LEARN";
             return true;
         },
         [](const AutomationSettings& s) {
             return std::string(s.learnSkyModel ? "learn" : "off");
         }},
    }};
    return all;
}

}  // namespace

bool isWhole(std::string_view text, int low, int high, int& out) {
    int v = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || v < low || v > high)
        return false;
    out = v;
    return true;
}

AutomationIni parseAutomationIni(std::string_view text, const std::function<std::string()>& newId) {
    AutomationIni ini;
    std::vector<std::string> lines;
    std::array<int, keyCount> lineOf;
    // Problems whose default is known only once uniqueId is.
    std::vector<std::pair<std::size_t, std::size_t>> badValues;
    lineOf.fill(-1);
    bool rewrite = false;
    std::vector<std::pair<std::string, std::string>> notify;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        lines.emplace_back(raw.ends_with('\r') ? raw.substr(0, raw.size() - 1) : raw);
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        const std::size_t eq = line.find('=');
        if (eq == line.npos) {
            ini.problems.push_back("automation.ini: \"" + std::string(line) +
                                   "\" is not a key=value line; it is left alone");
            continue;
        }
        const std::string name = upper(trim(line.substr(0, eq)));
        const std::string_view value = trim(line.substr(eq + 1));
        if (isNotifyKey(name)) {
            notify.emplace_back(trim(line.substr(0, eq)), value);
            continue;
        }
        const auto& all = keys();
        const auto key = std::find_if(all.begin(), all.end(),
                                      [&](const Key& k) { return upper(k.name) == name; });
        if (key == all.end()) continue;  // someone else's key: kept
        const std::size_t index = std::size_t(key - all.begin());
        if (lineOf[index] >= 0) {
            ini.problems.push_back("automation.ini: " + std::string(key->name) +
                                   " is given twice; the first is used");
            continue;
        }
        lineOf[index] = int(lines.size() - 1);
        if (key->take(value, ini.settings)) continue;
        badValues.emplace_back(ini.problems.size(), index);
        ini.problems.push_back("automation.ini: " + std::string(key->name) + "=" +
                               std::string(value) + " is not " + key->rule + "; ");
    }
    if (ini.settings.uniqueId.empty()) {
        ini.settings.uniqueId = newId();
        // A bad id is replaced in its line, so the device keeps the new one.
        if (lineOf[uniqueIdKey] >= 0) {
            lines[std::size_t(lineOf[uniqueIdKey])] = "uniqueId=" + ini.settings.uniqueId;
            rewrite = true;
        }
    }
    // Without a learned clear sky a cover limit would rest on the CLOUDY rule for ever.
    if (ini.settings.unsafeCover() && !ini.settings.learnSkyModel) {
        ini.problems.push_back("automation.ini: unsafeFrom=" + ini.settings.unsafeFrom +
                               " needs skyModel=learn; CLOUDY is used");
        ini.settings.unsafeFrom = "CLOUDY";
    }
    ini.settings.notify = readNotifySettings(notify, ini.problems);
    if (ini.settings.mqttClientId.empty())
        ini.settings.mqttClientId = "skarvel-" + ini.settings.uniqueId.substr(0, 8);
    for (const auto& [problem, index] : badValues) {
        ini.problems[problem] +=
            index == uniqueIdKey ? std::string("a new one is used")
                                 : "the default " + keys()[index].text(ini.settings) + " is used";
    }
    for (std::size_t i = 0; i < keys().size(); ++i) {
        if (lineOf[i] >= 0) continue;
        lines.push_back(std::string(keys()[i].name) + "=" + keys()[i].text(ini.settings));
        rewrite = true;
    }
    if (rewrite) {
        for (const std::string& line : lines) ini.rewrite += line + "\n";
    }
    return ini;
}

std::string newGuid() {
    std::random_device source;
    std::array<std::uint8_t, 16> b{};
    for (std::size_t i = 0; i < b.size(); i += 4) {
        const std::uint32_t r = source();
        for (std::size_t j = 0; j < 4; ++j) b[i + j] = std::uint8_t(r >> (8 * j));
    }
    b[6] = std::uint8_t((b[6] & 0x0F) | 0x40);  // version 4: random
    b[8] = std::uint8_t((b[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    static const char hex[] = "0123456789abcdef";
    std::string id;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
        id += hex[b[i] >> 4];
        id += hex[b[i] & 0x0F];
    }
    return id;
}

AutomationSettings loadAutomationSettings(const std::string& folder, DesktopServices& services) {
    const std::string path = folder + "automation.ini";
    std::string message;
    AutomationIni ini;
    try {
        const bool existed = FileExists(path);
        ini = parseAutomationIni(existed ? readWholeFile(path) : std::string(), newGuid);
        if (!ini.rewrite.empty())
            writeFileAtomic(path, ini.rewrite, Durability::Synced, NewFile::OwnerOnly);
        // Passwords and tokens are no business of the machine's other users.
        if (existed &&
            (!ini.settings.mqttPassword.empty() || !ini.settings.notify.secrets().empty()) &&
            restrictToOwner(path))
            ini.problems.push_back(
                "automation.ini: it holds passwords or tokens and other users could read it; it "
                "is now readable by you only");
    } catch (const std::exception& e) {
        ini.problems.push_back(errorMessage(asVbError(e), 0, "loadAutomationSettings", "frmMain"));
        if (ini.settings.uniqueId.empty()) ini.settings.uniqueId = newGuid();
    }
    for (const std::string& problem : ini.problems) {
        message += (message.empty() ? "" : "\n") + problem;
    }
    if (!message.empty()) services.messageBox(message);
    return ini.settings;
}

}  // namespace skarvel
