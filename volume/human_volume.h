#ifndef VOLUME_HUMAN_VOLUME_H_
#define VOLUME_HUMAN_VOLUME_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "disk/sector_device.h"
#include "volume/directory_cache.h"

// Volume error codes. Operations report failure with a negative number; 1, a count or an
// object means success.
constexpr int VolumeErrorBadHandle = -7995;
constexpr int VolumeErrorNotDirectory = -7996;
constexpr int VolumeErrorNoMoreEntries = -7997;
constexpr int VolumeErrorNotFound = -7998;
constexpr int VolumeErrorIo = -7999;

// Option bits of HumanVolume::options. Value 4 has no effect.
constexpr int OptionCaseSensitive = 1;
constexpr int OptionExtendedNames = 2;

// A FAT that numbers fewer data clusters than this has entries of 12 bits, one that
// numbers more, entries of 16 bits.
constexpr int64_t Fat16LeastClusters = 4085;

// Every FindResult the volume fills carries this tag; FileRead and FileClose refuse a
// record without it.
constexpr uint32_t FindResultTag = 0x72696E6F;

// One partition's geometry, filled by ReadPartitionTable and taken by SelectPartition.
// Sector numbers and counts are in partition sectors of sectorSize bytes.
struct PartitionInfo {
  uint16_t sectorSize = 0;
  uint16_t sectorsPerCluster = 0;
  int32_t startSector = 0;       // partition start, counted from the device start
  int32_t partitionSectors = 0;  // 0 when the media format does not record it
  int32_t fatStart = 0;          // relative to the partition start
  int32_t fatSectors = 0;        // sectors per FAT copy
  uint16_t fatCount = 0;
  int32_t rootStart = 0;  // relative to the partition start
  int32_t rootBytes = 0;  // root entries x 32
  int32_t reserved = 0;   // always 0
  // The partition's boot record could not be read: it has no geometry and cannot be
  // selected.
  bool bootUnreadable = false;
  // Which disk of the device holds the partition (SectorDevice::SelectDisk): 0 but on a
  // container of several disks, each of which is one partition.
  int32_t disk = 0;
};

// How following a cluster chain one step ended.
enum class ChainStep {
  kCluster,  // one more cluster of the chain
  kEnd,      // an end mark: the chain is whole
  kBroken,   // a link to a cluster outside the data area (0, 1, past the FAT)
  kLoop,     // a link back to a cluster met before: the chain would never end
  kUnknown,  // a link in a sector of the FAT that could not be read
};

// A cluster chain as far as it has been followed (HumanVolume::FollowChain).
struct ChainCursor {
  explicit ChainCursor(uint16_t first = 0) : first(first) {}
  uint16_t first;
  std::vector<uint16_t> clusters;        // in chain order
  ChainStep stop = ChainStep::kCluster;  // how the chain ended; kCluster while it may go on
  std::vector<bool> seen;                // by cluster number: met already
};

// The reading state of an open file, made by its first read.
struct FileCursor {
  explicit FileCursor(uint16_t first) : chain(first) {}
  ChainCursor chain;
  size_t bufferedIndex = SIZE_MAX;  // which cluster of the chain clusterBuffer holds
  // Rescue reading: file offsets of the sectors counted unreadable, and the part that
  // comes as zeros because the chain cannot be followed into it (counted once).
  std::set<uint64_t> badSectors;
  uint64_t zerosFrom = UINT64_MAX;
  uint64_t zerosEnd = 0;
};

// One decoded 32-byte directory entry; as a FileHandle also the state of an open file.
struct FindResult {
  uint32_t tag = 0;
  int32_t firstByte = 0;  // 0 end of directory, 0xE5 deleted, anything else in use
  char fileName[23] = {};
  const char* longName = nullptr;  // alternative name for matching; never set by decoding
  int16_t attributes = 0;          // entry byte 11, sign-extended
  uint16_t modifyTime = 0;
  uint16_t modifyDate = 0;
  uint32_t fileSize = 0;
  uint16_t firstCluster = 0;
  uint16_t pendingCluster = 0;  // the cluster that holds the next byte FileRead gives
  // One cluster of the file, kept for reads that take part of it; made by the first read.
  std::unique_ptr<uint8_t[]> clusterBuffer;
  uint8_t* readPosition = nullptr;  // clusterBuffer once the file has been read; null before
  uint32_t bytesLeft = 0;           // bytes of the file in clusterBuffer after FileRead's position
  uint32_t bytesDelivered = 0;      // FileRead's position: the bytes it has given
  // Rescue reading: bytes of the file that could not be read and came as zeros, each
  // counted once however often it is read.
  uint32_t unreadableBytes = 0;
  // The stored size decides how much of the chain is the file (rescue reading, and the
  // mount); otherwise the chain does, as the design reads files.
  bool sizeDecides = false;
  std::unique_ptr<FileCursor> cursor;
};

