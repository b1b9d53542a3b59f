// Writes the loop-device test image to the path given as the only argument. Run by the
// test setup before it attaches the image.
#include <cstdio>

#include "tests/windows/loop_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_loop_image IMAGE\n");
    return 2;
  }
  const imagebuilder::Image image = imagebuilder::BuildX68k(windowstest::LoopImageLayout());
  if (!image.error.empty() || !image.WriteTo(argv[1])) {
    std::fprintf(stderr, "write_loop_image: cannot write %s %s\n", argv[1], image.error.c_str());
    return 1;
  }
  return 0;
}
