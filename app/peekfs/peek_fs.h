#ifndef APP_PEEKFS_PEEK_FS_H_
#define APP_PEEKFS_PEEK_FS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
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
//   only the first is shown: a lookup always finds that one. A directory entry whose
//   cluster is the directory's own or an ancestor's on the path is not shown either.
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
//   size, or -EIO when any cluster of it cannot be read or the chain breaks. A chain that
//   ends before the size ends the file there, as the copy ends. With rescue reading on
//   the volume, what cannot be read comes as zeros, and each damaged file is said once
//   per mount through `warn`, with the bytes of the distinct sectors lost.
//
// Directory listings are kept by path, up to a bound on their entries in all.
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

  // Listings kept at most, counted in entries.
  static constexpr size_t kListingEntryLimit = 1u << 18;

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
    std::string diskPath;             // absolute, '\\'-separated, as the volume walks it
    std::vector<uint16_t> ancestors;  // clusters from the root (0) to this directory
    uint64_t entryBytes = 0;          // the root only: the bytes of its area
    std::vector<Node> nodes;
    std::unordered_map<std::string, size_t> byName;  // host name -> index in nodes
  };
  // One open file.
  struct OpenFile {
    std::unique_ptr<FileHandle> handle;
    std::string diskPath;  // its full path on the partition, for the damage message
  };

  // The listing of the directory `path`: 0, -ENOENT, -ENOTDIR or -EIO.
  int FindListing(const std::string& path, std::shared_ptr<const Listing>* out);
  // Reads the directory a node of `parent` names (null: the root) into `out`.
  int LoadListing(const Listing* parent, const Node* node, std::shared_ptr<Listing>* out);
  // The node `path` names (not the root): 0, -ENOENT, -ENOTDIR or -EIO.
  int FindNode(const std::string& path, std::shared_ptr<const Listing>* listing, const Node** node);
  platform::NodeAttributes AttributesOf(const Node& node);
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
  std::unordered_map<std::string, std::shared_ptr<const Listing>> listings;
  size_t listedEntries = 0;
  std::unordered_map<uint64_t, std::unique_ptr<OpenFile>> files;
  uint64_t nextHandle = 1;
  Warning warn;
  std::unordered_set<std::string> saidDamaged;  // disk paths
};

#endif  // APP_PEEKFS_PEEK_FS_H_
