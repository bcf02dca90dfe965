#pragma once

#include <string>

#include "store/date_time.h"

namespace skarvel {

/// How a monitoring cycle ended, for the software that decides on it (roofs open and close on
/// this).
struct CycleOutcome {
    /// Local time at the end of the cycle.
    LocalTime at{};
    /// False while the port is closed or could not be reopened.
    bool linkOpen = false;
    /// The link was open and the sensor was asked for a reading.
    bool readTried = false;
    /// A reading was taken and classified in this cycle; the values below are valid.
    bool readingOk = false;
    float sky = 0;
    float ambient = 0;
    /// Sky minus ambient, rounded to a tenth, never above 0.
    float difference = 0;
    /// "CLEAR", "CLOUDY" or "V.CLOUDY".
    std::string state;
    /// The thresholds it was classified with.
    float cloudyThreshold = -25;
    float vCloudyThreshold = -15;
};

/// Told after every cycle that ran: successful, failed or with the link down.
class CycleObserver {
  public:
    virtual ~CycleObserver() = default;
    virtual void cycleEnded(const CycleOutcome& outcome) = 0;
};

}  // namespace skarvel