// A directory the volume could not read, in whole or in part, noted when a path walk met
// it. The front ends take the notes with TakeDamage and say so.
struct DirectoryDamage {
  std::string path;          // the directory's full path on the partition
  bool whole = false;        // nothing of it could be read: the walk failed there
  uint32_t entriesLost = 0;  // rescue reading: entries in sectors that could not be read
};

using FileHandle = FindResult;

// The state of one directory enumeration, owned by the caller of FindFirst.
struct SearchRecord {
  // The directory enumerated, shared with the volume's cache; released by FindEnd.
  std::shared_ptr<const LoadedChain> directory;
  size_t position = 0;  // byte offset of the next entry in directory
};

// A read-only Human68k volume (a 16-bit FAT, or a 12-bit one on floppy disks and small PC
// media) over one SectorDevice. The volume holds the device
// by pointer and never releases it: the device must outlive the volume. It reads the
// device only through GetGeometry, SetGeometry, Seek with origin 0, Read and (rescue
// reading) ReadRescue.
//
// Life cycle: constructed -> ReadPartitionTable -> SelectPartition (mounted). Path,
// search and file operations are valid only on a mounted volume; on one whose mount
// failed they fail as a read failure would.
//
// The order of the virtual operations is part of the interface.
class HumanVolume {
 public:
  HumanVolume(const HumanVolume&) = delete;
  HumanVolume& operator=(const HumanVolume&) = delete;

  // 1 if the medium carries this variant's format, else 0 (also when it cannot be read).
  // Uses no state of the volume but the rescue setting, which its reads follow.
  virtual int Recognize(SectorDevice* device) = 0;
  // A new volume of the same variant bound to `device`; null when memory is exhausted.
  virtual std::unique_ptr<HumanVolume> Create(SectorDevice* device) = 0;
  // Fills up to `capacity` records of `table` and returns how many; 0 for every kind of
  // rejection. May change sectorMultiplier and nothing else in the volume.
  virtual int ReadPartitionTable(PartitionInfo* table, int capacity) = 0;
  // Makes the partition's disk the device's selected one (SectorDevice::SelectDisk), copies
  // the nine geometry fields and returns Mount's result; -1 when the disk cannot be selected.
  virtual int SelectPartition(const PartitionInfo& info);
  // Opens the file a path leads to; null if it leads to no file. `mode` has no effect.
  // The handle belongs to the caller and is valid while this volume stays mounted.
  virtual std::unique_ptr<FileHandle> FileOpen(const char* path, int mode);
  // Releases what the handle holds and clears its tag: 1, or VolumeErrorBadHandle with the
  // handle untouched. The handle's own memory belongs to the caller's owner.
  virtual int FileClose(FileHandle* handle);
  // Copies up to `length` next bytes of the file: the count (0 at the end of the file),
  // VolumeErrorBadHandle or VolumeErrorIo (the same cluster is tried again next time).
  virtual int FileRead(FileHandle* handle, void* buffer, uint32_t length);
  // Always VolumeErrorIo; nothing is written.
  virtual int FileWrite(FileHandle* handle, const void* buffer, uint32_t length);
  // 1, VolumeErrorNotDirectory or VolumeErrorNotFound; a failure changes nothing.
  virtual int ChangeDir(const char* path);
  // Bounded copy of currentPath into `buffer` of `size` bytes, zero-filled after a shorter
  // text and not terminated when the text fills it. Returns 1.
  virtual int GetCurrentDir(char* buffer, int size);
  virtual int FindFirst(SearchRecord* search, const char* path, FindResult* out);
  virtual int FindNext(SearchRecord* search, FindResult* out);
  virtual int FindEnd(SearchRecord* search);
  // Decodes the 32 bytes at `entry` into `out` and returns where the next entry starts:
  // the same place for an end entry (byte 0 is 0), 32 bytes on otherwise.
  virtual const uint8_t* DecodeDirEntry(const uint8_t* entry, FindResult* out);
  // Loads the FAT, the root directory and the current directory. 0, or -1 when the FAT
  // cannot be read or the geometry cannot be read at all.
  virtual int Mount();
  // The text after a leading '\\' or '/', or null when the path starts with neither.
  virtual const char* SkipRootSeparator(const char* path);
  // 1 when the low 16 bits of `cluster` lie in 0xFFF8..0xFFFF, or with a 12-bit FAT in
  // 0xFF8..0xFFF.
  virtual int IsEndOfChain(uint32_t cluster);
  // The FAT entry of the cluster (low 16 bits): a 16-bit little-endian word, or with a
  // 12-bit FAT the MS-DOS packing (entry n in the little-endian word at byte n * 3 / 2, its
  // high 12 bits for odd n, its low 12 bits for even n). Outside the FAT, or without a FAT,
  // 0: a free entry, which no chain may link to.
  virtual uint16_t NextCluster(uint32_t cluster);
  // The whole chain starting at `first` (0: the root directory) in a new buffer, or null
  // when a cluster cannot be read, the chain is broken or loops, or there is no FAT.
  virtual std::unique_ptr<LoadedChain> LoadChain(uint16_t first);
  // Reads one cluster into `destination` (sectorsPerCluster x sectorSize bytes): 0, or -1.
  virtual int ReadCluster(uint8_t* destination, uint32_t cluster);
  virtual void InvalidateCluster();
  // Stores new option bits, returns the previous ones.
  virtual int SetOptions(int flags);
  // 0 when `name` matches the entry's name under the option bits.
  virtual int MatchName(const FindResult& entry, const char* name);
  // 1 and the decoded entry in `out` when `name` is found in `contents`, else 0.
  virtual int LookupName(const LoadedChain& contents, FindResult* out, const char* name);
  virtual uint32_t Swap32(uint32_t value);
  virtual uint16_t Swap16(uint16_t value);
  // The path one step further from `directory` ("." and ".." handled).
  virtual std::string JoinPath(const char* directory, const char* component);
  // Rescue reading on (nonzero) or off; returns the previous setting. With it, a cluster
  // or directory sector that cannot be read is read again a device sector at a time,
  // each up to three times; what still fails reads as zeros (files, counted in
  // unreadableBytes) or as deleted entries (directories, noted as damage), and a file
  // whose chain breaks off is delivered to its size with zeros. The label, the partition
  // table and the boot sectors are read again a sector at a time the same way.
  virtual int SetRescue(int on);
  // 1 and the oldest damage note in `out` (removed from the notes), or 0 when none is
  // left. A directory read in part is noted once; one that cannot be read at each walk
  // that fails on it.
  virtual int TakeDamage(DirectoryDamage* out);

