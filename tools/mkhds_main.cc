// mkhds: makes an X68000 SCSI-format disk image (an emulator's .HDS file) from host
// folders, one partition per folder, or a Human68k 2HD floppy image from one folder.
//
//   mkhds OUT.HDS DIR [DIR...]     (mkhds --help, mkhds --version)
//   mkhds --floppy OUT.XDF DIR
//
// Host names are taken as UTF-8 and stored as code page 932; each file and folder keeps
// its modification time (as local time) and its read-only bit. Names must fit the
// directory entry: a base of up to 18 bytes and an extension of up to 3.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/host_text.h"
#include "platform/target_file_system.h"
#include "tools/image_builder.h"

namespace {

namespace fs = std::filesystem;
using imagebuilder::Node;

constexpr uint32_t kSectorSize = 1024;
// Cluster numbers are 16 bits wide (0xFFF7 and up are marks), and the FAT of an X68000
// partition holds at most 255 sectors of 2-byte entries; stay clear of both.
constexpr uint64_t kMostClusters = 65000;

const char kUsage[] = "Usage: mkhds OUT.HDS DIR [DIR...]\n       mkhds --floppy OUT.XDF DIR\n";

const char kHelp[] =
    "Usage: mkhds OUT.HDS DIR [DIR...]\n"
    "       mkhds --floppy OUT.XDF DIR\n"
    "Makes OUT.HDS, an X68000 SCSI disk image such as emulators take, with one\n"
    "partition per DIR that holds its files and folders; or with --floppy OUT.XDF, a\n"
    "raw Human68k 2HD floppy image (1232 sectors of 1024 bytes, 1221 clusters of 1 KiB,\n"
    "192 root entries) holding DIR, its cluster chains interleaved. Names are taken as\n"
    "UTF-8 and stored as Shift_JIS, at most 18 + 3 bytes; each entry keeps its\n"
    "modification time (as local time) and its read-only bit.\n"
    "  --floppy   make a 2HD floppy image of one DIR\n"
    "  --help     print this text\n"
    "  --version  print the version\n";

bool HasArgument(int argc, char** argv, const char* whole) {
  for (int index = 1; index < argc; ++index) {
    if (std::strcmp(argv[index], whole) == 0) return true;
  }
  return false;
}

bool ReadFile(const fs::path& path, std::string* contents) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char block[65536];
  size_t count;
  while ((count = std::fread(block, 1, sizeof(block), file)) > 0) contents->append(block, count);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

bool ReadFolder(const fs::path& folder, const platform::HostText& text, std::vector<Node>* out) {
  std::vector<fs::path> paths;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    paths.push_back(it->path());
  }
  if (error) {
    std::fprintf(stderr, "mkhds: cannot read %s: %s\n", folder.c_str(), error.message().c_str());
    return false;
  }
  std::sort(paths.begin(), paths.end());
  for (const fs::path& path : paths) {
    Node node;
    node.name = text.ToDisk(path.filename().string());
    platform::DosDateTime stamp;
    bool readOnly = false;
    if (!platform::ReadHostStamp(path.string(), &stamp, &readOnly)) {
      std::fprintf(stderr, "mkhds: cannot read %s\n", path.c_str());
      return false;
    }
    node.date = stamp.date;
    node.time = stamp.time;
    if (fs::is_directory(path)) {
      node.isDirectory = true;
      node.attributes = static_cast<uint8_t>(0x10 | (readOnly ? 0x01 : 0));
      if (!ReadFolder(path, text, &node.children)) return false;
    } else if (fs::is_regular_file(path)) {
      node.attributes = static_cast<uint8_t>(0x20 | (readOnly ? 0x01 : 0));
      if (!ReadFile(path, &node.contents)) {
        std::fprintf(stderr, "mkhds: cannot read %s\n", path.c_str());
        return false;
      }
    } else {
      std::fprintf(stderr, "mkhds: skipping %s (not a file or folder)\n", path.c_str());
      continue;
    }
    out->push_back(std::move(node));
  }
  return true;
}

// Writes a built image to `path`: the exit status, after saying what went wrong.
int Write(const imagebuilder::Image& image, const char* path) {
  if (!image.error.empty()) {
    std::fprintf(stderr, "mkhds: %s\n", image.error.c_str());
    return 1;
  }
  if (!image.WriteTo(path)) {
    std::fprintf(stderr, "mkhds: cannot write %s\n", path);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // As with peekdisk: either, wherever it stands, is the whole run.
  if (HasArgument(argc, argv, "--help")) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (HasArgument(argc, argv, "--version")) {
    std::printf("mkhds %s\n", PEEK_VERSION);
    return 0;
  }
  auto text = platform::NewHostTextFor("UTF-8");
  const bool floppy = argc > 1 && std::strcmp(argv[1], "--floppy") == 0;
  if (floppy ? argc != 4 : argc < 3) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  if (floppy) {
    imagebuilder::PartitionLayout partition;
    if (!ReadFolder(argv[3], *text, &partition.root)) return 1;
    imagebuilder::FloppyOptions options;
    options.scatter = true;
    return Write(imagebuilder::BuildHumanFloppy(partition, options), argv[2]);
  }
  imagebuilder::X68kImageLayout layout;
  for (int index = 2; index < argc; ++index) {
    std::vector<Node> root;
    if (!ReadFolder(argv[index], *text, &root)) return 1;
    imagebuilder::PartitionLayout partition;
    partition.sectorSize = kSectorSize;
    // Small clusters waste the least on small files.
    partition.sectorsPerCluster =
        imagebuilder::SmallestSectorsPerCluster(root, kSectorSize, kMostClusters);
    partition.rootEntries =
        static_cast<uint16_t>(std::max<size_t>(512, (root.size() + 31) / 32 * 32));
    partition.root = std::move(root);
    layout.partitions.push_back(std::move(partition));
  }
  return Write(imagebuilder::BuildX68k(layout), argv[1]);
}
