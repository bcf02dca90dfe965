#include "store/value_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "store/vb_error.h"

namespace skarvel {

std::string integerText(int value) {
    return std::to_string(value);
}

std::string singleText(float value) {
    if (value == 0.0f) return "0";  // also folds -0
    std::array<char, 32> buf{};
    const auto res =
        std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::general, 7);
    std::string text(buf.data(), res.ptr);
    // general format already drops trailing zeros; only the exponent needs the classic look.
    if (const auto e = text.find('e'); e != std::string::npos) text[e] = 'E';
    return text;
}

std::string dateTimeText(LocalTime t) {
    const CivilTime c = toCivil(t);
    std::string text =
        std::to_string(c.month) + "/" + std::to_string(c.day) + "/" + std::to_string(c.year);
    if (c.hour == 0 && c.minute == 0 && c.second == 0) return text;
    return text + " " + timeText(t);
}

std::string timeText(LocalTime t) {
    const CivilTime c = toCivil(t);
    const int hour12 = c.hour % 12 == 0 ? 12 : c.hour % 12;
    char time[16];
    std::snprintf(time, sizeof time, "%d:%02d:%02d %s", hour12, c.minute, c.second,
                  c.hour < 12 ? "AM" : "PM");
    return time;
}

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Checks the number grammar by hand: from_chars alone would accept "inf", "nan" and hex forms.
std::optional<double> toDouble(std::string_view text) {
    std::string_view s = trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::size_t i = 0;
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        const std::size_t expStart = j;
        while (j < s.size() && isDigit(s[j])) ++j;
        if (j == expStart) return std::nullopt;
        i = j;
    }
    if (i != s.size()) return std::nullopt;
    std::string_view body = s;
    if (!body.empty() && body.front() == '+') body.remove_prefix(1);
    double value = 0;
    const auto res = std::from_chars(body.data(), body.data() + body.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // A negative exponent that is out of range is an underflow and reads as zero.
        const auto e = body.find_first_of("eE");
        const bool underflow = e != std::string_view::npos && body[e + 1] == '-';
        value = underflow ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (res.ec != std::errc() || res.ptr != body.data() + body.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

}  // namespace

bool isNumber(std::string_view text) {
    const auto v = toDouble(text);
    return v && std::isfinite(*v);
}

double parseDouble(std::string_view text) {
    const auto v = toDouble(text);
    if (!v) throw vbError(err::kTypeMismatch);
    if (!std::isfinite(*v)) throw vbError(err::kOverflow);
    return *v;
}

float parseSingle(std::string_view text) {
    const double v = parseDouble(text);
    if (std::fabs(v) > double(std::numeric_limits<float>::max())) throw vbError(err::kOverflow);
    return float(v);
}

std::int16_t parseInteger(std::string_view text) {
    const double v = std::nearbyint(parseDouble(text));  // default mode: half to even
    if (v < -32768.0 || v > 32767.0) throw vbError(err::kOverflow);
    return std::int16_t(v);
}

LocalTime parseDateTime(std::string_view text) {
    std::string_view s = trim(text);
    std::size_t pos = 0;
    auto number = [&](int maxDigits) -> int {
        std::size_t start = pos;
        int value = 0;
        while (pos < s.size() && isDigit(s[pos]) && int(pos - start) < maxDigits) {
            value = value * 10 + (s[pos] - '0');
            ++pos;
        }
        if (pos == start || (pos < s.size() && isDigit(s[pos]))) throw vbError(err::kTypeMismatch);
        return value;
    };
    auto expect = [&](char c) {
        if (pos >= s.size() || s[pos] != c) throw vbError(err::kTypeMismatch);
        ++pos;
    };
    CivilTime c;
    c.month = number(2);
    expect('/');
    c.day = number(2);
    expect('/');
    c.year = number(4);
    if (pos < s.size()) {
        if (!isBlank(s[pos])) throw vbError(err::kTypeMismatch);
        while (pos < s.size() && isBlank(s[pos])) ++pos;
        c.hour = number(2);
        expect(':');
        c.minute = number(2);
        if (pos < s.size() && s[pos] == ':') {
            ++pos;
            c.second = number(2);
        }
        while (pos < s.size() && isBlank(s[pos])) ++pos;
        if (pos < s.size()) {
            const std::string_view marker = s.substr(pos);
            const bool am = marker == "AM" || marker == "am";
            const bool pm = marker == "PM" || marker == "pm";
            if ((!am && !pm) || c.hour < 1 || c.hour > 12) throw vbError(err::kTypeMismatch);
            c.hour = c.hour % 12 + (pm ? 12 : 0);
        }
    }
    return fromCivil(c);
}

}  // namespace skarvel
