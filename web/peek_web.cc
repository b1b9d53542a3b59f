#include "web/peek_web.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/console.h"
#include "app/listing.h"
#include "app/start_up.h"
#include "app/tree_copy.h"
#include "disk/physical_disk.h"
#include "platform/host_text.h"
#include "volume/human_volume.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#define PEEK_EXPORT EMSCRIPTEN_KEEPALIVE
#else
#define PEEK_EXPORT
#endif

namespace {

// The platform services and the one medium the page has open.
struct Session {
  Session()
      : drives(platform::NewSystemRawDriveService()),
        aspi(platform::NewSystemAspiLibrary()),
        vwin32(platform::NewSystemVwin32Service()),
        family(platform::NewSystemPlatformFamilyQuery()),
        text(platform::NewHostTextFor("UTF-8")) {}

  std::unique_ptr<platform::RawDriveService> drives;
  std::unique_ptr<platform::AspiLibrary> aspi;
  std::unique_ptr<platform::Vwin32Service> vwin32;
  std::unique_ptr<platform::PlatformFamilyQuery> family;
  std::unique_ptr<platform::HostText> text;
  // A device of its own for each medium: a volume leaves its geometry in the device.
  std::unique_ptr<PhysicalDisk> disk;
  OpenedMedium medium;
  std::string drive;  // the path peek_open was given
  StartedVolume started;
  std::map<int, std::unique_ptr<FileHandle>> files;
  std::map<int, std::string> filePaths;  // full code page 932 paths, for the damage message
  int nextHandle = 1;
  std::string result;  // the text the last call returned
};

Session& TheSession() {
  static Session* session = new Session;
  return *session;
}

// What the programs would have printed during one call, both streams in one text as the
// page shows them together.
class Captured {
 public:
  explicit Captured(const platform::HostText* text)
      : text(text),
        stream(open_memstream(&buffer, &size)),
        console(std::make_unique<Console>(stream, stream, text)) {}
  Captured(const Captured&) = delete;
  Captured& operator=(const Captured&) = delete;
  ~Captured() {
    console.reset();
    if (stream != nullptr) std::fclose(stream);
    std::free(buffer);
  }
  Console* Get() { return console.get(); }
  std::string Take() {
    console.reset();  // writes what it still holds
    std::fflush(stream);
    std::string said(buffer, size);
    console = std::make_unique<Console>(stream, stream, text);
    std::fseek(stream, 0, SEEK_SET);
    size = 0;
    return said;
  }

 private:
  const platform::HostText* text;
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* stream;
  std::unique_ptr<Console> console;
};

// A JSON object written member by member.
class Json {
 public:
  Json& Text(const char* key, std::string_view value) {
    Key(key);
    Quote(value);
    return *this;
  }
  Json& Number(const char* key, double value) {
    Key(key);
    char number[32];
    std::snprintf(number, sizeof(number), "%.17g", value);
    out += number;
    return *this;
  }
  Json& Bool(const char* key, bool value) {
    Key(key);
    out += value ? "true" : "false";
    return *this;
  }
  Json& Raw(const char* key, const std::string& json) {
    Key(key);
    out += json;
    return *this;
  }
  std::string Done() { return out + "}"; }

 private:
  void Key(const char* key) {
    out += out.size() > 1 ? ",\"" : "\"";
    out += key;
    out += "\":";
  }
  void Quote(std::string_view value) {
    out += '"';
    for (const char c : value) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (c == '\n') {
        out += "\\n";
      } else if (c == '\t') {
        out += "\\t";
      } else if (byte < 0x20) {
        char escape[8];
        std::snprintf(escape, sizeof(escape), "\\u%04x", byte);
        out += escape;
      } else {
        out += c;
      }
    }
    out += '"';
  }

  std::string out = "{";
};

const char* Answer(std::string json) {
  TheSession().result = std::move(json);
  return TheSession().result.c_str();
}

