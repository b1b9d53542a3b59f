#include "app/listing.h"

#include <cstdio>

#include "platform/dos_date_time.h"

const char* const WeekdayNames[7] = {
    "\x93\xFA",  // Sunday
    "\x8C\x8E",  // Monday
    "\x89\xCE",  // Tuesday
    "\x90\x85",  // Wednesday
    "\x96\xD8",  // Thursday
    "\x8B\xE0",  // Friday
    "\x93\x79",  // Saturday
};

bool DecodeDosDateTime(uint16_t date, uint16_t time, CalendarRecord* out) {
  return platform::UnpackDosDateTime(date, time, out);
}

const char* FormatDate(const CalendarRecord& calendar) {
  static char text[24];
  // A record that did not come from DecodeDosDateTime may hold any weekday number.
  const char* weekday = calendar.dayOfWeek < 7 ? WeekdayNames[calendar.dayOfWeek] : "--";
  std::snprintf(text, sizeof(text), "%.4d/%.2d/%.2d(%s)", calendar.year, calendar.month,
                calendar.day, weekday);
  return text;
}

const char* FormatTime(const CalendarRecord& calendar) {
  static char text[24];
  std::snprintf(text, sizeof(text), "%.2d:%.2d:%.2d", calendar.hour, calendar.minute,
                calendar.second);
  return text;
}

EntryKind KindOfEntry(const FindResult& entry) {
  const uint8_t attributes = static_cast<uint8_t>(entry.attributes);
  if (attributes & 0x10) return EntryKindDirectory;
  if (attributes & 0x08) return EntryKindVolumeLabel;
  if (attributes & 0x40) return EntryKindLink;
  return EntryKindFile;
}

void EntryLine(Console* console, const FindResult& entry) {
  CalendarRecord calendar;
  const char* dateText = InvalidDateText;
  const char* timeText = InvalidTimeText;
  if (DecodeDosDateTime(entry.modifyDate, entry.modifyTime, &calendar)) {
    dateText = FormatDate(calendar);
    timeText = FormatTime(calendar);
  }
  // fileName is at most 22 bytes and terminated within its 23; %.22s keeps a damaged
  // record from being read past its end.
  switch (KindOfEntry(entry)) {
    case EntryKindDirectory:
      console->Out("%23.22s %8s %15s %8s\n", entry.fileName, "<DIR>", dateText, timeText);
      break;
    case EntryKindVolumeLabel:
      console->Out("%23.22s %8s %15s %8s\n", entry.fileName, "<VOL>", dateText, timeText);
      break;
    case EntryKindLink:
      console->Out("%23.22s %8s %15s %8s\n", entry.fileName, "<LNK>", dateText, timeText);
      break;
    case EntryKindFile:
      console->Out("%23.22s %8d %15s %8s\n", entry.fileName, static_cast<int32_t>(entry.fileSize),
                   dateText, timeText);
      break;
  }
}

bool ReportDamage(HumanVolume* volume, Console* console, DamageTally* tally) {
  bool whole = false;
  DirectoryDamage note;
  while (volume->TakeDamage(&note) == 1) {
    if (note.whole) {
      console->Error("Can't read the directory(%s)\n", note.path.c_str());
      whole = true;
    } else {
      console->Error("Can't read part of the directory(%s), %u entries lost.\n", note.path.c_str(),
                     note.entriesLost);
    }
    if (tally != nullptr) tally->unreadable = true;
  }
  return whole;
}

void ListDirectory(HumanVolume* volume, Console* console, const char* path, DamageTally* tally) {
  SearchRecord search;
  FindResult entry;
  int result = volume->FindFirst(&search, path, &entry);
  ReportDamage(volume, console, tally);
  while (result == 1) {
    EntryLine(console, entry);
    result = volume->FindNext(&search, &entry);
  }
  console->OutText("\n");
  if (result == VolumeErrorNoMoreEntries) volume->FindEnd(&search);
}
