#include "web/peek_web.h"

#include <unistd.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tools/image_builder.h"

namespace {

using imagebuilder::Dir;
using imagebuilder::File;
using imagebuilder::Stamped;

// "日本" and "語" in code page 932.
const char kNihon[] = "\x93\xFA\x96\x7B";
const char kGo[] = "\x8C\xEA";

class WebBindingTest : public testing::Test {
 protected:
  ~WebBindingTest() override {
    peek_close();
    for (const std::string& path : written) ::unlink(path.c_str());
  }

  // Writes `bytes` to a file of this test's own and returns its path.
  std::string Write(const std::vector<uint8_t>& bytes) {
    const std::string path = testing::TempDir() + "peek_web_" + std::to_string(::getpid()) + "_" +
                             std::to_string(written.size()) + ".img";
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    written.push_back(path);
    return path;
  }

  imagebuilder::Image Sample(std::vector<imagebuilder::Node> root) {
    imagebuilder::X68kImageLayout layout;
    imagebuilder::PartitionLayout partition;
    partition.rootEntries = 64;
    partition.root = std::move(root);
    layout.partitions.push_back(partition);
    imagebuilder::Image image = imagebuilder::BuildX68k(layout);
    EXPECT_EQ("", image.error);
    return image;
  }

  std::string Open(const std::vector<uint8_t>& bytes) { return peek_open(Write(bytes).c_str()); }

  // The whole file at `path` through the binding, and what its close said.
  std::string ReadFile(const char* path, std::string* closed) {
    const std::string opened = peek_file_open(path);
    const size_t at = opened.find("\"handle\":");
    if (at == std::string::npos) return "open failed: " + opened;
    const int handle = std::stoi(opened.substr(at + 9));
    std::string data;
    std::vector<unsigned char> buffer(700);
    for (int count; (count = peek_file_read(handle, data.size(), 700, buffer.data())) > 0;)
      data.append(buffer.begin(), buffer.begin() + count);
    *closed = peek_file_close(handle);
    return data;
  }

