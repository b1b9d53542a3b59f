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

PeekFs::PeekFs(HumanVolume* volume, const platform::HostText* text) : volume(volume), text(text) {
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

uint32_t PeekFs::ChainLength(uint16_t first) {
  const uint32_t limit = volume->FatEntryCount();
  uint32_t count = 0;
  for (uint32_t c = first; volume->IsChainCluster(c) && count < limit; c = volume->NextCluster(c)) {
    ++count;
  }
  return count;
}

platform::NodeAttributes PeekFs::AttributesOf(const Node& node) {
  platform::NodeAttributes out;
  out.isDirectory = node.isDirectory;
  out.permissions = node.isDirectory ? 0755 : 0644;
  if ((node.attributes & 0x01) != 0) out.permissions &= ~0222u;
  out.links = node.isDirectory ? 2 : 1;
  out.size = node.size;
  const uint64_t clusterBytes = volume->ClusterBytes();
  const uint64_t clusters = node.isDirectory ? ChainLength(node.firstCluster)
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
  auto file = std::make_unique<OpenFile>();
  file->size = node->size;
  file->firstCluster = node->firstCluster;
  *handle = nextHandle++;
  files.emplace(*handle, std::move(file));
  return 0;
}

int PeekFs::Release(uint64_t handle) { return files.erase(handle) == 1 ? 0 : -EBADF; }

int PeekFs::ClusterAt(OpenFile* file, size_t index, uint16_t* cluster) {
  if (file->clusters.empty()) {
    // First cluster 0 is a file without a chain, an empty one as the copy reads it.
    if (file->firstCluster == 0) return 0;
    if (!volume->IsChainCluster(file->firstCluster)) return -1;
    file->clusters.push_back(file->firstCluster);
  }
  while (file->clusters.size() <= index) {
    if (file->chainEnded) return 0;
    const uint16_t next = volume->NextCluster(file->clusters.back());
    if (volume->IsEndOfChain(next)) {
      file->chainEnded = true;
      return 0;
    }
    // A healthy chain visits each cluster once: one longer than the FAT loops.
    if (!volume->IsChainCluster(next) || file->clusters.size() >= volume->FatEntryCount()) {
      return -1;
    }
    file->clusters.push_back(next);
  }
  *cluster = file->clusters[index];
  return 1;
}

int PeekFs::Read(uint64_t handle, char* buffer, size_t size, int64_t offset) {
  const auto open = files.find(handle);
  if (open == files.end()) return -EBADF;
  OpenFile* file = open->second.get();
  if (offset < 0) return -EINVAL;
  const uint64_t clusterBytes = volume->ClusterBytes();
  if (clusterBytes == 0) return -EIO;
  // The count is returned as an int.
  const uint64_t end = std::min<uint64_t>(
      file->size, static_cast<uint64_t>(offset) + std::min<size_t>(size, INT_MAX));
  uint64_t at = static_cast<uint64_t>(offset);
  // Directory loads and other files have moved the device since the last read.
  volume->InvalidateCluster();
  while (at < end) {
    const size_t index = at / clusterBytes;
    uint16_t cluster = 0;
    const int found = ClusterAt(file, index, &cluster);
    if (found < 0) return -EIO;
    if (found == 0) break;
    const uint64_t within = at % clusterBytes;
    uint8_t* destination = reinterpret_cast<uint8_t*>(buffer + (at - offset));
    if (within == 0 && end - at >= clusterBytes) {
      // Whole clusters that are neighbours on the disk go straight to the caller, one
      // request for the run.
      size_t count = 1;
      uint16_t next = 0;
      while (end - at >= (count + 1) * clusterBytes && ClusterAt(file, index + count, &next) == 1 &&
             next == cluster + count) {
        ++count;
      }
      if (volume->ReadClusterRun(destination, cluster, static_cast<uint32_t>(count)) < 0) {
        return -EIO;
      }
      at += count * clusterBytes;
      continue;
    }
    // Part of a cluster: through the file's buffer, which keeps it for the next read.
    if (file->bufferedIndex != index) {
      if (!file->buffer) {
        file->buffer.reset(new (std::nothrow) uint8_t[clusterBytes]);
        if (!file->buffer) return -ENOMEM;
      }
      file->bufferedIndex = SIZE_MAX;
      if (volume->ReadCluster(file->buffer.get(), cluster) < 0) return -EIO;
      file->bufferedIndex = index;
    }
    const uint64_t count = std::min(clusterBytes - within, end - at);
    std::memcpy(destination, file->buffer.get() + within, count);
    at += count;
  }
  return static_cast<int>(at - static_cast<uint64_t>(offset));
}

int PeekFs::StatFs(platform::FileSystemTotals* out) {
  const uint32_t entries = volume->FatEntryCount();
  out->blockBytes = volume->ClusterBytes();
  out->blocks = entries > 2 ? entries - 2 : 0;
  out->freeBlocks = 0;
  out->nameLimit = 255;
  return 0;
}
