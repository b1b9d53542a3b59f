#ifndef TESTS_APP_TEST_SUPPORT_H_
#define TESTS_APP_TEST_SUPPORT_H_

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/console.h"
#include "platform/host_text.h"
#include "tests/fake_sector_device.h"
#include "tests/file_system_test_support.h"
#include "tools/image_builder.h"

// A Console over two temporary files whose contents tests read back whole.
class CapturedConsole {
 public:
  explicit CapturedConsole(const std::string& charset = "C")
      : text(platform::NewHostTextFor(charset)),
        out(std::tmpfile()),
        error(std::tmpfile()),
        console(out, error, text.get()) {}
  ~CapturedConsole() {
    std::fclose(out);
    std::fclose(error);
  }
  Console* get() { return &console; }
  std::string Out() { return Read(out); }
  std::string Error() { return Read(error); }

 private:
  static std::string Read(std::FILE* file) {
    std::fflush(file);
    std::string contents;
    std::rewind(file);
    char block[4096];
    size_t count;
    while ((count = std::fread(block, 1, sizeof(block), file)) > 0) contents.append(block, count);
    return contents;
  }

  std::unique_ptr<platform::HostText> text;
  std::FILE* out;
  std::FILE* error;
  Console console;
};

using imagebuilder::MakeRawEntry;

using imagebuilder::Stamped;

using fstest::MountedImage;

// One partition holding `root` and `raw`.
inline imagebuilder::X68kImageLayout OnePartition(std::vector<imagebuilder::Node> root,
                                                  std::vector<imagebuilder::RawEntry> raw = {}) {
  imagebuilder::X68kImageLayout layout;
  imagebuilder::PartitionLayout partition;
  partition.root = std::move(root);
  partition.rawEntries = std::move(raw);
  layout.partitions.push_back(std::move(partition));
  return layout;
}

#endif  // TESTS_APP_TEST_SUPPORT_H_
