#include <cstring>

#include "volume/byte_order.h"
#include "volume/human_volume.h"

namespace {

// Appends bytes of a space-filled name field to `name`, at most `limit`, stopping before
// the first space or zero byte. Returns the new length.
size_t AppendNamePart(char* name, size_t length, const uint8_t* field, size_t limit) {
  for (size_t i = 0; i < limit && field[i] != ' ' && field[i] != 0; ++i) {
    name[length++] = static_cast<char>(field[i]);
  }
  return length;
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
  out->modifyTime = LoadLe16(entry + 22);
  out->modifyDate = LoadLe16(entry + 24);
  out->firstCluster = LoadLe16(entry + 26);
  out->fileSize = LoadLe32(entry + 28);
  out->pendingCluster = out->firstCluster;
  out->readPosition = nullptr;
  return entry + 32;
}

// Directory search, matching and the path walk are built next; until then they find
// nothing.
int HumanVolume::MatchName(const FindResult&, const char*) { return 1; }
int HumanVolume::LookupName(const LoadedChain&, FindResult*, const char*) { return 0; }
const char* HumanVolume::SkipRootSeparator(const char* path) {
  return (path[0] == '\\' || path[0] == '/') ? path + 1 : nullptr;
}
int HumanVolume::FindFirst(SearchRecord* search, const char*, FindResult*) {
  search->directory.reset();
  return VolumeErrorNotFound;
}
int HumanVolume::FindNext(SearchRecord*, FindResult*) { return VolumeErrorNoMoreEntries; }
int HumanVolume::FindEnd(SearchRecord* search) {
  search->directory.reset();
  return 1;
}
int HumanVolume::ChangeDir(const char*) { return VolumeErrorNotFound; }
int HumanVolume::GetCurrentDir(char* buffer, int size) {
  std::strncpy(buffer, currentPath.c_str(), static_cast<size_t>(size));
  return 1;
}
std::string HumanVolume::JoinPath(const char* directory, const char*) { return directory; }
std::unique_ptr<FileHandle> HumanVolume::FileOpen(const char*, int) { return nullptr; }
int HumanVolume::FileClose(FileHandle* handle) {
  if (handle->tag != FindResultTag) return VolumeErrorBadHandle;
  handle->clusterBuffer.reset();
  handle->readPosition = nullptr;
  handle->bytesLeft = 0;
  handle->tag = 0;
  return 1;
}
int HumanVolume::FileRead(FileHandle* handle, void*, uint32_t) {
  if (handle->tag != FindResultTag) return VolumeErrorBadHandle;
  return VolumeErrorIo;
}
