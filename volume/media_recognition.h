#ifndef VOLUME_MEDIA_RECOGNITION_H_
#define VOLUME_MEDIA_RECOGNITION_H_

#include <memory>

#include "disk/sector_device.h"
#include "volume/human_volume.h"

// Recognises the medium on `device` (open, baseSector still 0) and returns a volume of
// the variant that reads it, bound to `device`, which must outlive it. The X68000 SCSI
// format is asked first, then a PC boot sector, then a Human68k floppy disk. Rescue reading is
// `rescue` both for the reads of the recognition and in the returned volume, which carries the
// setting. Null when no variant recognises the medium or when the volume cannot be created (out of
// memory); `recognized`, unless null, tells the two apart: true when a variant recognised the
// medium.
std::unique_ptr<HumanVolume> RecognizeMedia(SectorDevice* device, bool rescue,
                                            bool* recognized = nullptr);

#endif  // VOLUME_MEDIA_RECOGNITION_H_
