#ifndef APP_LISTING_H_
#define APP_LISTING_H_

#include <cstdint>

#include "app/console.h"
#include "platform/dos_date_time.h"
#include "volume/human_volume.h"

using platform::CalendarRecord;

// The weekday characters in code page 932, Sunday first.
extern const char* const WeekdayNames[7];

// Shown instead of a date and a time that are not valid.
constexpr const char* InvalidDateText = "----/--/--(--)";
constexpr const char* InvalidTimeText = "--:--:--";

// Decodes MS-DOS date and time words as platform::UnpackDosDateTime does.
bool DecodeDosDateTime(uint16_t date, uint16_t time, CalendarRecord* out);

// "YYYY/MM/DD(W)" with the weekday character: 14 bytes. The text lives in a static
// buffer that the next FormatDate call overwrites.
const char* FormatDate(const CalendarRecord& calendar);
// "HH:MM:SS". Static buffer, overwritten by the next FormatTime call.
const char* FormatTime(const CalendarRecord& calendar);

// The kind an entry is listed and copied as, by the low byte of its attributes; the
// directory bit wins over the volume bit, which wins over the link bit.
enum EntryKind { EntryKindDirectory, EntryKindVolumeLabel, EntryKindLink, EntryKindFile };
EntryKind KindOfEntry(const FindResult& entry);

// Prints the entry's line on standard output: name, size or kind, date, time, in
// fields right-aligned to 23, 8, 15 and 8 code page 932 bytes.
void EntryLine(Console* console, const FindResult& entry);

// What a run could not read: the rescue summary and the exit status come from it.
struct DamageTally {
  uint32_t filesCopied = 0;  // damaged ones included
  uint32_t filesDamaged = 0;
  uint32_t bytesUnreadable = 0;  // of damaged files
  bool unreadable = false;       // anything at all could not be read
};

// Says on the error stream what the volume noted since the last call of directories it
// could not read: "Can't read the directory(%s)" or, rescue reading, "Can't read part of
// the directory(%s), %u entries lost.". True when one could not be read at all.
bool ReportDamage(HumanVolume* volume, Console* console, DamageTally* tally);

// Lists the directory `path` (code page 932, absolute or relative to the volume's current
// directory) one EntryLine per entry, then an empty line. A path that does not exist or
// names a file gives the empty line alone. A directory that cannot be read (in whole or
// part) is said on the error stream and counted in `tally` (which may be null). The
// current directory is not changed.
void ListDirectory(HumanVolume* volume, Console* console, const char* path,
                   DamageTally* tally = nullptr);

#endif  // APP_LISTING_H_