  // Opens the file of a decoded entry (its name, first cluster and size count), as
  // FileOpen opens the file a path leads to; null when memory is exhausted. With
  // `sizeDecides` the file is read for exactly its stored size (see FileReadAt).
  std::unique_ptr<FileHandle> FileOpenEntry(FindResult entry, bool sizeDecides);
  // Copies up to `length` bytes of the file from byte `offset` into `buffer`, the same
  // bytes FileRead gives there, and leaves FileRead's position alone: the count (less
  // than asked only at the end of the file), VolumeErrorBadHandle, or VolumeErrorIo when
  // a cluster cannot be read or the chain cannot be followed to it (bytes before it in
  // the same call come first as a count). Rescue reading gives zeros instead, counted in
  // unreadableBytes once per byte. The chain followed so far is kept in the handle, so
  // reads anywhere in the file cost no walk from its start.
  //
  // How long the file is: where the size decides (the handle's sizeDecides), exactly
  // its stored size (at most the partition's data area), and a chain that ends, breaks
  // off or loops before it is damage from that cluster on. Otherwise the chain decides
  // and the size says how much of its last cluster counts; a chain that ends before the
  // size keeps all its clusters and is damage after them, and the size decides for one
  // that loops.
  int FileReadAt(FileHandle* handle, uint64_t offset, void* buffer, uint32_t length);
  // Follows `chain` one cluster further through the loaded FAT: kCluster with the
  // cluster appended to chain->clusters, or how the chain ends (then kept in
  // chain->stop and given again by every later call). The first step takes the chain's
  // first cluster, which must be a data cluster like every later one. A chain can never
  // be longer than the FAT has entries, since a cluster met twice is a loop.
  ChainStep FollowChain(ChainCursor* chain);
  // Clusters of the chain from `first`, as far as it can be followed.
  uint32_t ChainLength(uint16_t first);

