#pragma once

#include <atomic>
#include <cstdint>

namespace kestrune {

/// A point in time in the fields of a Windows SYSTEMTIME (UTC).
struct SystemTime {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;
  uint16_t wDayOfWeek = 0;
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;

  /// The all-zero time, which stands for "not yet".
  bool IsZero() const { return *this == SystemTime{}; }
  friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

/// The current time, UTC, to the millisecond.
SystemTime CurrentSystemTime();

/// Milliseconds since 1601-01-01 00:00 UTC (the epoch of a Windows FILETIME), 0 for the
/// all-zero time or a time before 1601. Differences of two such counts are elapsed times.
uint64_t SystemTimeToMilliseconds(const SystemTime& time);
/// The inverse of SystemTimeToMilliseconds; 0 gives the all-zero time.
SystemTime SystemTimeFromMilliseconds(uint64_t milliseconds);

/// Minutes that the local time of the C runtime's time zone (the system's on Windows; TZ or
/// /etc/localtime on Linux) was ahead of UTC at `utc`: 540 in Japan, -300 in New York in
/// winter; 0 when it cannot be told.
int LocalUtcOffsetMinutes(const SystemTime& utc);

/// A time zone's offset from UTC at a given time, as LocalUtcOffsetMinutes.
using UtcOffsetOf = int (*)(const SystemTime& utc);

/// The wall-clock fields `offsetMinutes` ahead of `utc`.
SystemTime ShiftedBy(const SystemTime& utc, int offsetMinutes);

/// A time that one thread records while others read it. It is kept as one 64-bit word, so a
/// reader sees the old time or the new one, never a mix of their fields; the store
/// releases and the load acquires, so whatever the writer wrote before recording the time
/// is visible to a reader that sees the time.
class AtomicSystemTime {
 public:
  void Store(const SystemTime& time) {
    milliseconds_.store(SystemTimeToMilliseconds(time), std::memory_order_release);
  }
  /// Back to the all-zero time.
  void Clear() { milliseconds_.store(0, std::memory_order_release); }
  SystemTime Load() const { return SystemTimeFromMilliseconds(Milliseconds()); }
  bool IsZero() const { return Milliseconds() == 0; }
  /// As SystemTimeToMilliseconds: 0 while the time is all zero.
  uint64_t Milliseconds() const { return milliseconds_.load(std::memory_order_acquire); }

 private:
  std::atomic<uint64_t> milliseconds_{0};
};

}  // namespace kestrune
