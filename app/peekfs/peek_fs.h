#ifndef APP_PEEKFS_PEEK_FS_H_
#define APP_PEEKFS_PEEK_FS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/fuse_mount.h"
#include "platform/host_text.h"
#include "volume/human_volume.h"

// The file-system operations of peekfs: the tree hauldisk would copy from the root of a
// mounted volume, as a read-only file system.
//
// - Entries: the files and directories a copy takes; volume labels, links, "." and "..",
//   and names a copy refuses (IsUnsafeName) or cannot look up (a '\\' of their own) are
//   not shown. Of two entries with the same name (as the volume's lookup compares names)
//   only the first is shown: a lookup always finds that one.
// - Each directory is shown once, in the folder its own ".." entry names (the root for
//   0), as on every healthy disk; other entries that point at it (cross-links of a
//   damaged disk) are not shown. Where its ".." cannot be read, or names a folder that
//   holds no entry for it, it is shown where it is first found. A directory entry whose
//   cluster is the folder's own or an ancestor's is never shown, so the tree is finite.
// - Names are host text (HostText::FromDisk: UTF-8 with the %XX escape, or bytes as they
//   are); paths use '/'.
// - Attributes: files 0644, directories 0755, less the write bits under the read-only
//   attribute; the stored time taken as local time (0 when it is not a real one, and for
//   the root, which has no entry); the stored size; 1 link for a file, 2 for a directory;
//   512-byte blocks of the clusters (a file's from its size, a directory's from its chain,
//   the root's from its area).
// - Reads go through the volume's reader (HumanVolume::FileReadAt), which keeps the
//   open file's chain as far as it has been followed: any offset, forwards or backwards,
//   costs no walk from the chain's start. A read gives all it is asked for up to the
//   size, or -EIO when any cluster of it cannot be read or the chain cannot be followed
//   to it: the file's stored size never changes. With rescue reading on the volume, what
//   cannot be read comes as zeros, and each damaged file is said once per mount through
//   `warn`, with the bytes of the distinct sectors lost.
//
// Directories are held by their first cluster, never found again by a path text. Their
// listings are kept up to a bound in bytes, least recently used first out; the one in use
// always stays.
class PeekFs final : public platform::ReadOnlyFileSystem {
 public:
  // Takes one line of host text, without its line end, for the user of the mount.
  using Warning = std::function<void(const std::string& line)>;

  // `volume` is a mounted one; `text` makes host names. Neither is owned; both must
  // outlive this object. `warn` (may be empty) hears of damaged files.
  PeekFs(HumanVolume* volume, const platform::HostText* text, Warning warn = Warning());
  // Says what open files were found damaged and not said yet.
  ~PeekFs() override;

  int GetAttributes(const std::string& path, platform::NodeAttributes* out) override;
  int ReadDirectory(const std::string& path, size_t first, const EntrySink& sink) override;
  int Open(const std::string& path, bool forWriting, uint64_t* handle) override;
  int Read(uint64_t handle, char* buffer, size_t size, int64_t offset) override;
  int Release(uint64_t handle) override;
  // The cluster size, the clusters the FAT describes (its entries less 2), nothing free.
  int StatFs(platform::FileSystemTotals* out) override;

  // Bytes of listings kept at most, beyond the one in use.
  static constexpr size_t kListingBytesLimit = 64u << 20;

 private:
  // One shown entry.
  struct Node {
    std::string hostName;
    std::string diskName;  // code page 932, as the entry holds it
    bool isDirectory = false;
    uint8_t attributes = 0;
    uint16_t date = 0;
    uint16_t time = 0;
    uint32_t size = 0;
    uint16_t firstCluster = 0;
  };
  // The shown entries of one directory.
  struct Listing {
    uint16_t cluster = 0;     // the directory's first cluster; 0 the root
    uint64_t entryBytes = 0;  // the root only: the bytes of its area
    std::vector<Node> nodes;
    // Names met but not shown, which still hide a later entry of the same name.
    std::vector<std::string> hiddenNames;
    // Host names by hash, open addressing probed linearly: each slot holds the name's
    // hash (high 32 bits) and its place, index + 1 in nodes, or kHiddenPlace | index + 1 in
    // hiddenNames; 0 is a free slot. At least twice the names, so probes stay short.
    std::vector<uint64_t> slots;
    size_t bytes = 0;  // what it counts against the bound

