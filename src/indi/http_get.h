#pragma once

#include <chrono>
#include <string>

#include "indi/weather_report.h"

namespace skarvel::indi {

/// One GET of `address` with "Connection: close", the whole exchange within `timeout`: what the
/// server sent, or empty with `error` set. A server that accepts and then says nothing costs
/// the time-out, never more.
std::string httpGet(const StateAddress& address, std::chrono::milliseconds timeout,
                    std::string& error);

}  // namespace skarvel::indi
