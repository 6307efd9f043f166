// Running a pass as of another moment (--date).
//
// Every "today" and every time stamp of a pass comes from Env::Now(), so a
// decorator that moves the clock by a fixed amount moves the whole pass:
// the monitors look for that day's lines, the protocol entries, records and
// message rows carry its stamps, and the clock keeps running, so the
// seconds advance as in a real pass. Local time is treated as a plain
// calendar (no time zone, no daylight saving change), which is how the
// program reads and writes it.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/EnvWrapper.h"

namespace spekolar::cli {

// Seconds of a local time counted on a plain calendar from 1970-01-01
// 00:00:00, and back; for differences between local times.
int64_t CalendarSeconds(const platform::LocalTime& t);
platform::LocalTime FromCalendarSeconds(int64_t seconds);

// Parses "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SS" (a real calendar day, hours
// 0 to 23, minutes and seconds 0 to 59, years 1 to 9999). False for
// anything else. *hasTime tells whether the time was given.
bool ParseMoment(std::string_view text, platform::LocalTime* moment, bool* hasTime);

// How a clock is moved: by `seconds`, and never past `latest` (calendar
// seconds; no limit by default).
struct ClockShift {
  int64_t seconds = 0;
  int64_t latest = INT64_MAX;
};

// The shift that makes a clock that reads `now` read `moment`. Without a
// time: for today or a later day the day alone moves and the time of day
// stays; for a past day the clock reads 23:59:59 of that day and stays
// there, so that a replay the morning after sees the whole day and the
// pass never runs over into the next one.
ClockShift ShiftTo(const platform::LocalTime& now, const platform::LocalTime& moment, bool hasTime);

// Forwards everything; Now() is the target's clock moved by a fixed number
// of seconds, held at the shift's latest moment.
class ShiftedClockEnv : public platform::EnvWrapper {
 public:
  ShiftedClockEnv(platform::Env* target, ClockShift shift)
      : platform::EnvWrapper(target), shift_(shift) {}
  platform::LocalTime Now() override;

 private:
  ClockShift shift_;
};

}  // namespace spekolar::cli
