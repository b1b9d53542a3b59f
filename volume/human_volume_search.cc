#include <cstring>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "volume/entry_names.h"
#include "volume/human_volume.h"
#include "volume/shift_jis.h"

namespace {

// Appends bytes of a space-filled name field to `name`, at most `limit`, stopping before
// the first space or zero byte. Returns the new length.
size_t AppendNamePart(char* name, size_t length, const uint8_t* field, size_t limit) {
  for (size_t i = 0; i < limit && field[i] != ' ' && field[i] != 0; ++i) {
    name[length++] = static_cast<char>(field[i]);
  }
  return length;
}

// Bytes of a loaded directory that hold whole entries: the root's buffer continues past
// its entries with whatever sectors follow it on the disk, and those are no entries.
size_t EntryLimit(const LoadedChain& contents) {
  const size_t limit =
      contents.entryBytes < contents.bytes.size() ? contents.entryBytes : contents.bytes.size();
  return limit - limit % 32;
}

// Takes the next component of a path from `*cursor`: separators before it are skipped,
// and it runs to the next separator or the end, character by character, so the second
// byte of a double-byte character never ends it. False when no component is left.
bool NextComponent(const char** cursor, std::string* component) {
  const char* p = *cursor;
  while (IsPathSeparator(*p)) ++p;
  if (*p == '\0') {
    *cursor = p;
    return false;
  }
  const char* start = p;
  while (*p != '\0' && !IsPathSeparator(*p)) p += ShiftJisCharLength(p);
  component->assign(start, static_cast<size_t>(p - start));
  *cursor = p;
  return true;
}

// FNV-1a over the name's key: its bytes when names compare exactly, else its characters
// with case folded away, so that names MatchName takes as equal always hash alike.
uint32_t NameKeyHash(const char* name, bool caseSensitive) {
  uint32_t hash = 2166136261u;
  auto mix = [&hash](uint32_t value) {
    for (int i = 0; i < 4; ++i) {
      hash ^= (value >> (8 * i)) & 0xFF;
      hash *= 16777619u;
    }
  };
  while (*name != '\0') {
    if (caseSensitive) {
      mix(static_cast<uint8_t>(*name));
      ++name;
    } else {
      size_t length = 0;
      mix(FoldShiftJisChar(name, &length));
      name += length;
    }
  }
  return hash;
}

}  // namespace

const uint8_t* HumanVolume::DecodeDirEntry(const uint8_t* entry, FindResult* out) {
  return DecodeEntry(entry, out, false);
}

const uint8_t* HumanVolume::DecodeEntry(const uint8_t* entry, FindResult* out,
                                        bool extraOnlyAboveSpace) {
  out->tag = FindResultTag;
  out->firstByte = entry[0];
  if (entry[0] == 0x00) return entry;  // the end stays the end
  if (entry[0] == 0xE5) return entry + 32;

  // 8 + 10 + "." + 3 bytes at most, and the terminator: fileName holds 23.
  size_t length = AppendNamePart(out->fileName, 0, entry, 8);
  if (length > 0 && static_cast<uint8_t>(out->fileName[0]) == 0x05) {
    out->fileName[0] = static_cast<char>(0xE5);  // 0x05 stands for a first byte of 0xE5
  }
  const bool extra = extraOnlyAboveSpace ? entry[12] > 0x20 : entry[12] != 0x20;
  if ((options & OptionExtendedNames) != 0 && extra) {
    length = AppendNamePart(out->fileName, length, entry + 12, 10);
  }
  if (entry[8] != ' ') {
    out->fileName[length++] = '.';
    length = AppendNamePart(out->fileName, length, entry + 8, 3);
  }
  out->fileName[length] = '\0';

  out->longName = nullptr;
  out->attributes = static_cast<int16_t>(static_cast<int8_t>(entry[11]));
  out->modifyTime = platform::LoadLe16(entry + 22);
  out->modifyDate = platform::LoadLe16(entry + 24);
  out->firstCluster = platform::LoadLe16(entry + 26);
  out->fileSize = platform::LoadLe32(entry + 28);
  out->pendingCluster = out->firstCluster;
  out->readPosition = nullptr;
  return entry + 32;
}

