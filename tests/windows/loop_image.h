#ifndef TESTS_WINDOWS_LOOP_IMAGE_H_
#define TESTS_WINDOWS_LOOP_IMAGE_H_

// The image the test setup attaches as a loop device, and its root listing.

#include <string>

#include "tools/image_builder.h"

namespace windowstest {

inline imagebuilder::X68kImageLayout LoopImageLayout() {
  imagebuilder::Node readme = imagebuilder::File("README.TXT", "loop\n");
  readme.date = imagebuilder::DosDate(2001, 1, 1);
  readme.time = imagebuilder::DosTime(9, 0, 0);
  imagebuilder::Node sys = imagebuilder::Dir("SYS", {imagebuilder::File("A.X", "a")});
  sys.date = imagebuilder::DosDate(1998, 3, 14);
  sys.time = imagebuilder::DosTime(12, 34, 56);
  imagebuilder::PartitionLayout partition;
  partition.root = {readme, sys};
  imagebuilder::X68kImageLayout layout;
  layout.deviceSectorSize = 512;
  layout.partitions = {partition};
  return layout;
}

inline std::string LoopImageRootListing() {
  return "             README.TXT        5  2001/01/01(\x8C\x8E) 09:00:00\n"
         "                    SYS    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
         "\n";
}

}  // namespace windowstest

#endif  // TESTS_WINDOWS_LOOP_IMAGE_H_
