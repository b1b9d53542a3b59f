#include "app/peekfs/peek_fs.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

#include "app/listing.h"
#include "platform/dos_date_time.h"
#include "volume/entry_names.h"
#include "volume/shift_jis.h"

namespace {

// True when the name holds a separator of the volume's paths as a character of its own:
// a walk would split it, so no path leads to the entry.
bool HoldsVolumeSeparator(const std::string& name) {
  for (size_t at = 0; at < name.size(); at += ShiftJisCharLength(name.c_str() + at)) {
    if (IsPathSeparator(name[at])) return true;
  }
  return false;
}

// Splits "/A/B/C" into "/A/B" and "C"; the parent of "/C" is "/".
void SplitLast(const std::string& path, std::string* parent, std::string* name) {
  const size_t slash = path.find_last_of('/');
  *parent = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

PeekFs::PeekFs(HumanVolume* volume, const platform::HostText* text, Warning warn)
    : volume(volume), text(text), warn(std::move(warn)) {
  // The volume has no getter for its option bits: set and put back.
  const int options = volume->SetOptions(0);
  volume->SetOptions(options);
  caseSensitive = (options & OptionCaseSensitive) != 0;
}

std::string PeekFs::NameKey(const std::string& diskName) const {
  if (caseSensitive) return diskName;
  std::string key;
  for (const char* next = diskName.c_str(); *next != '\0';) {
    size_t length = 0;
    const uint32_t folded = FoldShiftJisChar(next, &length);
    key.append(reinterpret_cast<const char*>(&folded), sizeof(folded));
    next += length;
  }
  return key;
}

bool PeekFs::TakeDamage() {
  bool whole = false;
  DirectoryDamage note;
  while (volume->TakeDamage(&note) == 1) whole = whole || note.whole;
  return whole;
}

int PeekFs::LoadListing(const Listing* parent, const Node* node, std::shared_ptr<Listing>* out) {
  auto listing = std::make_shared<Listing>();
  if (parent == nullptr) {
    listing->diskPath = "\\";
    listing->ancestors = {0};
  } else {
    listing->diskPath = parent->diskPath + (parent->diskPath == "\\" ? "" : "\\") + node->diskName;
    listing->ancestors = parent->ancestors;
    listing->ancestors.push_back(node->firstCluster);
  }
  SearchRecord search;
  FindResult entry;
  int result = volume->FindFirst(&search, listing->diskPath.c_str(), &entry);
  if (result != 1 && result != VolumeErrorNoMoreEntries) {
    TakeDamage();
    return -EIO;
  }
  if (parent == nullptr && search.directory) listing->entryBytes = search.directory->entryBytes;
  std::unordered_set<std::string> seen;
  for (; result == 1; result = volume->FindNext(&search, &entry)) {
    const std::string name = entry.fileName;
    // A lookup finds the first entry of a name, whatever it is: a later one is never reached.
    if (!seen.insert(NameKey(name)).second) continue;
    const EntryKind kind = KindOfEntry(entry);
    if (kind == EntryKindVolumeLabel || kind == EntryKindLink) continue;
    const bool isDirectory = kind == EntryKindDirectory;
    if (IsDotName(name) || IsUnsafeName(name.c_str(), !isDirectory) || HoldsVolumeSeparator(name)) {
      continue;
    }
    if (isDirectory && std::find(listing->ancestors.begin(), listing->ancestors.end(),
                                 entry.firstCluster) != listing->ancestors.end()) {
      continue;  // it would be its own ancestor
    }
    Node shown;
    shown.hostName = text->FromDisk(name);
    shown.diskName = name;
    shown.isDirectory = isDirectory;
    shown.attributes = static_cast<uint8_t>(entry.attributes);
    shown.date = entry.modifyDate;
    shown.time = entry.modifyTime;
    shown.size = entry.fileSize;
    shown.firstCluster = entry.firstCluster;
    listing->byName.emplace(shown.hostName, listing->nodes.size());
    listing->nodes.push_back(std::move(shown));
  }
  volume->FindEnd(&search);
  // A directory read in part (rescue reading) still shows what could be read.
  if (TakeDamage()) return -EIO;
  *out = std::move(listing);
  return 0;
}

int PeekFs::FindListing(const std::string& path, std::shared_ptr<const Listing>* out) {
  std::string key = "/";
  std::shared_ptr<const Listing> current;
  const Node* node = nullptr;
  size_t start = 0;
  for (;;) {
    auto kept = listings.find(key);
    if (kept != listings.end()) {
      current = kept->second;
    } else {
      std::shared_ptr<Listing> loaded;
      const int result = LoadListing(current.get(), node, &loaded);
      if (result != 0) return result;
      // The bound is kept simply: past it every listing is dropped, and the ones in use
      // are read again when next asked for.
      if (listedEntries + loaded->nodes.size() > kListingEntryLimit) {
        listings.clear();
        listedEntries = 0;
      }
      listedEntries += loaded->nodes.size();
      current = loaded;
      listings.emplace(key, std::move(loaded));
    }
    while (start < path.size() && path[start] == '/') ++start;
    if (start >= path.size()) break;
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string name = path.substr(start, end - start);
    start = end;
    const auto found = current->byName.find(name);
    if (found == current->byName.end()) return -ENOENT;
    node = &current->nodes[found->second];
    if (!node->isDirectory) return -ENOTDIR;
    key += (key == "/" ? "" : "/") + name;
  }
  *out = std::move(current);
  return 0;
}

int PeekFs::FindNode(const std::string& path, std::shared_ptr<const Listing>* listing,
                     const Node** node) {
  std::string parent;
  std::string name;
  SplitLast(path, &parent, &name);
  const int result = FindListing(parent, listing);
  if (result != 0) return result;
  const auto found = (*listing)->byName.find(name);
  if (found == (*listing)->byName.end()) return -ENOENT;
  *node = &(*listing)->nodes[found->second];
  return 0;
}

platform::NodeAttributes PeekFs::AttributesOf(const Node& node) {
  platform::NodeAttributes out;
  out.isDirectory = node.isDirectory;
  out.permissions = node.isDirectory ? 0755 : 0644;
  if ((node.attributes & 0x01) != 0) out.permissions &= ~0222u;
  out.links = node.isDirectory ? 2 : 1;
  out.size = node.size;
  const uint64_t clusterBytes = volume->ClusterBytes();
  const uint64_t clusters = node.isDirectory ? volume->ChainLength(node.firstCluster)
                                             : (node.size + clusterBytes - 1) / clusterBytes;
  out.blocks = clusters * clusterBytes / 512;
  int64_t seconds = 0;
  if (platform::LocalDosTimeToSeconds(node.date, node.time, &seconds)) out.time = seconds;
  return out;
}

int PeekFs::RootAttributes(platform::NodeAttributes* out) {
  std::shared_ptr<const Listing> root;
  const int result = FindListing("/", &root);
  if (result != 0) return result;
  *out = platform::NodeAttributes();
  out->isDirectory = true;
  out->permissions = 0755;
  out->links = 2;
  out->blocks = root->entryBytes / 512;
  return 0;
}

int PeekFs::GetAttributes(const std::string& path, platform::NodeAttributes* out) {
  if (path.find_first_not_of('/') == std::string::npos) return RootAttributes(out);
  std::shared_ptr<const Listing> listing;
  const Node* node = nullptr;
  const int result = FindNode(path, &listing, &node);
  if (result == 0) *out = AttributesOf(*node);
  return result;
}

int PeekFs::ReadDirectory(const std::string& path, size_t first, const EntrySink& sink) {
  std::shared_ptr<const Listing> listing;
  const int result = FindListing(path, &listing);
  if (result != 0) return result;
  for (size_t i = first; i < listing->nodes.size(); ++i) {
    const Node& node = listing->nodes[i];
    if (!sink(node.hostName, AttributesOf(node))) break;
  }
  return 0;
}

int PeekFs::Open(const std::string& path, bool forWriting, uint64_t* handle) {
  std::shared_ptr<const Listing> listing;
  const Node* node = nullptr;
  if (path.find_first_not_of('/') == std::string::npos) return -EISDIR;
  const int result = FindNode(path, &listing, &node);
  if (result != 0) return result;
  if (node->isDirectory) return -EISDIR;
  if (forWriting) return -EROFS;
  FindResult entry;
  std::strncpy(entry.fileName, node->diskName.c_str(), sizeof(entry.fileName) - 1);
  entry.attributes = node->attributes;
  entry.firstCluster = node->firstCluster;
  entry.fileSize = node->size;
  auto file = std::make_unique<OpenFile>();
  file->handle = volume->FileOpenEntry(std::move(entry), true);
  if (!file->handle) return -ENOMEM;
  file->diskPath = listing->diskPath + (listing->diskPath == "\\" ? "" : "\\") + node->diskName;
  *handle = nextHandle++;
  files.emplace(*handle, std::move(file));
  return 0;
}

int PeekFs::Release(uint64_t handle) {
  const auto open = files.find(handle);
  if (open == files.end()) return -EBADF;
  SayDamage(*open->second);
  volume->FileClose(open->second->handle.get());
  files.erase(open);
  return 0;
}

PeekFs::~PeekFs() {
  for (const auto& open : files) SayDamage(*open.second);
}

void PeekFs::SayDamage(const OpenFile& file) {
  const uint32_t lost = file.handle->unreadableBytes;
  if (lost == 0 || !warn || !saidDamaged.insert(file.diskPath).second) return;
  warn(text->FromDisk("Damaged source file(" + file.diskPath + "), " + std::to_string(lost) +
                      " bytes unreadable, filled with zeros."));
}

int PeekFs::Read(uint64_t handle, char* buffer, size_t size, int64_t offset) {
  const auto open = files.find(handle);
  if (open == files.end()) return -EBADF;
  if (offset < 0) return -EINVAL;
  FileHandle* file = open->second->handle.get();
  if (static_cast<uint64_t>(offset) >= file->fileSize) return 0;
  // The count is returned as an int; the size ends the file whatever the chain holds.
  const uint64_t wanted =
      std::min<uint64_t>({size, file->fileSize - static_cast<uint64_t>(offset), INT_MAX});
  // A read gives all it is asked for or fails: the volume gives what came before a
  // failure first, and the failure at the next call.
  uint32_t count = 0;
  while (count < wanted) {
    const int got = volume->FileReadAt(file, static_cast<uint64_t>(offset) + count, buffer + count,
                                       static_cast<uint32_t>(wanted - count));
    if (got < 0) return -EIO;
    if (got == 0) break;
    count += static_cast<uint32_t>(got);
  }
  // A read to the end of a damaged file is where a copy of it ends: say it now.
  if (static_cast<uint64_t>(offset) + count >= file->fileSize) SayDamage(*open->second);
  return static_cast<int>(count);
}

int PeekFs::StatFs(platform::FileSystemTotals* out) {
  const uint32_t entries = volume->FatEntryCount();
  out->blockBytes = volume->ClusterBytes();
  out->blocks = entries > 2 ? entries - 2 : 0;
  out->freeBlocks = 0;
  out->nameLimit = 255;
  return 0;
}
