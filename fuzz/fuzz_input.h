// What both fuzzers make of their input: byte 0 chooses the device and the volume options,
// the rest is the image.
//   bit 0: device sectors of 2048 bytes instead of 512
//   bit 1: names compare without case (OptionCaseSensitive cleared)
//   bit 2: names without their second part (OptionExtendedNames cleared)
//   bit 3: rescue reading, from the recognition of the medium on
#ifndef FUZZ_FUZZ_INPUT_H_
#define FUZZ_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tests/fake_sector_device.h"
#include "volume/human_volume.h"
#include "volume/media_recognition.h"

namespace fuzzinput {

// Bounds on the work per input, so that a tree whose directories lead back to their
// parents, or to the same subdirectories many times, finishes quickly.
struct Budget {
  int directories = 256;
  int files = 512;
  int reads = 4096;
};

constexpr int kMaxDepth = 32;

// Recognises the image, reads its partition table and calls `visit` with a volume mounted
// on each partition whose FAT can be read (a volume mounts one partition in its life).
template <typename Visit>
void ForEachPartition(const uint8_t* data, size_t size, Visit visit) {
  if (size < 1) return;
  const uint8_t control = data[0];
  // Reads past the end copy what there is and fail.
  FakeSectorDevice device(std::vector<uint8_t>(data + 1, data + size),
                          (control & 1) != 0 ? 2048 : 512);
  device.KeepLog(false);
  const bool rescue = (control & 8) != 0;
  std::unique_ptr<HumanVolume> media = RecognizeMedia(&device, rescue);
  if (!media) return;
  PartitionInfo table[15];
  const int count = media->ReadPartitionTable(table, 15);
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<HumanVolume> volume = media->Create(&device);
    if (!volume) return;
    volume->SetRescue(rescue ? 1 : 0);
    int options = 7;
    if ((control & 2) != 0) options &= ~OptionCaseSensitive;
    if ((control & 4) != 0) options &= ~OptionExtendedNames;
    volume->SetOptions(options);
    if (volume->SelectPartition(table[i]) != 0) continue;
    visit(volume.get());
  }
}

}  // namespace fuzzinput

#endif  // FUZZ_FUZZ_INPUT_H_
