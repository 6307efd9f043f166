#include "cli/ShiftedClock.h"

#include <algorithm>
#include <chrono>

namespace spekolar::cli {

namespace {

constexpr int64_t kDay = 24 * 60 * 60;

bool Digits(std::string_view text, size_t at, size_t count, int* value) {
  if (at + count > text.size()) return false;
  int result = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    result = result * 10 + (text[i] - '0');
  }
  *value = result;
  return true;
}

// Floor division, for seconds before 1970.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

int64_t CalendarSeconds(const platform::LocalTime& t) {
  using namespace std::chrono;
  const sys_days day{year{t.year} / month{static_cast<unsigned>(t.month)} /
                     std::chrono::day{static_cast<unsigned>(t.day)}};
  return static_cast<int64_t>(day.time_since_epoch().count()) * kDay + t.hour * 3600 +
         t.minute * 60 + t.second;
}

platform::LocalTime FromCalendarSeconds(int64_t seconds) {
  using namespace std::chrono;
  const int64_t days = FloorDiv(seconds, kDay);
  const int64_t rest = seconds - days * kDay;
  const year_month_day ymd{sys_days{std::chrono::days{days}}};
  platform::LocalTime t;
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

bool ParseMoment(std::string_view text, platform::LocalTime* moment, bool* hasTime) {
  platform::LocalTime t;
  if (text.size() != 10 && text.size() != 19) return false;
  if (!Digits(text, 0, 4, &t.year) || text[4] != '-' || !Digits(text, 5, 2, &t.month) ||
      text[7] != '-' || !Digits(text, 8, 2, &t.day)) {
    return false;
  }
  const std::chrono::year_month_day ymd{std::chrono::year{t.year},
                                        std::chrono::month{static_cast<unsigned>(t.month)},
                                        std::chrono::day{static_cast<unsigned>(t.day)}};
  if (t.year < 1 || !ymd.ok()) return false;
  t.hour = t.minute = t.second = 0;
  const bool withTime = text.size() == 19;
  if (withTime) {
    if (text[10] != 'T' || !Digits(text, 11, 2, &t.hour) || text[13] != ':' ||
        !Digits(text, 14, 2, &t.minute) || text[16] != ':' || !Digits(text, 17, 2, &t.second)) {
      return false;
    }
    if (t.hour > 23 || t.minute > 59 || t.second > 59) return false;
  }
  *moment = t;
  *hasTime = withTime;
  return true;
}

ClockShift ShiftTo(const platform::LocalTime& now, const platform::LocalTime& moment, bool hasTime) {
  platform::LocalTime target = moment;
  ClockShift shift;
  if (!hasTime) {
    platform::LocalTime today = now;
    today.hour = today.minute = today.second = 0;
    if (CalendarSeconds(moment) < CalendarSeconds(today)) {
      target.hour = 23;
      target.minute = 59;
      target.second = 59;
      shift.latest = CalendarSeconds(target);
    } else {
      target.hour = now.hour;
      target.minute = now.minute;
      target.second = now.second;
    }
  }
  shift.seconds = CalendarSeconds(target) - CalendarSeconds(now);
  return shift;
}

platform::LocalTime ShiftedClockEnv::Now() {
  return FromCalendarSeconds(
      std::min(CalendarSeconds(target()->Now()) + shift_.seconds, shift_.latest));
}

}  // namespace spekolar::cli
