#include "app/system_time.h"

#include <chrono>
#include <ctime>
#include <mutex>

namespace kestrune {
namespace {

using namespace std::chrono;

// 1601-01-01 as days before the Unix epoch: the Gregorian calendar runs back unchanged.
constexpr sys_days kEpoch1601 = sys_days(year(1601) / January / 1);

}  // namespace

SystemTime CurrentSystemTime() {
  const auto now = time_point_cast<milliseconds>(system_clock::now());
  return SystemTimeFromMilliseconds(
      static_cast<uint64_t>((now - time_point_cast<milliseconds>(kEpoch1601)).count()));
}

uint64_t SystemTimeToMilliseconds(const SystemTime& time) {
  if (time.IsZero()) return 0;
  const year_month_day date{year(time.wYear), month(time.wMonth), day(time.wDay)};
  if (!date.ok() || date.year() < year(1601)) return 0;
  const auto sinceEpoch = sys_days(date) - kEpoch1601 + hours(time.wHour) + minutes(time.wMinute) +
                          seconds(time.wSecond) + milliseconds(time.wMilliseconds);
  return static_cast<uint64_t>(duration_cast<milliseconds>(sinceEpoch).count());
}

int LocalUtcOffsetMinutes(const SystemTime& utc) {
  const uint64_t ms = SystemTimeToMilliseconds(utc);
  if (ms == 0) return 0;
  const auto instant = time_point_cast<milliseconds>(kEpoch1601) + milliseconds(ms);
  const std::time_t unixTime = system_clock::to_time_t(time_point_cast<system_clock::duration>(instant));
  std::tm local{};
  {
    // std::localtime shares one result among all threads.
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    const std::tm* shared = std::localtime(&unixTime);
    if (shared == nullptr) return 0;
    local = *shared;
  }
  const year_month_day date{year(local.tm_year + 1900), month(static_cast<unsigned>(local.tm_mon + 1)),
                            day(static_cast<unsigned>(local.tm_mday))};
  if (!date.ok()) return 0;
  const auto wall = sys_days(date) + hours(local.tm_hour) + minutes(local.tm_min) +
                    seconds(local.tm_sec);
  const auto offset = duration_cast<minutes>(wall - floor<seconds>(system_clock::from_time_t(unixTime)));
  return static_cast<int>(offset.count());
}

SystemTime ShiftedBy(const SystemTime& utc, int offsetMinutes) {
  const uint64_t ms = SystemTimeToMilliseconds(utc);
  const int64_t shift = int64_t{offsetMinutes} * 60'000;
  if (ms == 0 || (shift < 0 && ms <= static_cast<uint64_t>(-shift))) return utc;
  return SystemTimeFromMilliseconds(static_cast<uint64_t>(static_cast<int64_t>(ms) + shift));
}

SystemTime SystemTimeFromMilliseconds(uint64_t count) {
  if (count == 0) return {};
  const auto instant =
      time_point_cast<milliseconds>(kEpoch1601) + milliseconds(static_cast<int64_t>(count));
  const sys_days dayStart = floor<days>(instant);
  const year_month_day date(dayStart);
  const hh_mm_ss clock(instant - dayStart);
  SystemTime time;
  time.wYear = static_cast<uint16_t>(static_cast<int>(date.year()));
  time.wMonth = static_cast<uint16_t>(static_cast<unsigned>(date.month()));
  time.wDay = static_cast<uint16_t>(static_cast<unsigned>(date.day()));
  time.wDayOfWeek = static_cast<uint16_t>(weekday(dayStart).c_encoding());
  time.wHour = static_cast<uint16_t>(clock.hours().count());
  time.wMinute = static_cast<uint16_t>(clock.minutes().count());
  time.wSecond = static_cast<uint16_t>(clock.seconds().count());
  time.wMilliseconds = static_cast<uint16_t>(clock.subseconds().count());
  return time;
}

}  // namespace kestrune
