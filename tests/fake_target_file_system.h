#ifndef TESTS_FAKE_TARGET_FILE_SYSTEM_H_
#define TESTS_FAKE_TARGET_FILE_SYSTEM_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/target_file_system.h"

// A target file system in memory, for tests. It keeps the files and directories made,
// logs every call as one line of text, and fails the calls it is told to fail with a
// given error number.
class FakeTargetFileSystem final : public platform::TargetFileSystem {
 public:
  struct Node {
    bool isDirectory = false;
    std::string contents;
    uint32_t attributes = 0;  // what SetAttributes last gave
    bool hasTimes = false;    // SetFileTimes or SetDirectoryTimes succeeded
    platform::DosDateTime stamp;
  };

  std::unique_ptr<platform::TargetFile> CreateFile(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool SetFileTimes(const std::string& path, platform::DosDateTime lastWrite) override;
  bool SetDirectoryTimes(const std::string& path, platform::DosDateTime stamp) override;
  int LastError() const override { return lastError; }

  // Fault injection. A create of `path` fails with `error`.
  void FailCreate(const std::string& path, int error) { createFailures[path] = error; }
  // Writes fail with `error` once `bytes` bytes in all have been written to files
  // (counted across files from now on); the write that crosses the limit writes the part
  // below it.
  void FailWritesAfter(uint64_t bytes, int error);
  // Close of `path` reports a failure with `error`.
  void FailClose(const std::string& path, int error) { closeFailures[path] = error; }

  // The log: "create ./A.TXT", "write ./A.TXT 5", "close ./A.TXT", "mkdir ./D",
  // "attributes ./A.TXT 0x21", "filetimes ./A.TXT 0x1234 0x5678", "dirtimes ./D ...";
  // failed calls end in " failed".
  const std::vector<std::string>& Log() const { return log; }
  std::string LogText() const;
  const std::map<std::string, Node>& Nodes() const { return nodes; }
  // The contents of the file made at `path`, or "<none>".
  std::string Contents(const std::string& path) const {
    auto node = nodes.find(path);
    return node == nodes.end() ? "<none>" : node->second.contents;
  }
  // Paths of every node made, sorted.
  std::set<std::string> Paths() const;

 private:
  friend class FakeTargetFile;
  bool WriteTo(const std::string& path, const void* data, size_t length);
  bool CloseFile(const std::string& path);

  std::map<std::string, Node> nodes;
  std::vector<std::string> log;
  std::map<std::string, int> createFailures;
  std::map<std::string, int> closeFailures;
  bool limitWrites = false;
  uint64_t writeBudget = 0;
  int writeError = 0;
  int lastError = 0;
};

#endif  // TESTS_FAKE_TARGET_FILE_SYSTEM_H_
