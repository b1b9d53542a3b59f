#ifndef DISK_FLOPPY_IMAGE_FORMAT_H_
#define DISK_FLOPPY_IMAGE_FORMAT_H_

// The layouts of the two floppy image containers read by DimDisk and D88Disk and written
// by the image builder. Offsets are bytes from the start of the record they belong to.

#include <cstddef>
#include <cstdint>

// DIM: a 256-byte header, then the stored tracks one after another in track order. A
// track is cylinder x 2 + head; a track whose flag is zero is not in the file (inferred)
// and its sectors cannot be read.
constexpr size_t kDimHeaderBytes = 256;
constexpr size_t kDimMediaType = 0x00;   // one byte, the codes below
constexpr size_t kDimTrackFlags = 0x01;  // one byte per track, nonzero when stored
constexpr size_t kDimTrackCount = 160;
constexpr size_t kDimSignature = 0xAB;  // kDimSignatureText, without its NUL
constexpr char kDimSignatureText[] = "DIFC HEADER  ";
constexpr size_t kDimSignatureBytes = sizeof kDimSignatureText - 1;

// DIM media types. 0 is 2HD; the sources disagree on the others, which name geometries
// the boot sector must confirm.
constexpr uint8_t kDimType2hd = 0x00;   // 8 sectors of 1024 bytes per track
constexpr uint8_t kDimType2hs = 0x01;   // 9 x 1024
constexpr uint8_t kDimType2hc = 0x02;   // 15 x 512
constexpr uint8_t kDimType2hde = 0x03;  // 9 x 1024
constexpr uint8_t kDimType2hq = 0x09;   // 18 x 512

// D88 (also D68): one or more disks one after another, each a 0x2B0-byte header followed
// by its tracks. Numbers are little-endian.
constexpr size_t kD88HeaderBytes = 0x2B0;
constexpr size_t kD88Name = 0x00;  // 17 bytes, NUL-padded
constexpr size_t kD88NameBytes = 17;
constexpr size_t kD88WriteProtect = 0x1A;  // one byte
constexpr size_t kD88MediaType = 0x1B;     // one byte, the codes below
constexpr size_t kD88DiskSize = 0x1C;      // 32 bits: the disk, its header included
// 164 track offsets of 32 bits from the start of the disk, 0 for a track not stored.
// Some files have only 160: their first track then starts at kD88ShortTableEnd.
constexpr size_t kD88TrackTable = 0x20;
constexpr size_t kD88TrackEntries = 164;
constexpr size_t kD88ShortTableEnd = 0x2A0;

constexpr uint8_t kD88Media2d = 0x00;
constexpr uint8_t kD88Media2dd = 0x10;
constexpr uint8_t kD88Media2hd = 0x20;

// At a track's offset its sectors follow one after another, in any order, each a 16-byte
// header and then its data.
constexpr size_t kD88SectorHeaderBytes = 16;
constexpr size_t kD88Cylinder = 0x00;        // C, one byte
constexpr size_t kD88Head = 0x01;            // H
constexpr size_t kD88Record = 0x02;          // R, the sector number, from 1
constexpr size_t kD88SizeCode = 0x03;        // N: the sector holds 128 << N bytes
constexpr size_t kD88SectorsInTrack = 0x04;  // 16 bits
constexpr size_t kD88Density = 0x06;         // one byte
constexpr size_t kD88Deleted = 0x07;         // kD88DeletedData for a deleted-data mark
constexpr size_t kD88Status = 0x08;          // the codes below
constexpr size_t kD88DataSize = 0x0E;        // 16 bits: the data bytes after the header
constexpr uint8_t kD88DeletedData = 0x10;    // in kD88Deleted, and as a status
constexpr uint8_t kD88StatusGood = 0x00;
constexpr uint8_t kD88StatusIdCrc = 0xA0;      // ID field CRC error
constexpr uint8_t kD88StatusDataCrc = 0xB0;    // data field CRC error
constexpr uint8_t kD88StatusNoAddress = 0xE0;  // address mark missing
constexpr uint8_t kD88StatusNoData = 0xF0;     // data mark missing

#endif  // DISK_FLOPPY_IMAGE_FORMAT_H_
