#include "tests/fake_target_file_system.h"

#include <cerrno>
#include <cstdio>

class FakeTargetFile final : public platform::TargetFile {
 public:
  FakeTargetFile(FakeTargetFileSystem* owner, std::string path)
      : owner(owner), path(std::move(path)) {}
  bool Write(const void* data, size_t length) override {
    return owner->WriteTo(path, data, length);
  }
  bool Close() override {
    if (closed) return true;
    closed = true;
    return owner->CloseFile(path);
  }

 private:
  FakeTargetFileSystem* owner;
  std::string path;
  bool closed = false;
};

namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", value);
  return text;
}

}  // namespace

std::unique_ptr<platform::TargetFile> FakeTargetFileSystem::CreateFile(const std::string& path) {
  auto failure = createFailures.find(path);
  auto existing = nodes.find(path);
  if (failure != createFailures.end()) {
    lastError = failure->second;
  } else if (existing != nodes.end() && existing->second.isDirectory) {
    lastError = EISDIR;
  } else {
    log.push_back("create " + path);
    Node& node = nodes[path];
    node = Node();
    return std::make_unique<FakeTargetFile>(this, path);
  }
  log.push_back("create " + path + " failed");
  return nullptr;
}

bool FakeTargetFileSystem::MakeDirectory(const std::string& path) {
  if (nodes.count(path) != 0) {
    lastError = EEXIST;
    log.push_back("mkdir " + path + " failed");
    return false;
  }
  log.push_back("mkdir " + path);
  nodes[path].isDirectory = true;
  return true;
}

bool FakeTargetFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  auto node = nodes.find(path);
  if (node == nodes.end()) {
    lastError = ENOENT;
    log.push_back("attributes " + path + " " + Hex(attributes) + " failed");
    return false;
  }
  log.push_back("attributes " + path + " " + Hex(attributes));
  node->second.attributes = attributes;
  return true;
}

bool FakeTargetFileSystem::SetFileTimes(const std::string& path, platform::DosDateTime lastWrite) {
  const std::string line =
      "filetimes " + path + " " + Hex(lastWrite.date) + " " + Hex(lastWrite.time);
  auto node = nodes.find(path);
  if (node == nodes.end() || node->second.isDirectory) {
    lastError = ENOENT;
    log.push_back(line + " failed");
    return false;
  }
  log.push_back(line);
  node->second.hasTimes = true;
  node->second.stamp = lastWrite;
  return true;
}

bool FakeTargetFileSystem::SetDirectoryTimes(const std::string& path, platform::DosDateTime stamp) {
  const std::string line = "dirtimes " + path + " " + Hex(stamp.date) + " " + Hex(stamp.time);
  auto node = nodes.find(path);
  if (node == nodes.end() || !node->second.isDirectory) {
    lastError = ENOENT;
    log.push_back(line + " failed");
    return false;
  }
  log.push_back(line);
  node->second.hasTimes = true;
  node->second.stamp = stamp;
  return true;
}

void FakeTargetFileSystem::FailWritesAfter(uint64_t bytes, int error) {
  limitWrites = true;
  writeBudget = bytes;
  writeError = error;
}

bool FakeTargetFileSystem::WriteTo(const std::string& path, const void* data, size_t length) {
  size_t allowed = length;
  if (limitWrites && allowed > writeBudget) allowed = static_cast<size_t>(writeBudget);
  nodes[path].contents.append(static_cast<const char*>(data), allowed);
  if (limitWrites) writeBudget -= allowed;
  if (allowed < length) {
    lastError = writeError;
    log.push_back("write " + path + " " + std::to_string(length) + " failed");
    return false;
  }
  log.push_back("write " + path + " " + std::to_string(length));
  return true;
}

bool FakeTargetFileSystem::CloseFile(const std::string& path) {
  auto failure = closeFailures.find(path);
  if (failure != closeFailures.end()) {
    lastError = failure->second;
    log.push_back("close " + path + " failed");
    return false;
  }
  log.push_back("close " + path);
  return true;
}

std::string FakeTargetFileSystem::LogText() const {
  std::string text;
  for (const std::string& line : log) text += line + "\n";
  return text;
}

std::set<std::string> FakeTargetFileSystem::Paths() const {
  std::set<std::string> paths;
  for (const auto& node : nodes) paths.insert(node.first);
  return paths;
}