const char* Failure(const std::string& message) {
  return Answer(Json().Bool("ok", false).Text("message", message).Done());
}

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex += digits[static_cast<unsigned char>(c) >> 4];
    hex += digits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}

const char* KindName(EntryKind kind) {
  switch (kind) {
    case EntryKindDirectory:
      return "dir";
    case EntryKindVolumeLabel:
      return "vol";
    case EntryKindLink:
      return "lnk";
    case EntryKindFile:
      break;
  }
  return "file";
}

// The facts of an entry both the listing and the walk give.
Json& Stamp(Json& json, const FindResult& entry) {
  return json.Number("attributes", static_cast<uint8_t>(entry.attributes))
      .Number("size", entry.fileSize)
      .Number("dosDate", entry.modifyDate)
      .Number("dosTime", entry.modifyTime);
}

std::string ListedEntry(const platform::HostText& text, const FindResult& entry) {
  CalendarRecord calendar;
  std::string date = InvalidDateText;
  std::string time = InvalidTimeText;
  if (DecodeDosDateTime(entry.modifyDate, entry.modifyTime, &calendar)) {
    date = text.FromDisk(FormatDate(calendar));
    time = FormatTime(calendar);
  }
  Json json;
  json.Text("name", text.FromDisk(entry.fileName))
      .Text("raw", Hex(entry.fileName))
      .Text("kind", KindName(KindOfEntry(entry)));
  return Stamp(json, entry).Text("date", date).Text("time", time).Done();
}

bool Mounted(const Session& session) {
  return session.started.volume != nullptr && session.started.mounted;
}

// Walks a directory for a download as hauldisk copies it: by the directory's first
// cluster, each directory once.
class TreeWalk {
 public:
  TreeWalk(Session* session, Console* console) : session(session), console(console) {}

  void Directory(uint16_t cluster, const std::string& source, const std::string& target) {
    HumanVolume* volume = session->started.volume.get();
    SearchRecord search;
    FindResult entry;
    int result = volume->FindFirstIn(&search, cluster, source.c_str(), &entry);
    ReportDamage(volume, console, nullptr);
    // The entries first, so that the recursion does not hold the search.
    std::vector<FindResult> entries;
    while (result == 1) {
      entries.emplace_back();
      FindResult& kept = entries.back();
      std::memcpy(kept.fileName, entry.fileName, sizeof(kept.fileName));
      kept.attributes = entry.attributes;
      kept.modifyDate = entry.modifyDate;
      kept.modifyTime = entry.modifyTime;
      kept.fileSize = entry.fileSize;
      kept.firstCluster = entry.firstCluster;
      result = volume->FindNext(&search, &entry);
    }
    if (result == VolumeErrorNoMoreEntries) volume->FindEnd(&search);
    for (const FindResult& child : entries) {
      std::string childTarget;
      const CopyStep step = NextCopyStep(child, target, &copied, console, &childTarget);
      if (step == CopyStep::kSkip) continue;
      const std::string childSource = volume->JoinPath(source.c_str(), child.fileName);
      Add(child, childSource, childTarget, step == CopyStep::kFile);
      if (step == CopyStep::kDirectory) Directory(child.firstCluster, childSource, childTarget);
    }
  }

  // `target` is the path hauldisk would make in its current directory, "./" and on; the
  // download holds it without the "./".
  void Add(const FindResult& entry, const std::string& source, const std::string& target,
           bool isFile) {
    const platform::HostText& text = *session->text;
    Json json;
    json.Text("path", text.FromDisk(target.substr(2)))
        .Text("source", text.FromDisk(source))
        .Text("kind", isFile ? "file" : "dir");
    if (!walked.empty()) walked += ",";
    walked += Stamp(json, entry).Done();
  }

  std::set<uint16_t> copied;
  std::string walked;

 private:
  Session* session;
  Console* console;
};

}  // namespace