int HumanVolume::MatchName(const FindResult& entry, const char* name) {
  const char* own = entry.fileName;
  if ((options & OptionExtendedNames) != 0 && entry.longName != nullptr) own = entry.longName;
  if ((options & OptionCaseSensitive) != 0) return std::strcmp(own, name) == 0 ? 0 : 1;
  return ShiftJisEqualIgnoringCase(own, name) ? 0 : 1;
}

int HumanVolume::LookupName(const LoadedChain& contents, FindResult* out, const char* name) {
  // A directory the cache holds is looked up many times (a tree copy opens every file of
  // it by name); an index keeps that from scanning it once per file.
  if (contents.cached) return LookupIndexed(contents, out, name);
  return LookupScanning(contents, out, name);
}

int HumanVolume::LookupScanning(const LoadedChain& contents, FindResult* out, const char* name) {
  const size_t limit = EntryLimit(contents);
  for (size_t offset = 0; offset < limit; offset += 32) {
    DecodeDirEntry(contents.bytes.data() + offset, out);
    if (out->firstByte == 0) return 0;
    if (out->firstByte == 0xE5) continue;
    if (MatchName(*out, name) == 0) return 1;
  }
  return 0;
}

int HumanVolume::LookupIndexed(const LoadedChain& contents, FindResult* out, const char* name) {
  DirectoryIndex& index = contents.index;
  const bool caseSensitive = (options & OptionCaseSensitive) != 0;
  if (index.options != options) {
    // Names are composed and compared under the option bits, so an index serves only the
    // bits it was built under. The scan's rules decide what goes in: entries in order up
    // to the first end entry, within the entry bytes, deleted ones left out.
    const size_t before = index.Bytes();
    const size_t limit = EntryLimit(contents);
    FindResult entry;
    // At least twice as many slots as the directory has room for entries.
    size_t slots = 16;
    while (slots < limit / 16) slots *= 2;
    index.hashes.assign(slots, 0);
    index.offsets.assign(slots, 0);
    const size_t mask = slots - 1;
    for (size_t offset = 0; offset < limit; offset += 32) {
      DecodeDirEntry(contents.bytes.data() + offset, &entry);
      if (entry.firstByte == 0) break;
      if (entry.firstByte == 0xE5) continue;
      const char* own = entry.fileName;
      if ((options & OptionExtendedNames) != 0 && entry.longName != nullptr) own = entry.longName;
      const uint32_t hash = NameKeyHash(own, caseSensitive);
      size_t slot = hash & mask;
      while (index.offsets[slot] != 0) slot = (slot + 1) & mask;
      index.hashes[slot] = hash;
      index.offsets[slot] = static_cast<uint32_t>(offset + 1);
    }
    index.options = options;
    const size_t after = index.Bytes();
    if (after > before) directories.Charge(contents, after - before);
  }
  const uint32_t hash = NameKeyHash(name, caseSensitive);
  const size_t mask = index.offsets.size() - 1;
  for (size_t slot = hash & mask; index.offsets[slot] != 0; slot = (slot + 1) & mask) {
    if (index.hashes[slot] != hash) continue;
    DecodeDirEntry(contents.bytes.data() + index.offsets[slot] - 1, out);
    if (MatchName(*out, name) == 0) return 1;
  }
  return 0;
}

const char* HumanVolume::SkipRootSeparator(const char* path) {
  if (path == nullptr) return nullptr;
  return IsPathSeparator(path[0]) ? path + 1 : nullptr;
}

