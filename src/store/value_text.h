#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/date_time.h"

namespace skarvel {

// The program's text forms of values. They are fixed, not regional: numbers use a point and
// date-times the M/D/YYYY h:mm:ss AM form, so every file reads back the same on any machine.

/// 16-bit integer text: 1, 12, -3.
std::string integerText(int value);

/// Single-precision text: at most 7 significant digits, no trailing zeros, no point for whole
/// numbers, a zero before the point (-25, -27.5, 0.5, -23.43333).
std::string singleText(float value);

/// "12/1/2008 9:39:05 PM"; at exactly midnight the date alone ("12/1/2008").
std::string dateTimeText(LocalTime t);
/// The time part of that form: "9:39:05 PM".
std::string timeText(LocalTime t);

/// Reads a number: blanks around it, optional sign, digits, optional point and exponent.
/// Throws VbError 13 (not a number) or 6 (out of single range).
float parseSingle(std::string_view text);
/// As parseSingle, in double precision.
double parseDouble(std::string_view text);

/// Reads a 16-bit integer; a fractional value rounds half to even (2.5 gives 2).
/// Throws VbError 13 (not a number) or 6 (outside -32768..32767).
std::int16_t parseInteger(std::string_view text);

/// Reads the date-time form written by dateTimeText (and its close relatives: seconds or the
/// AM/PM marker omitted, 24-hour time). Throws VbError 13 for anything else.
LocalTime parseDateTime(std::string_view text);

/// True when parseDouble would accept the text.
bool isNumber(std::string_view text);

}  // namespace skarvel
