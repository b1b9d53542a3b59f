#ifndef PLATFORM_DOS_DATE_TIME_H_
#define PLATFORM_DOS_DATE_TIME_H_

#include <cstdint>

namespace platform {

// A calendar reading, all fields as 16-bit unsigned numbers. dayOfWeek: 0 = Sunday.
struct CalendarRecord {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t dayOfWeek = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
};

// Unpacks the date word (bits 15-9 year - 1980, 8-5 month, 4-0 day) and the time word
// (bits 15-11 hour, 10-5 minute, 4-0 seconds / 2), a wall-clock reading with no time
// zone, day of the week included. True when they form a real date of the Gregorian
// calendar and a real time of day: month 1-12, day within the month, hour 0-23, minute
// and second 0-59. False may leave *out partly filled.
bool UnpackDosDateTime(uint16_t date, uint16_t time, CalendarRecord* out);

// The instant at which a clock in the process's time zone (TZ) showed the packed date and
// time, in seconds since 1970-01-01 00:00:00 UTC; the zone's rules decide whether summer
// time applied then. False when the words form no real date and time, or the C library
// cannot place the reading; *seconds is then unchanged.
bool LocalDosTimeToSeconds(uint16_t date, uint16_t time, int64_t* seconds);

}  // namespace platform

#endif  // PLATFORM_DOS_DATE_TIME_H_