    static constexpr uint32_t kHiddenPlace = 1u << 31;
    // The name of a place.
    const std::string& NameAt(uint32_t place) const;
    // The place of `name`, or 0 when it has none.
    uint32_t Find(const std::string& name) const;
    // Gives `name` the place `place`, or keeps the one it has: true when it had none.
    bool Add(const std::string& name, uint32_t place);
  };
  // Where a directory is shown: the folder that holds it and its name there.
  struct Place {
    uint16_t parent = 0;
    std::string diskName;
  };
  // One open file.
  struct OpenFile {
    std::unique_ptr<FileHandle> handle;
    std::string diskPath;  // its full path on the partition, for the damage message
  };

  // The listing of the directory `path`: 0, -ENOENT, -ENOTDIR or -EIO.
  int FindListing(const std::string& path, std::shared_ptr<const Listing>* out);
  // The listing of the directory that starts at `cluster`, kept or loaded: 0 or -EIO.
  int ListingOf(uint16_t cluster, std::shared_ptr<const Listing>* out);
  // Reads the directory that starts at `cluster` into `out`: 0 or -EIO.
  int LoadListing(uint16_t cluster, std::shared_ptr<Listing>* out);
  // Whether the directory entry `name` -> `child` in the folder `cluster` is where the
  // child is shown (and notes it as its place when it is the first).
  bool ShowsHere(uint16_t cluster, uint16_t child, const std::string& name);
  // The first directory entry of the folder `cluster` that `wanted` takes: true and its
  // first cluster in `found`, or false when there is none (or the folder cannot be read).
  bool FindSubdirectory(uint16_t cluster, const std::function<bool(const FindResult&)>& wanted,
                        uint16_t* found);
  // Whether `candidate` is `cluster` or one of the folders it is shown in, up to the root.
  bool IsSelfOrAncestor(uint16_t cluster, uint16_t candidate) const;
  // The directory's full path on the partition, '\'-separated, from the places.
  std::string DiskPath(uint16_t cluster) const;
  // The node `path` names (not the root): 0, -ENOENT, -ENOTDIR or -EIO.
  int FindNode(const std::string& path, std::shared_ptr<const Listing>* listing, const Node** node);
  platform::NodeAttributes AttributesOf(const Node& node);
  // The stored date and time as seconds since 1970, taken as local time; 0 when they are
  // no real date and time.
  int64_t LocalSeconds(uint16_t date, uint16_t time);
  int RootAttributes(platform::NodeAttributes* out);
  // The disk's name compared as the volume's lookup compares it.
  std::string NameKey(const std::string& diskName) const;
  // Says once per file of the mount that `file` is damaged, if it is.
  void SayDamage(const OpenFile& file);
  // Drops the damage notes the volume took; true when a directory was unreadable.
  bool TakeDamage();

  HumanVolume* volume;
  const platform::HostText* text;
  bool caseSensitive;
  // Listings, most recently used first, and by cluster.
  std::list<std::shared_ptr<const Listing>> recent;
  std::unordered_map<uint16_t, std::list<std::shared_ptr<const Listing>>::iterator> listings;
  size_t listedBytes = 0;
  std::unordered_map<uint32_t, int64_t> secondsOfStamp;  // date << 16 | time -> LocalSeconds
  static constexpr size_t kStampsKept = 1u << 16;
  std::unordered_map<uint16_t, Place> places;  // every directory shown so far, but the root
  // Host paths of directories met, to their clusters: a path is walked once. Bounded.
  std::unordered_map<std::string, uint16_t> clusterOfPath;
  size_t pathBytes = 0;
  std::unordered_map<uint64_t, std::unique_ptr<OpenFile>> files;
  uint64_t nextHandle = 1;
  Warning warn;
  std::unordered_set<std::string> saidDamaged;  // disk paths
};

#endif  // APP_PEEKFS_PEEK_FS_H_
