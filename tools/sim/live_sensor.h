#pragma once

#include "options.h"

namespace skarvel::sim {

/// Plays the sensor until its line count is reached, it is unplugged, or SIGINT, SIGTERM or
/// SIGHUP comes; the link is gone when it returns, except after an unplug, which leaves it
/// dangling. Its first line is the weather at local time `now`, and the weather runs on from
/// there. Returns the exit status. Throws std::system_error or std::runtime_error when the port
/// cannot be set up or written.
int runLiveSensor(const Options& options, LocalTime now);

}  // namespace skarvel::sim
