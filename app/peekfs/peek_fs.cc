#include "app/peekfs/peek_fs.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <unordered_set>
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

int PeekFs::LoadListing(uint16_t cluster, std::shared_ptr<Listing>* out) {
  auto listing = std::make_shared<Listing>();
  listing->cluster = cluster;
  SearchRecord search;
  FindResult entry;
  const std::string diskPath = DiskPath(cluster);
  int result = volume->FindFirstIn(&search, cluster, diskPath.c_str(), &entry);
  if (result != 1 && result != VolumeErrorNoMoreEntries) {
    TakeDamage();
    return -EIO;
  }
  if (cluster == 0 && search.directory) listing->entryBytes = search.directory->entryBytes;
  // Room for every entry the directory can hold, so that no table grows entry by entry.
  const size_t room = search.directory ? search.directory->entryBytes / 32 : 0;
  size_t slots = 16;
  while (slots < 2 * room) slots *= 2;
  listing->slots.assign(slots, 0);
  listing->nodes.reserve(room);
  // A lookup finds the first entry of a name, whatever it is: a later one is never reached.
  // Where names compare exactly, host names (which convert back to the same bytes) tell
  // them apart, and a name that is not shown keeps a place among the hidden names.
  std::unordered_set<std::string> seen(caseSensitive ? 0 : room);
  for (; result == 1; result = volume->FindNext(&search, &entry)) {
    const std::string name = entry.fileName;
    std::string hostName = text->FromDisk(name);
    if (caseSensitive ? listing->Find(hostName) != 0 : !seen.insert(NameKey(name)).second) continue;
    const EntryKind kind = KindOfEntry(entry);
    bool shown = kind != EntryKindVolumeLabel && kind != EntryKindLink;
    const bool isDirectory = kind == EntryKindDirectory;
    shown = shown && !IsDotName(name) && !IsUnsafeName(name.c_str(), !isDirectory) &&
            !HoldsVolumeSeparator(name);
    shown = shown && (!isDirectory || ShowsHere(cluster, entry.firstCluster, name));
    if (!shown) {
      if (caseSensitive) {
        listing->hiddenNames.push_back(hostName);
        listing->Add(hostName,
                     Listing::kHiddenPlace | static_cast<uint32_t>(listing->hiddenNames.size()));
      }
      continue;
    }
    // A second entry of a host name that reads back otherwise (names that compare without
    // case) cannot be looked up: the first keeps it.
    if (!listing->Add(hostName, static_cast<uint32_t>(listing->nodes.size() + 1))) continue;
    Node node;
    node.hostName = std::move(hostName);
    node.diskName = name;
    node.isDirectory = isDirectory;
    node.attributes = static_cast<uint8_t>(entry.attributes);
    node.date = entry.modifyDate;
    node.time = entry.modifyTime;
    node.size = entry.fileSize;
    node.firstCluster = entry.firstCluster;
    listing->bytes += sizeof(Node) + 2 * node.hostName.size() + node.diskName.size() + 64;
    listing->nodes.push_back(std::move(node));
  }
  volume->FindEnd(&search);
  listing->bytes += listing->slots.size() * sizeof(uint64_t);
  // A directory read in part (rescue reading) still shows what could be read.
  if (TakeDamage()) return -EIO;
  *out = std::move(listing);
  return 0;
}

bool PeekFs::ShowsHere(uint16_t cluster, uint16_t child, const std::string& name) {
  if (IsSelfOrAncestor(cluster, child)) return false;  // it would be its own ancestor
  const auto placed = places.find(child);
  if (placed != places.end()) {
    return placed->second.parent == cluster && placed->second.diskName == name;
  }
  // A directory belongs in the folder its ".." names, where that folder holds it; a
  // cross-link elsewhere is not its place.
  uint16_t parent = 0;
  uint16_t link = 0;
  const auto isParent = [](const FindResult& e) { return std::strcmp(e.fileName, "..") == 0; };
  const auto isChild = [child](const FindResult& e) {
    return e.firstCluster == child && !IsDotName(e.fileName);
  };
  if (FindSubdirectory(child, isParent, &parent) && parent != cluster &&
      FindSubdirectory(parent, isChild, &link)) {
    return false;
  }
  places[child] = Place{cluster, name};
  return true;
}

bool PeekFs::FindSubdirectory(uint16_t cluster,
                              const std::function<bool(const FindResult&)>& wanted,
                              uint16_t* found) {
  SearchRecord search;
  FindResult entry;
  bool met = false;
  for (int result = volume->FindFirstIn(&search, cluster, nullptr, &entry); result == 1;
       result = volume->FindNext(&search, &entry)) {
    if (KindOfEntry(entry) == EntryKindDirectory && wanted(entry)) {
      *found = entry.firstCluster;
      met = true;
      break;
    }
  }
  volume->FindEnd(&search);
  return met;
}

bool PeekFs::IsSelfOrAncestor(uint16_t cluster, uint16_t candidate) const {
  // Places only ever hang a directory below one that is not its descendant, so the walk
  // up ends at the root.
  for (uint16_t at = cluster;;) {
    if (at == candidate) return true;
    if (at == 0) return false;
    at = places.at(at).parent;
  }
}

