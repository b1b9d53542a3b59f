#ifndef PLATFORM_DOS_DATE_TIME_H_
#define PLATFORM_DOS_DATE_TIME_H_

#include <cstdint>

namespace platform {

// A wall-clock reading unpacked from MS-DOS date and time words.
struct DosClock {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Unpacks the date word (bits 15-9 year - 1980, 8-5 month, 4-0 day) and the time word
// (bits 15-11 hour, 10-5 minute, 4-0 seconds / 2). True when they form a real date of
// the Gregorian calendar and a real time of day; false leaves *out unspecified.
bool UnpackDosDateTime(uint16_t date, uint16_t time, DosClock* out);

// The instant at which a clock in the process's time zone (TZ) showed the packed date and
// time, in seconds since 1970-01-01 00:00:00 UTC; the zone's rules decide whether summer
// time applied then. False when the words form no real date and time, or the C library
// cannot place the reading; *seconds is then unchanged.
bool LocalDosTimeToSeconds(uint16_t date, uint16_t time, int64_t* seconds);

}  // namespace platform

#endif  // PLATFORM_DOS_DATE_TIME_H_