int HumanVolume::WalkPath(const char* path, bool buildText, PathWalk* walk) {
  if (path == nullptr) path = "";
  const char* rest = SkipRootSeparator(path);
  uint16_t cluster = 0;
  // The text is carried along for ChangeDir, and for naming a damaged directory.
  std::string text;
  if (rest != nullptr) {
    text = "\\";
  } else {
    rest = path;
    cluster = currentCluster;
    text = currentPath;
  }
  std::shared_ptr<const LoadedChain> contents = Directory(cluster);
  NoteDamage(contents.get(), text);
  if (!contents) return VolumeErrorNotFound;

  // The directories the walk came through, for a ".." entry lost to a bad sector.
  std::vector<uint16_t> walked;
  std::string component;
  FindResult entry;
  while (NextComponent(&rest, &component)) {
    // "." is the directory in hand, whatever entries of that name it holds; in the root,
    // ".." is the root too.
    if (component == "." || (component == ".." && cluster == 0)) {
      // The root is where a walk up ends, whatever the text said on the way.
      if (cluster == 0) text = "\\";
      continue;
    }
    if (LookupName(*contents, &entry, component.c_str()) == 1) {
      if ((entry.attributes & 0x10) == 0) {
        walk->entry = std::move(entry);
        walk->entryIsLast = *rest == '\0';
        return VolumeErrorNotDirectory;
      }
      if (component == "..") {
        if (!walked.empty()) walked.pop_back();
      } else {
        walked.push_back(cluster);
      }
      // A first cluster of 0, as a ".." entry next to the root holds, loads the root.
      cluster = entry.firstCluster;
    } else if (component == "..") {
      // The entry is lost: the parent is the one the walk came from, or, for the current
      // directory, the one its path names.
      if (!walked.empty()) {
        cluster = walked.back();
        walked.pop_back();
      } else {
        std::string parent = text;
        StepPathText(&parent, "..");
        PathWalk up;
        if (WalkPath(parent.c_str(), false, &up) != 1) return VolumeErrorNotFound;
        cluster = up.cluster;
      }
    } else {
      return VolumeErrorNotFound;
    }
    contents = Directory(cluster);
    StepPathText(&text, component.c_str());
    NoteDamage(contents.get(), text);
    if (!contents) return VolumeErrorNotFound;
  }
  walk->contents = std::move(contents);
  walk->cluster = cluster;
  if (buildText) walk->text = std::move(text);
  return 1;
}

void HumanVolume::NoteDamage(const LoadedChain* contents, const std::string& path) {
  DirectoryDamage note;
  if (contents == nullptr) {
    // Without a FAT nothing can be read, and the front ends have said so once.
    if (fat.empty()) return;
    note.whole = true;
  } else {
    if (contents->entriesLost == 0 || contents->damageNoted) return;
    contents->damageNoted = true;
    note.entriesLost = contents->entriesLost;
  }
  note.path = path;
  damage.push_back(std::move(note));
}

int HumanVolume::FindFirst(SearchRecord* search, const char* path, FindResult* out) {
  search->directory.reset();
  search->position = 0;
  PathWalk walk;
  const int result = WalkPath(path, false, &walk);
  if (result != 1) return result;
  search->directory = std::move(walk.contents);
  return FindNext(search, out);
}

int HumanVolume::FindFirstIn(SearchRecord* search, uint16_t cluster, const char* path,
                             FindResult* out) {
  search->directory.reset();
  search->position = 0;
  std::shared_ptr<const LoadedChain> contents = Directory(cluster);
  if (path != nullptr) NoteDamage(contents.get(), path);
  if (!contents) return VolumeErrorNotFound;
  search->directory = std::move(contents);
  return FindNext(search, out);
}

int HumanVolume::FindNext(SearchRecord* search, FindResult* out) {
  out->tag = FindResultTag;
  out->firstByte = 0;
  if (!search->directory) return VolumeErrorNoMoreEntries;
  const LoadedChain& contents = *search->directory;
  const size_t limit = EntryLimit(contents);
  while (search->position < limit) {
    const uint8_t* entry = contents.bytes.data() + search->position;
    search->position = static_cast<size_t>(DecodeDirEntry(entry, out) - contents.bytes.data());
    if (out->firstByte == 0) return VolumeErrorNoMoreEntries;
    if (out->firstByte != 0xE5) return 1;
  }
  // A directory whose every entry is in use ends after its last entry.
  out->firstByte = 0;
  return VolumeErrorNoMoreEntries;
}

int HumanVolume::FindEnd(SearchRecord* search) {
  search->directory.reset();
  search->position = 0;
  return 1;
}