  // FindFirst over the directory that starts at `cluster` (0 the root), found by its
  // identity rather than by a path. Damage met there is noted under `path`, or not at all
  // when `path` is null. 1, VolumeErrorNoMoreEntries, or VolumeErrorNotFound when the
  // directory cannot be loaded.
  int FindFirstIn(SearchRecord* search, uint16_t cluster, const char* path, FindResult* out);
  // First cluster of the current directory: 0 the root, 0xFFFF nothing mounted.
  uint16_t CurrentDirCluster() const { return currentCluster; }
  // Entries of data clusters in sectors of the FAT that no copy could give (rescue
  // reading mounts without them); 0 when the whole FAT was read.
  uint32_t UnknownFatEntries() const;
  // Number of FAT entries read from the disk; 0 when no FAT is loaded. With a 12-bit FAT at
  // most 0xFF7, where the numbers that mark bad clusters and chain ends begin.
  uint32_t FatEntryCount() const;
  // True when `cluster` may stand in a chain: a data cluster the loaded FAT describes.
  bool IsChainCluster(uint32_t cluster) const;
  // Size of one cluster in bytes (0 before a partition is selected).
  uint32_t ClusterBytes() const;
  // Reads `count` clusters that follow each other on the disk, from `first`, into
  // `destination` with one device request: 0, or -1 (and the position forgotten).
  int ReadClusterRun(uint8_t* destination, uint32_t first, uint32_t count);

  virtual ~HumanVolume();

 protected:
  HumanVolume();

  // Where a file's cluster `index` stands (FileCluster).
  enum class FilePart {
    kData,  // a cluster of the chain, some bytes of which belong to the file
    kEnd,   // past the end of the file
    kLost,  // the chain cannot be followed to it
  };
  // The cluster number of cluster `index` of the open file and how many of its bytes
  // belong to the file: the chain decides how many clusters there are, the size how
  // much of the last one counts.
  FilePart FileCluster(FileHandle* handle, size_t index, uint16_t* cluster, uint32_t* counted);
  // How many clusters from `index` on may be read in one request straight into the
  // caller's buffer: neighbours on the disk that each count whole for the file, at most
  // `most` and at most what one request carries.
  uint32_t WholeClusterRun(FileHandle* handle, size_t index, uint32_t most);
  // How many bytes of the file's last cluster count: the size decides.
  static uint32_t LastClusterBytes(const FileHandle& handle, uint32_t clusterBytes);
  // Makes the handle's cursor and cluster buffer on its first read; false when memory
  // is exhausted.
  bool PrepareRead(FileHandle* handle);
  // Reads the first 4096 bytes of the device (baseSector must still be 0) into `buffer`,
  // as ReadHead does. False when the device sector size does not divide 4096 or the read
  // fails.
  bool ReadMediaHead(SectorDevice* device, uint8_t* buffer, int32_t* bytesPerSector);
  // Reads 4096 bytes from device sector `sector` (of `d` bytes) into `buffer`. When that
  // fails, sector by sector (with rescue reading each up to three times through
  // ReadRescue): false when one of the first `needed` bytes cannot be read; other sectors
  // that cannot be read are zeros.
  bool ReadHead(SectorDevice* device, int64_t sector, int32_t d, size_t needed, uint8_t* buffer);
  // The decoding both variants share. The second name part (bytes 12-21) is appended when
  // byte 12 is not a space, or with `extraOnlyAboveSpace` only when it is above 0x20.
  const uint8_t* DecodeEntry(const uint8_t* entry, FindResult* out, bool extraOnlyAboveSpace);

