#include "volume/media_recognition.h"

#include "volume/human_floppy_volume.h"
#include "volume/pc_fat_volume.h"
#include "volume/x68k_scsi_volume.h"

std::unique_ptr<HumanVolume> RecognizeMedia(SectorDevice* device, bool rescue, bool* recognized) {
  if (recognized != nullptr) *recognized = false;
  // Volumes without a device answer Recognize and Create only. A medium can carry the
  // X68000 marks and the end mark of a PC boot sector; the X68000 variant is asked first.
  // A Human68k floppy boot sector starts with a 68000 branch, which neither of them takes.
  X68kScsiVolume x68kMedia;
  PcFatVolume pcMedia;
  HumanFloppyVolume floppyMedia;
  HumanVolume* const variants[] = {&x68kMedia, &pcMedia, &floppyMedia};
  for (HumanVolume* asking : variants) {
    asking->SetRescue(rescue ? 1 : 0);
    if (asking->Recognize(device) == 0) continue;
    if (recognized != nullptr) *recognized = true;
    std::unique_ptr<HumanVolume> volume = asking->Create(device);
    if (volume) volume->SetRescue(rescue ? 1 : 0);
    return volume;
  }
  return nullptr;
}
