// Treats its input as a disk image: recognises it, reads the partition table, mounts every
// partition and walks its whole tree, reading every file. The volume must neither crash,
// hang, leak nor read outside its buffers, whatever the image holds.
//
// Input layout: fuzz/fuzz_input.h.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "volume/human_volume.h"

namespace {

using fuzzinput::Budget;
using fuzzinput::kMaxDepth;

void ReadFile(HumanVolume* volume, const char* path, Budget* budget) {
  if (budget->files <= 0) return;
  --budget->files;
  std::unique_ptr<FileHandle> handle = volume->FileOpen(path, 1);
  if (!handle) return;
  static uint8_t buffer[8192];
  while (budget->reads > 0) {
    --budget->reads;
    const int count = volume->FileRead(handle.get(), buffer, sizeof buffer);
    if (count <= 0) break;
  }
  volume->FileClose(handle.get());
}

std::string CurrentDir(HumanVolume* volume) {
  std::vector<char> text(4096);
  volume->GetCurrentDir(text.data(), static_cast<int>(text.size() - 1));
  return std::string(text.data());
}

void WalkTree(HumanVolume* volume, int depth, Budget* budget) {
  if (depth > kMaxDepth || budget->directories <= 0) return;
  --budget->directories;
  const std::string here = CurrentDir(volume);
  SearchRecord search;
  FindResult entry;
  int result = volume->FindFirst(&search, ".", &entry);
  if (result != 1 && result != VolumeErrorNoMoreEntries) return;
  while (result == 1) {
    const std::string name = entry.fileName;
    if (name != "." && name != "..") {
      if ((entry.attributes & 0x10) != 0) {
        if (volume->ChangeDir(name.c_str()) == 1) {
          WalkTree(volume, depth + 1, budget);
          volume->ChangeDir(here.c_str());
        }
      } else {
        ReadFile(volume, name.c_str(), budget);
        // The same file again by its absolute path.
        const std::string absolute = here == "\\" ? here + name : here + "\\" + name;
        ReadFile(volume, absolute.c_str(), budget);
      }
    }
    result = volume->FindNext(&search, &entry);
  }
  volume->FindEnd(&search);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzinput::ForEachPartition(data, size, [](HumanVolume* volume) {
    Budget budget;
    WalkTree(volume, 0, &budget);
    // A few paths that are not names from the disk.
    volume->ChangeDir("\\");
    const char* paths[] = {"", "\\", "/./..//.", "\x83", "\\\x83\\", ".."};
    for (const char* path : paths) {
      SearchRecord search;
      FindResult entry;
      const int result = volume->FindFirst(&search, path, &entry);
      if (result == 1 || result == VolumeErrorNoMoreEntries) volume->FindEnd(&search);
      volume->FileOpen(path, 1);
    }
  });
  return 0;
}
