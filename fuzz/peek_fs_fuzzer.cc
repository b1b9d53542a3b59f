// Treats its input as a disk image, as volume_fuzzer does, and serves every partition
// through PeekFs without FUSE: walks the tree with ReadDirectory and GetAttributes, opens
// each file and reads it at the offsets and sizes the input gives and then from its start
// to its end, and asks StatFs. PeekFs must neither crash, hang, leak nor read outside its
// buffers, and a read must give no more than was asked for and no more than the file
// holds, whatever the image holds.
//
// Input layout: fuzz/fuzz_input.h, and in byte 0
//   bit 4: host names in UTF-8 instead of the disk's bytes
// The last 20 bytes of the input, which are also the end of the image, give the first
// four reads of each file: a 24-bit offset and a 16-bit size, each little-endian.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/peekfs/peek_fs.h"
#include "fuzz/fuzz_input.h"
#include "platform/host_text.h"
#include "volume/human_volume.h"

namespace {

using fuzzinput::Budget;
using fuzzinput::kMaxDepth;
constexpr size_t kPlannedReads = 4;
constexpr size_t kPlanBytes = kPlannedReads * 5;
// Not a divisor of any cluster size, so that sequential reads start inside clusters.
constexpr size_t kChunk = 3000;

struct PlannedRead {
  int64_t offset = 0;
  size_t size = 0;
};

char buffer[65536];

// One read, checked against what the file can give.
void ReadAt(PeekFs* fs, uint64_t handle, uint64_t fileSize, int64_t offset, size_t size,
            int* count) {
  *count = fs->Read(handle, buffer, size, offset);
  const uint64_t left =
      static_cast<uint64_t>(offset) < fileSize ? fileSize - static_cast<uint64_t>(offset) : 0;
  if (*count > 0 && (static_cast<size_t>(*count) > size || static_cast<uint64_t>(*count) > left)) {
    std::abort();
  }
}

void ReadFile(PeekFs* fs, const std::string& path, uint64_t fileSize,
              const PlannedRead (&plan)[kPlannedReads], Budget* budget) {
  if (budget->files <= 0) return;
  --budget->files;
  uint64_t handle = 0;
  if (fs->Open(path, false, &handle) != 0) return;
  int count = 0;
  for (const PlannedRead& read : plan) {
    if (budget->reads <= 0) break;
    --budget->reads;
    ReadAt(fs, handle, fileSize, read.offset, read.size, &count);
  }
  for (int64_t offset = 0; budget->reads > 0; offset += count) {
    --budget->reads;
    ReadAt(fs, handle, fileSize, offset, kChunk, &count);
    if (count <= 0) break;
  }
  fs->Release(handle);
}

void WalkTree(PeekFs* fs, const std::string& path, int depth,
              const PlannedRead (&plan)[kPlannedReads], Budget* budget) {
  if (depth > kMaxDepth || budget->directories <= 0) return;
  --budget->directories;
  std::vector<std::string> names;
  const auto keep = [&names](const std::string& name, const platform::NodeAttributes&) {
    names.push_back(name);
    return true;
  };
  if (fs->ReadDirectory(path, 0, keep) != 0) return;
  // The rest of the listing from its middle, as the kernel asks for a long one in parts.
  const size_t listed = names.size();
  fs->ReadDirectory(path, listed / 2, keep);
  names.resize(listed);
  const std::string prefix = path == "/" ? path : path + "/";
  platform::NodeAttributes attributes;
  fs->GetAttributes(prefix + "NO SUCH NAME", &attributes);
  for (const std::string& name : names) {
    const std::string child = prefix + name;
    if (fs->GetAttributes(child, &attributes) != 0) continue;
    if (attributes.isDirectory) {
      WalkTree(fs, child, depth + 1, plan, budget);
      continue;
    }
    uint64_t handle = 0;
    fs->Open(child, true, &handle);  // refused: the mount is read-only
    const uint64_t fileSize = attributes.size;
    fs->GetAttributes(child + "/X", &attributes);
    ReadFile(fs, child, fileSize, plan, budget);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  PlannedRead plan[kPlannedReads];
  if (size >= kPlanBytes) {
    const uint8_t* at = data + size - kPlanBytes;
    for (PlannedRead& read : plan) {
      read.offset = at[0] | (at[1] << 8) | (at[2] << 16);
      read.size = static_cast<size_t>(at[3] | (at[4] << 8));
      at += 5;
    }
  }
  const std::unique_ptr<platform::HostText> text =
      platform::NewHostTextFor((data[0] & 16) != 0 ? "UTF-8" : "C");
  Budget budget;
  fuzzinput::ForEachPartition(data, size, [&](HumanVolume* volume) {
    PeekFs fs(volume, text.get());
    platform::FileSystemTotals totals;
    fs.StatFs(&totals);
    platform::NodeAttributes root;
    fs.GetAttributes("/", &root);
    WalkTree(&fs, "/", 0, plan, &budget);
    fs.Release(0);  // no such handle
  });
  return 0;
}
