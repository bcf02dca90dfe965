#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/serial_control.h"

namespace skarvel {

class DesktopServices;

/// Line settings of the sensor: 9600 baud, no parity, 8 data bits, 1 stop bit.
inline constexpr const char* kLineSettings = "9600,n,8,1";

/// Creates a fresh control into `link` (releasing the one it held) and opens port `port` with
/// `settings`. Reports its own failures in a message box and then returns false.
bool getComms(std::int16_t& port, const std::string& settings, std::unique_ptr<SerialControl>& link,
              const SerialFactory& factory, DesktopServices& services);

/// Listens for three accepted sensor lines and returns the medians of their sky and ambient
/// temperatures. On false the outputs are unchanged.
bool getReadings(SerialControl& link, DesktopServices& services, float& ambient, float& sky);

/// Bytes as single-byte text, one character per byte.
std::string OctetToCharStr(std::span<const std::uint8_t> bytes);

enum class LineVerdict {
    Accepted,  ///< sky and ambient hold the line's values
    Skipped,   ///< the pass is used up; the read goes on
    Failed,    ///< the read ends as failed
};

/// Judges one received text as the read does.
LineVerdict parseSensorText(std::string_view text, float& sky, float& ambient);

}  // namespace skarvel