  std::vector<std::string> written;
};

TEST_F(WebBindingTest, OpensListsWalksAndReadsAPartition) {
  const uint16_t date = imagebuilder::DosDate(2024, 1, 2);
  const uint16_t time = imagebuilder::DosTime(12, 34, 56);
  imagebuilder::Image image =
      Sample({Stamped(File("README.TXT", "hello\n", 0x21), date, time),
              Stamped(Dir(kNihon, {File(std::string(kGo) + ".TXT", std::string(3000, 'x'))}), date,
                      time)});
  const std::string opened = Open(image.bytes);
  EXPECT_EQ(0u, opened.find("{\"ok\":true,\"report\":\"Max Partition= 1\\nPartition Number= 0\\n"))
      << opened;
  EXPECT_NE(std::string::npos,
            opened.find("\"partitions\":[{\"index\":0,\"sectors\":0,\"usable\":true}]"))
      << opened;
  EXPECT_EQ("{\"ok\":true,\"messages\":\"\"}", std::string(peek_select(0)));

  const std::string root = peek_list("\\");
  EXPECT_EQ(
      "{\"ok\":true,\"path\":\"\\\\\",\"entries\":["
      "{\"name\":\"README.TXT\",\"raw\":\"524541444d452e545854\",\"kind\":\"file\","
      "\"attributes\":33,\"size\":6,\"dosDate\":" +
          std::to_string(date) + ",\"dosTime\":" + std::to_string(time) +
          ",\"date\":\"2024/01/02(火)\",\"time\":\"12:34:56\"},"
          "{\"name\":\"日本\",\"raw\":\"93fa967b\",\"kind\":\"dir\",\"attributes\":16,\"size\":0,"
          "\"dosDate\":" +
          std::to_string(date) + ",\"dosTime\":" + std::to_string(time) +
          ",\"date\":\"2024/01/02(火)\",\"time\":\"12:34:56\"}],\"messages\":\"\"}",
      root);
  EXPECT_NE(std::string::npos, std::string(peek_list("/日本")).find("\"name\":\"語.TXT\""));

  const std::string walked = peek_walk("\\");
  EXPECT_NE(std::string::npos,
            walked.find("{\"path\":\"日本\",\"source\":\"\\\\日本\",\"kind\":\"dir\""))
      << walked;
  EXPECT_NE(
      std::string::npos,
      walked.find("{\"path\":\"日本/語.TXT\",\"source\":\"\\\\日本\\\\語.TXT\",\"kind\":\"file\""))
      << walked;
  std::string closed;
  EXPECT_TRUE(std::string(3000, 'x') == ReadFile("\\日本\\語.TXT", &closed));
  EXPECT_EQ("{\"ok\":true,\"unreadable\":0,\"message\":\"\"}", closed);
}

TEST_F(WebBindingTest, RefusesWhatCannotBeReadWithTheProgramsMessages) {
  struct Case {
    const char* what;
    std::string answer;
    std::string expected;
  };
  imagebuilder::Image image = Sample({File("A.TXT", "a"), Dir("SUB", {})});
  const std::string path = Write(image.bytes);
  ASSERT_EQ(0u, std::string(peek_open(path.c_str())).find("{\"ok\":true"))
      << peek_open(path.c_str());
  const std::string noSuchPartition = peek_select(3);
  peek_select(0);
  const std::vector<uint8_t> cut(image.bytes.begin(), image.bytes.begin() + 4096);
  const std::string cutOpened = Open(cut);
  const std::string cutSelected = peek_select(0);
  const std::vector<Case> cases = {
      {"junk", Open(std::vector<uint8_t>(8192, 0x4A)),
       "{\"ok\":false,\"message\":\"Not Supported Media\\n\"}"},
      {"cut before the boot sector", cutOpened,
       "{\"ok\":true,\"report\":\"Max Partition= 1\\nPartition Number= 0\\n\\tCan't read the "
       "boot sector\\n\\n\",\"partitions\":[{\"index\":0,\"sectors\":0,\"usable\":false}]}"},
      {"its partition", cutSelected,
       "{\"ok\":false,\"message\":\"Can't read the boot sector of partition 0\\n\"}"},
      {"no partition", noSuchPartition, "{\"ok\":false,\"message\":\"No Such Partition(3)\\n\"}"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, c.answer) << c.what;
  EXPECT_EQ("{\"ok\":false,\"message\":\"No partition is selected\\n\"}",
            std::string(peek_list("\\")));

  peek_open(path.c_str());
  peek_select(0);
  const std::vector<Case> mounted = {
      {"missing folder", peek_list("\\NOPE"),
       "{\"ok\":false,\"message\":\"Not exist directory(\\\\NOPE)\\n\"}"},
      {"missing path", peek_walk("\\NOPE"),
       "{\"ok\":false,\"message\":\"Not exist file or directory(\\\\NOPE)\\n\"}"},
      {"missing file", peek_file_open("\\B.TXT"),
       "{\"ok\":false,\"message\":\"Can't open the source file(\\\\B.TXT), skip.\\n\"}"},
      {"closed handle", peek_file_close(77), "{\"ok\":false,\"message\":\"No such open file\\n\"}"},
  };
  for (const Case& c : mounted) EXPECT_EQ(c.expected, c.answer) << c.what;
  unsigned char byte;
  EXPECT_EQ(-1, peek_file_read(77, 0, 1, &byte));
  EXPECT_EQ(0u, std::string(peek_open("/no/such.hds")).find("{\"ok\":false,\"message\":\"")) << "";
}

TEST_F(WebBindingTest, AWalkStopsWherePathsGrowPastWhatHauldiskMakes) {
  // 25 folders of 9 letters make "./" and 249 more bytes; the 26th would pass 255.
  imagebuilder::Node nested = File("LAST.TXT", "x");
  for (int depth = 0; depth < 26; ++depth) nested = Dir("DIRECTORY", {nested});
  Open(Sample({nested}).bytes);
  peek_select(0);
  const std::string walked = peek_walk("\\");
  std::string deepest = ".";
  for (int depth = 0; depth < 26; ++depth) deepest += "/DIRECTORY";
  EXPECT_NE(std::string::npos,
            walked.find("\"messages\":\"Path too long(" + deepest + "), skip.\\n\"}"))
      << walked;
  EXPECT_EQ(std::string::npos, walked.find("LAST.TXT"));
}

TEST_F(WebBindingTest, ABrokenChainReadsAsZerosAndIsSaid) {
  imagebuilder::Image image = Sample({File("BAD.DAT", std::string(3000, 'b'))});
  // The chain ends after the first of its three 1024-byte clusters.
  const uint16_t first = image.partitions[0].nodes.at("\\BAD.DAT").clusters[0];
  image.SetFatEntry(0, first, 0xFFFF);
  Open(image.bytes);
  peek_select(0);
  std::string closed;
  EXPECT_TRUE(std::string(1024, 'b') + std::string(1976, '\0') == ReadFile("\\BAD.DAT", &closed));
  EXPECT_EQ(
      "{\"ok\":true,\"unreadable\":1976,\"message\":\"Damaged source file(\\\\BAD.DAT), 1976 "
      "bytes unreadable, filled with zeros.\\n\"}",
      closed);
}

}  // namespace
