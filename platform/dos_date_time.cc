#include "platform/dos_date_time.h"

#include <ctime>

namespace platform {

bool UnpackDosDateTime(uint16_t date, uint16_t time, DosClock* out) {
  out->year = 1980 + (date >> 9);
  out->month = (date >> 5) & 0x0F;
  out->day = date & 0x1F;
  out->hour = time >> 11;
  out->minute = (time >> 5) & 0x3F;
  out->second = (time & 0x1F) * 2;
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (out->month < 1 || out->month > 12) return false;
  const int year = out->year;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int monthDays = kDays[out->month - 1] + (out->month == 2 && leap ? 1 : 0);
  return out->day >= 1 && out->day <= monthDays && out->hour <= 23 && out->minute <= 59 &&
         out->second <= 59;
}

bool LocalDosTimeToSeconds(uint16_t date, uint16_t time, int64_t* seconds) {
  DosClock clock;
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