  // Where a path walk ended.
  struct PathWalk {
    std::shared_ptr<const LoadedChain> contents;  // the directory the path names
    uint16_t cluster = 0;                         // its first cluster; 0 the root
    std::string text;                             // its path text (only when asked for)
    FindResult entry;          // the entry that is no directory, when one ended the walk
    bool entryIsLast = false;  // nothing, not even a separator, follows that entry's name
  };
  // Resolves `path` (null counts as empty) from the root when it starts with a separator,
  // else from the current directory, taking every directory on the way from Directory. Returns
  // 1 with the directory in `walk`; VolumeErrorNotDirectory when a component names an
  // entry without the directory bit (`walk->entry` holds it, `walk->contents` is empty);
  // VolumeErrorNotFound when a component does not exist or a directory cannot be loaded.
  // With `buildText` the walk also carries the path text along, as ChangeDir keeps it.
  int WalkPath(const char* path, bool buildText, PathWalk* walk);
  // The directory that starts at `cluster` (0 the root): the cached one, or loaded with
  // LoadChain and offered to the cache. Null when it cannot be loaded; a failed load is
  // not remembered.
  std::shared_ptr<const LoadedChain> Directory(uint16_t cluster);
  // LookupName through the directory's name index, built or rebuilt under the option bits
  // in force; gives exactly the entry the scan gives.
  int LookupIndexed(const LoadedChain& contents, FindResult* out, const char* name);
  // Reads `count` device sectors from `first` (relative to the device's base) into
  // `destination` with one request; where that fails, each sector again on its own
  // (RetrySectors). The indexes of the sectors that could not be read go to `bad`,
  // which is empty when all were read.
  void ReadSectorsExact(uint8_t* destination, int64_t first, uint32_t count,
                        std::vector<uint32_t>* bad);
  // ReadSectorsExact for `count` clusters from `first` that follow each other on the
  // disk. False, with nothing read, when they lie outside the data area.
  bool ReadClustersExact(uint8_t* destination, uint32_t first, uint32_t count,
                         std::vector<uint32_t>* bad);
  // Reads `count` device sectors from `first` one at a time past the system's cache
  // (ReadRescue), each up to three times under rescue reading and once otherwise; a
  // sector that still fails is zeros in `destination` and its index goes to `bad`.
  // Leaves the position unknown.
  void RetrySectors(uint8_t* destination, int64_t first, uint32_t count,
                    std::vector<uint32_t>* bad);
  // Positions the device at `sector` (origin 0). False when the sector is out of the
  // device's range or the device refuses: the read that needed it fails as well.
  bool SeekDevice(int64_t sector);
  // Device sector where cluster `cluster` starts, relative to the partition.
  int64_t ClusterSector(uint32_t cluster) const;
  // Device sectors in one cluster, and bytes in one device sector.
  uint32_t DeviceSectorsPerCluster() const;
  uint32_t DeviceSectorBytes() const;
  // Rescue-reads a directory's bad sectors: entries in them read as deleted, and their
  // number within `limit` bytes of entries is added to the chain's entriesLost.
  void MarkLostEntries(LoadedChain* chain, size_t offset, const std::vector<uint32_t>& bad,
                       size_t limit);
  // Counts as unreadable the sectors `bad` (indexes from the start of the file's cluster
  // `index`) that lie within the first `limit` bytes from there; each file offset once.
  void CountUnreadable(FileHandle* handle, size_t index, const std::vector<uint32_t>& bad,
                       uint64_t limit);
  // Rescue reading of a file whose chain cannot be followed from byte `from` on: the rest
  // up to its size comes as zeros and counts as unreadable.
  void LoseRest(FileHandle* handle, uint64_t from);
  // Notes damage met by a walk at the directory `path`.
  void NoteDamage(const LoadedChain* contents, const std::string& path);
  // Reads the FAT, each device sector the first copy cannot give from the next copy that
  // can. False when a sector comes from no copy, unless rescue reading notes it in
  // unknownFat and goes on.
  bool ReadFat(uint32_t sectors);
  // False when the entry of `cluster` lies in a sector of the FAT that could not be read; a
  // 12-bit entry that straddles two sectors is unknown when either is.
  bool FatEntryKnown(uint32_t cluster) const;
  // LookupName by decoding the entries in order.
  int LookupScanning(const LoadedChain& contents, FindResult* out, const char* name);
  // JoinPath done in place on `text`.
  static void StepPathText(std::string* text, const char* component);
  // The chain from `first` followed to its end: its clusters, and how it ended.
  ChainCursor WholeChain(uint16_t first);

  // Partition geometry: what the selected PartitionInfo held.
  uint16_t sectorSize = 0;
  uint16_t sectorsPerCluster = 0;
  int32_t startSector = 0;
  int32_t partitionSectors = 0;
  int32_t fatStart = 0;
  int32_t fatSectors = 0;
  uint16_t fatCount = 0;
  int32_t rootStart = 0;
  int32_t rootBytes = 0;

  int sectorMultiplier = 1;
  // Width of a FAT entry, 16 or 12: the variant decides, at the latest when it mounts.
  int fatBits = 16;
  SectorDevice* device = nullptr;  // not owned
  int options = 0;
  // The first FAT copy as stored on the disk, followed by as many zero bytes; empty when
  // no FAT is loaded.
  std::vector<uint8_t> fat;
  uint16_t currentCluster = 0xFFFF;  // 0 the root, 0xFFFF nothing mounted
  std::string currentPath = "\\";
  std::shared_ptr<const LoadedChain> rootDirectory;
  std::shared_ptr<const LoadedChain> currentDirectory;
  int expectedCluster = -1;  // cluster the device stands at for ReadCluster; -1 unknown
  // Every directory loaded since the mount, up to 16 MiB with their name indexes.
  DirectoryCache directories{16u << 20};
  bool rescue = false;
  std::vector<bool> unknownFat;         // by device sector of the FAT: no copy gave it; or empty
  std::vector<DirectoryDamage> damage;  // notes not yet taken, oldest first
};

#endif  // VOLUME_HUMAN_VOLUME_H_
