#include "platform/dos_date_time.h"

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

}  // namespace platform