extern "C" {

PEEK_EXPORT const char* peek_open(const char* path) {
  peek_close();
  Session& session = TheSession();
  Captured captured(session.text.get());
  Options options;
  options.rescue = 1;
  options.showPartitionTable = 1;
  session.disk = std::make_unique<PhysicalDisk>(session.drives.get(), session.aspi.get(),
                                                session.vwin32.get(), session.family.get());
  if (OpenMedium(path, options, captured.Get(), session.disk.get(), &session.medium) != 0) {
    session.medium = OpenedMedium();
    return Failure(captured.Take());
  }
  session.drive = path;
  std::string partitions = "[";
  for (size_t index = 0; index < session.medium.table.size(); ++index) {
    const PartitionInfo& info = session.medium.table[index];
    if (index > 0) partitions += ",";
    partitions += Json()
                      .Number("index", static_cast<double>(index))
                      .Number("sectors", info.partitionSectors)
                      .Bool("usable", !info.bootUnreadable)
                      .Done();
  }
  partitions += "]";
  return Answer(
      Json().Bool("ok", true).Text("report", captured.Take()).Raw("partitions", partitions).Done());
}

PEEK_EXPORT const char* peek_select(int index) {
  Session& session = TheSession();
  Captured captured(session.text.get());
  if (session.drive.empty()) return Failure("No medium is open\n");
  session.files.clear();
  session.filePaths.clear();
  session.started = StartedVolume();
  // Selecting moves the volume out of the medium: a medium read once more gives the next
  // selection a volume of its own.
  if (!session.medium.volume) {
    Options options;
    options.rescue = 1;
    Captured quiet(session.text.get());
    session.disk = std::make_unique<PhysicalDisk>(session.drives.get(), session.aspi.get(),
                                                  session.vwin32.get(), session.family.get());
    if (OpenMedium(session.drive.c_str(), options, quiet.Get(), session.disk.get(),
                   &session.medium) != 0) {
      return Failure(quiet.Take());
    }
  }
  if (SelectVolume(&session.medium, index, captured.Get(), &session.started) != 0) {
    return Failure(captured.Take());
  }
  if (!session.started.mounted) {
    session.started = StartedVolume();
    return Failure(captured.Take());
  }
  return Answer(Json().Bool("ok", true).Text("messages", captured.Take()).Done());
}

PEEK_EXPORT const char* peek_list(const char* path) {
  Session& session = TheSession();
  if (!Mounted(session)) return Failure("No partition is selected\n");
  Captured captured(session.text.get());
  HumanVolume* volume = session.started.volume.get();
  const std::string diskPath = session.text->ToDisk(path);
  SearchRecord search;
  FindResult entry;
  int result = volume->FindFirst(&search, diskPath.c_str(), &entry);
  const bool unreadable = ReportDamage(volume, captured.Get(), nullptr);
  if (result == VolumeErrorNotDirectory) {
    captured.Get()->Error("Not directory(%s)\n", diskPath.c_str());
    return Failure(captured.Take());
  }
  if (result != 1 && result != VolumeErrorNoMoreEntries) {
    if (!unreadable) captured.Get()->Error("Not exist directory(%s)\n", diskPath.c_str());
    return Failure(captured.Take());
  }
  std::string entries = "[";
  while (result == 1) {
    if (entries.size() > 1) entries += ",";
    entries += ListedEntry(*session.text, entry);
    result = volume->FindNext(&search, &entry);
  }
  entries += "]";
  if (result == VolumeErrorNoMoreEntries) volume->FindEnd(&search);
  return Answer(Json()
                    .Bool("ok", true)
                    .Text("path", path)
                    .Raw("entries", entries)
                    .Text("messages", captured.Take())
                    .Done());
}

PEEK_EXPORT const char* peek_walk(const char* path) {
  Session& session = TheSession();
  if (!Mounted(session)) return Failure("No partition is selected\n");
  Captured captured(session.text.get());
  HumanVolume* volume = session.started.volume.get();
  const std::string diskPath = session.text->ToDisk(path);
  TreeWalk walk(&session, captured.Get());
  const int changed = volume->ChangeDir(diskPath.c_str());
  const bool unreadable = ReportDamage(volume, captured.Get(), nullptr);
  if (changed == VolumeErrorNotDirectory) {
    // A file: the download is that one file.
    std::unique_ptr<FileHandle> file = volume->FileOpen(diskPath.c_str(), 0);
    ReportDamage(volume, captured.Get(), nullptr);
    if (!file) return Failure(captured.Take());
    std::string target;
    if (NextCopyStep(*file, ".", &walk.copied, captured.Get(), &target) == CopyStep::kFile) {
      walk.Add(*file, diskPath, target, true);
    }
    volume->FileClose(file.get());
  } else if (changed != 1) {
    if (!unreadable) captured.Get()->Error("Not exist file or directory(%s)\n", diskPath.c_str());
    return Failure(captured.Take());
  } else {
    // The directory by the cluster the walk reached: its "." entry may be lost or point
    // elsewhere on a damaged or hostile disk.
    const uint16_t top = volume->CurrentDirCluster();
    char current[1024] = {};
    volume->GetCurrentDir(current, sizeof(current) - 1);
    volume->ChangeDir("\\");
    walk.copied.insert(top);
    walk.Directory(top, current, ".");
  }
  volume->ChangeDir("\\");
  return Answer(Json()
                    .Bool("ok", true)
                    .Raw("entries", "[" + walk.walked + "]")
                    .Text("messages", captured.Take())
                    .Done());
}

PEEK_EXPORT const char* peek_file_open(const char* path) {
  Session& session = TheSession();
  if (!Mounted(session)) return Failure("No partition is selected\n");
  Captured captured(session.text.get());
  HumanVolume* volume = session.started.volume.get();
  const std::string diskPath = session.text->ToDisk(path);
  std::unique_ptr<FileHandle> file = volume->FileOpen(diskPath.c_str(), 0);
  const bool unreadable = ReportDamage(volume, captured.Get(), nullptr);
  if (!file) {
    if (!unreadable)
      captured.Get()->Error("Can't open the source file(%s), skip.\n", diskPath.c_str());
    return Failure(captured.Take());
  }
  const int handle = session.nextHandle++;
  const double size = file->fileSize;
  session.files[handle] = std::move(file);
  session.filePaths[handle] = diskPath;
  return Answer(Json().Bool("ok", true).Number("handle", handle).Number("size", size).Done());
}

PEEK_EXPORT int peek_file_read(int handle, double offset, int length, unsigned char* buffer) {
  Session& session = TheSession();
  const auto found = session.files.find(handle);
  if (found == session.files.end() || !Mounted(session) || length < 0 || !(offset >= 0)) return -1;
  const int count = session.started.volume->FileReadAt(
      found->second.get(), static_cast<uint64_t>(offset), buffer, static_cast<uint32_t>(length));
  return count < 0 ? -1 : count;
}

PEEK_EXPORT const char* peek_file_close(int handle) {
  Session& session = TheSession();
  const auto found = session.files.find(handle);
  if (found == session.files.end()) return Failure("No such open file\n");
  Captured captured(session.text.get());
  const uint32_t unreadable = found->second->unreadableBytes;
  if (unreadable > 0) {
    captured.Get()->Error("Damaged source file(%s), %u bytes unreadable, filled with zeros.\n",
                          session.filePaths[handle].c_str(), unreadable);
  }
  if (Mounted(session)) session.started.volume->FileClose(found->second.get());
  session.files.erase(found);
  session.filePaths.erase(handle);
  return Answer(Json()
                    .Bool("ok", true)
                    .Number("unreadable", unreadable)
                    .Text("message", captured.Take())
                    .Done());
}

PEEK_EXPORT void peek_close() {
  Session& session = TheSession();
  session.files.clear();
  session.filePaths.clear();
  session.started = StartedVolume();
  session.medium = OpenedMedium();
  session.disk.reset();
  session.drive.clear();
}

}  // extern "C"