std::string PeekFs::DiskPath(uint16_t cluster) const {
  std::vector<const std::string*> names;
  for (uint16_t at = cluster; at != 0; at = places.at(at).parent) {
    names.push_back(&places.at(at).diskName);
  }
  std::string path;
  for (auto name = names.rbegin(); name != names.rend(); ++name) path += "\\" + **name;
  return path.empty() ? "\\" : path;
}

int PeekFs::ListingOf(uint16_t cluster, std::shared_ptr<const Listing>* out) {
  const auto kept = listings.find(cluster);
  if (kept != listings.end()) {
    recent.splice(recent.begin(), recent, kept->second);
    *out = *kept->second;
    return 0;
  }
  std::shared_ptr<Listing> loaded;
  const int result = LoadListing(cluster, &loaded);
  if (result != 0) return result;
  recent.push_front(loaded);
  listings[cluster] = recent.begin();
  listedBytes += loaded->bytes;
  // The least recently used go until the rest fits; the one just loaded always stays.
  while (listedBytes > kListingBytesLimit && recent.size() > 1) {
    listedBytes -= recent.back()->bytes;
    listings.erase(recent.back()->cluster);
    recent.pop_back();
  }
  *out = std::move(loaded);
  return 0;
}

int PeekFs::FindListing(const std::string& path, std::shared_ptr<const Listing>* out) {
  // The longest leading part of the path whose directory is known, then the rest, one
  // name at a time.
  size_t known = 0;
  uint16_t cluster = 0;
  for (size_t end = path.size(); end > 0; end = path.rfind('/', end - 1)) {
    const auto found = clusterOfPath.find(path.substr(0, end));
    if (found != clusterOfPath.end()) {
      known = end;
      cluster = found->second;
      break;
    }
    if (end == 0 || path.rfind('/', end - 1) == std::string::npos) break;
  }
  std::shared_ptr<const Listing> current;
  int result = ListingOf(cluster, &current);
  size_t start = known;
  while (result == 0) {
    while (start < path.size() && path[start] == '/') ++start;
    if (start >= path.size()) break;
    const size_t end = std::min(path.find('/', start), path.size());
    const uint32_t place = current->Find(path.substr(start, end - start));
    if (place == 0 || (place & Listing::kHiddenPlace) != 0) return -ENOENT;
    const Node& node = current->nodes[place - 1];
    if (!node.isDirectory) return -ENOTDIR;
    result = ListingOf(node.firstCluster, &current);
    start = end;
    // Kept so that the next operation below this directory starts here.
    if (pathBytes > kListingBytesLimit / 4) {
      clusterOfPath.clear();
      pathBytes = 0;
    }
    if (clusterOfPath.emplace(path.substr(0, end), node.firstCluster).second) pathBytes += end + 64;
  }
  if (result != 0) return result;
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
  const uint32_t place = (*listing)->Find(name);
  if (place == 0 || (place & Listing::kHiddenPlace) != 0) return -ENOENT;
  *node = &(*listing)->nodes[place - 1];
  return 0;
}

const std::string& PeekFs::Listing::NameAt(uint32_t place) const {
  if ((place & kHiddenPlace) != 0) return hiddenNames[(place & ~kHiddenPlace) - 1];
  return nodes[place - 1].hostName;
}

uint32_t PeekFs::Listing::Find(const std::string& name) const {
  const uint64_t hash = std::hash<std::string>()(name) >> 32;
  const size_t mask = slots.size() - 1;
  for (size_t slot = hash & mask; slots[slot] != 0; slot = (slot + 1) & mask) {
    const uint32_t place = static_cast<uint32_t>(slots[slot]);
    if (slots[slot] >> 32 == hash && NameAt(place) == name) return place;
  }
  return 0;
}

bool PeekFs::Listing::Add(const std::string& name, uint32_t place) {
  // The table has room for every entry of the directory: a free slot is always found.
  const uint64_t hash = std::hash<std::string>()(name) >> 32;
  const size_t mask = slots.size() - 1;
  size_t slot = hash & mask;
  for (; slots[slot] != 0; slot = (slot + 1) & mask) {
    if (slots[slot] >> 32 == hash && NameAt(static_cast<uint32_t>(slots[slot])) == name)
      return false;
  }
  slots[slot] = hash << 32 | place;
  return true;
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
  out.time = LocalSeconds(node.date, node.time);
  return out;
}

int64_t PeekFs::LocalSeconds(uint16_t date, uint16_t time) {
  // mktime looks at the zone's file on every call; the entries of a folder share few stamps.
  const uint32_t stamp = static_cast<uint32_t>(date) << 16 | time;
  const auto known = secondsOfStamp.find(stamp);
  if (known != secondsOfStamp.end()) return known->second;
  int64_t seconds = 0;
  if (!platform::LocalDosTimeToSeconds(date, time, &seconds)) seconds = 0;
  if (secondsOfStamp.size() >= kStampsKept) secondsOfStamp.clear();
  secondsOfStamp.emplace(stamp, seconds);
  return seconds;
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
  const std::string folder = DiskPath(listing->cluster);
  file->diskPath = folder + (folder == "\\" ? "" : "\\") + node->diskName;
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
