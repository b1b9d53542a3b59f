#ifndef TESTS_END_TO_END_FIXTURE_H_
#define TESTS_END_TO_END_FIXTURE_H_

// The fixture of the Linux end-to-end tests: a fresh folder per test, the built programs
// run in it as processes, and their whole outputs and exit status compared.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "gtest/gtest.h"
#include "tools/image_builder.h"

namespace endtoend {

struct Outcome {
  int status = -1;
  std::string out;
  std::string error;
};

inline std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

// Each test gets the folder `root` (under the system's temporary folder, named after the
// test) with `work` in it, where the commands run; both are removed after the test, with a
// FUSE mount left at work/mnt.
class EndToEndFixture : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    root = std::filesystem::temp_directory_path() /
           (std::string("peek_e2e_") + info->test_suite_name() + "_" + info->name());
    Cleanup();
    std::filesystem::create_directories(root / "work");
  }
  void TearDown() override { Cleanup(); }

  void Cleanup() {
    // A mount a failed test left behind would stop the removal.
    std::system(("fusermount3 -u -z '" + (root / "work/mnt").string() + "' 2>/dev/null").c_str());
    // Read-only copies must become writable before they can be removed.
    if (std::filesystem::exists(root)) {
      std::system(("chmod -R u+w '" + root.string() + "' 2>/dev/null").c_str());
      std::filesystem::remove_all(root);
    }
  }

  void WriteImage(const imagebuilder::Image& image, const std::string& name) {
    ASSERT_EQ("", image.error);
    ASSERT_TRUE(image.WriteTo((root / name).string()));
  }

  // Runs `command` with the shell in the work folder, under a clean environment with
  // `locale` and TZ=Asia/Tokyo; the programs are on the PATH, and IMG names main.hds in
  // `root`.
  Outcome Run(const std::string& command, const std::string& locale = "C") {
    const std::filesystem::path out = root / "stdout";
    const std::filesystem::path error = root / "stderr";
    const std::filesystem::path status = root / "status";
    const std::string line = "cd '" + (root / "work").string() + "' && env -i PATH='" +
                             PEEK_PROGRAM_DIR + ":/usr/bin:/bin' LANG=" + locale +
                             " TZ=Asia/Tokyo IMG='" + (root / "main.hds").string() + "' bash -c '" +
                             command + "' >'" + out.string() + "' 2>'" + error.string() +
                             "'; echo $? >'" + status.string() + "'";
    std::system(line.c_str());
    Outcome outcome;
    outcome.status = std::atoi(ReadWhole(status).c_str());
    outcome.out = ReadWhole(out);
    outcome.error = ReadWhole(error);
    return outcome;
  }

  void Expect(const Outcome& outcome, int status, const std::string& out,
              const std::string& error) {
    EXPECT_EQ(status, outcome.status);
    EXPECT_EQ(out, outcome.out);
    EXPECT_EQ(error, outcome.error);
  }

  std::string Work(const std::string& relative) { return ReadWhole(root / "work" / relative); }

  std::filesystem::path root;
};

}  // namespace endtoend

#endif  // TESTS_END_TO_END_FIXTURE_H_
