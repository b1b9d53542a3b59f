// Treats its input as a disk image: recognises it, reads the partition table, mounts every
// partition and walks its whole tree, reading every file. The volume must neither crash,
// hang, leak nor read outside its buffers, whatever the image holds.
//
// Input layout: byte 0 chooses the device and the volume options, the rest is the image.
//   bit 0: device sectors of 2048 bytes instead of 512
//   bit 1: names compare without case (OptionCaseSensitive cleared)
//   bit 2: names without their second part (OptionExtendedNames cleared)
//   bit 3: rescue reading, from the recognition of the medium on

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/fake_sector_device.h"
#include "volume/human_volume.h"
#include "volume/media_recognition.h"

namespace {

// Bounds on the work per input, so that a tree whose directories lead back to their
// parents or to the root finishes quickly.
struct Budget {
  int directories = 256;
  int files = 512;
  int reads = 4096;
};

constexpr int kMaxDepth = 32;

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
  if (size < 1) return 0;
  const uint8_t control = data[0];
  // Reads past the end copy what there is and fail.
  FakeSectorDevice device(std::vector<uint8_t>(data + 1, data + size),
                          (control & 1) != 0 ? 2048 : 512);
  device.KeepLog(false);

  const bool rescue = (control & 8) != 0;
  std::unique_ptr<HumanVolume> media = RecognizeMedia(&device, rescue);
  if (!media) return 0;

  PartitionInfo table[15];
  const int count = media->ReadPartitionTable(table, 15);
  for (int i = 0; i < count; ++i) {
    // A volume mounts one partition in its life.
    std::unique_ptr<HumanVolume> volume = media->Create(&device);
    if (!volume) return 0;
    volume->SetRescue(rescue ? 1 : 0);
    int options = 7;
    if ((control & 2) != 0) options &= ~OptionCaseSensitive;
    if ((control & 4) != 0) options &= ~OptionExtendedNames;
    volume->SetOptions(options);
    if (volume->SelectPartition(table[i]) != 0) continue;
    Budget budget;
    WalkTree(volume.get(), 0, &budget);
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
  }
  return 0;
}
