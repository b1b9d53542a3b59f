#include "platform/dos_date_time.h"

#include <ctime>

namespace platform {

namespace {

// Sakamoto's method for the Gregorian calendar; 0 = Sunday.
int DayOfWeek(int year, int month, int day) {
  static const int kOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

}  // namespace

bool UnpackDosDateTime(uint16_t date, uint16_t time, CalendarRecord* out) {
  const int year = 1980 + (date >> 9);
  const int month = (date >> 5) & 0x0F;
  const int day = date & 0x1F;
  out->year = static_cast<uint16_t>(year);
  out->month = static_cast<uint16_t>(month);
  out->day = static_cast<uint16_t>(day);
  out->hour = static_cast<uint16_t>(time >> 11);
  out->minute = static_cast<uint16_t>((time >> 5) & 0x3F);
  out->second = static_cast<uint16_t>((time & 0x1F) * 2);
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int monthDays = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day < 1 || day > monthDays || out->hour > 23 || out->minute > 59 || out->second > 59) {
    return false;
  }
  out->dayOfWeek = static_cast<uint16_t>(DayOfWeek(year, month, day));
  return true;
}

bool LocalDosTimeToSeconds(uint16_t date, uint16_t time, int64_t* seconds) {
  CalendarRecord clock;
  if (!UnpackDosDateTime(date, time, &clock)) return false;
  std::tm local = {};
  local.tm_year = clock.year - 1900;
  local.tm_mon = clock.month - 1;
  local.tm_mday = clock.day;
  local.tm_hour = clock.hour;
  local.tm_min = clock.minute;
  local.tm_sec = clock.second;
  local.tm_isdst = -1;
  const std::time_t instant = std::mktime(&local);
  if (instant == static_cast<std::time_t>(-1)) return false;
  *seconds = static_cast<int64_t>(instant);
  return true;
}

}  // namespace platform
