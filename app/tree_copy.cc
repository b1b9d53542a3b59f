#include "app/tree_copy.h"

#include <cstring>

#include "app/listing.h"
#include "volume/entry_names.h"
#include "volume/shift_jis.h"

namespace {

using platform::TargetSeparator;

std::string JoinTarget(const std::string& directory, const char* name) {
  std::string path = directory;
  path.push_back(TargetSeparator);
  path += name;
  return path;
}

// The volume's current directory as text; false when the text does not fit the limit.
bool CurrentDirectory(HumanVolume* volume, std::string* out) {
  char buffer[CurrentDirBufferSize] = {};
  volume->GetCurrentDir(buffer, CurrentDirLimit);
  // GetCurrentDir leaves a text that fills the size unterminated; the last byte of the
  // buffer stays 0, and a text that reaches it was cut.
  const size_t length = std::strlen(buffer);
  if (length >= static_cast<size_t>(CurrentDirLimit)) return false;
  out->assign(buffer, length);
  return true;
}

platform::DosDateTime StoredStamp(const FindResult& entry) {
  platform::DosDateTime stamp;
  stamp.date = entry.modifyDate;
  stamp.time = entry.modifyTime;
  return stamp;
}

bool HasValidStamp(const FindResult& entry) {
  CalendarRecord calendar;
  return DecodeDosDateTime(entry.modifyDate, entry.modifyTime, &calendar);
}

// Carries the read-only, hidden and system bits and the stored time over to a copied
// subdirectory. The stored time is a local clock reading, as for files. A stored date
// that is no real date leaves the times as they are.
void RestoreDirectory(CopyContext* context, const std::string& path, const FindResult& entry) {
  const std::string hostPath = context->console->HostName(path);
  if (HasValidStamp(entry)) context->target->SetDirectoryTimes(hostPath, StoredStamp(entry));
  context->target->SetAttributes(hostPath, static_cast<uint8_t>(entry.attributes) & 0x07);
}

void RestoreFile(CopyContext* context, const std::string& hostPath, const FindResult& entry) {
  // Times first: on Windows a read-only file can no longer be opened to set them.
  if (HasValidStamp(entry)) context->target->SetFileTimes(hostPath, StoredStamp(entry));
  context->target->SetAttributes(
      hostPath, (static_cast<uint8_t>(entry.attributes) & 0x07) | platform::TargetAttributeArchive);
}

// The full path on the partition of the file `name` in `directory`, a path as given
// (absolute, or relative to the current directory).
std::string FullSourcePath(CopyContext* context, const std::string& directory, const char* name) {
  std::string full = "\\";
  if (directory.empty() || !IsPathSeparator(directory[0])) CurrentDirectory(context->volume, &full);
  size_t start = 0;
  for (size_t at = 0;; at += ShiftJisCharLength(directory.c_str() + at)) {
    if (at < directory.size() && !IsPathSeparator(directory[at])) continue;
    if (at > start)
      full = context->volume->JoinPath(full.c_str(), directory.substr(start, at - start).c_str());
    start = at + 1;
    if (at >= directory.size()) break;
  }
  return context->volume->JoinPath(full.c_str(), name);
}

}  // namespace

void CopyArgument(CopyContext* context, const char* argument) {
  context->copiedDirectories.clear();
  std::string saved;
  if (!CurrentDirectory(context->volume, &saved)) {
    context->console->Error("Path too long(%s), skip.\n", argument);
    return;
  }
  const int result = context->volume->ChangeDir(argument);
  const bool unreadable = ReportDamage(context->volume, context->console, &context->tally);
  if (result == VolumeErrorNotFound) {
    if (!unreadable) context->console->Error("Not exist file or directory(%s)\n", argument);
    return;
  }
  if (result == VolumeErrorNotDirectory) {
    // A file, or a path through one. Drop a drive prefix, split after the last separator.
    const char* text = argument;
    if (text[0] != '\0' && text[1] == ':') text += 2;
    size_t nameStart = 0;
    for (size_t at = 0; text[at] != '\0'; at += ShiftJisCharLength(text + at)) {
      if (IsPathSeparator(text[at])) nameStart = at + 1;
    }
    const std::string directory(text, nameStart);
    CopyOneFile(context, ".", directory, text + nameStart);
    return;
  }
  context->volume->ChangeDir(saved.c_str());
  CopyTree(context, ".", argument);
}

int CopyOneFile(CopyContext* context, const std::string& targetDirectory,
                const std::string& sourceDirectory, const char* name) {
  Console* console = context->console;
  const std::string sourcePath = sourceDirectory + "\\" + name;
  const std::string targetPath = JoinTarget(targetDirectory, name);
  if (sourcePath.size() > CopyPathLimit) {
    console->Error("Path too long(%s), skip.\n", sourcePath.c_str());
    return 0;
  }
  if (targetPath.size() > CopyPathLimit) {
    console->Error("Path too long(%s), skip.\n", targetPath.c_str());
    return 0;
  }
  std::unique_ptr<FileHandle> handle = context->volume->FileOpen(sourcePath.c_str(), 1);
  const bool unreadable = ReportDamage(context->volume, console, &context->tally);
  if (!handle) {
    if (!unreadable) console->Error("Can't open the source file(%s), skip.\n", sourcePath.c_str());
    return 0;
  }
  if (IsUnsafeName(name, true)) {
    console->Error("Unsafe file name(%s), skip.\n", name);
    context->volume->FileClose(handle.get());
    return 0;
  }
  const std::string hostPath = console->HostName(targetPath);
  std::unique_ptr<platform::TargetFile> file = context->target->CreateFile(hostPath);
  if (!file) {
    console->Error("Can't open the target file(%s/Code=%d)\n", targetPath.c_str(),
                   context->target->LastError());
    context->volume->FileClose(handle.get());
    return 0;
  }
  bool writeFailed = false;
  bool readFailed = false;
  if (context->progress.Shows()) {
    context->progress.Start(FullSourcePath(context, sourceDirectory, name), handle->fileSize);
  }
  uint64_t done = 0;
  for (;;) {
    const int count =
        context->volume->FileRead(handle.get(), context->buffer.get(), CopyBufferSize);
    if (count == 0) break;
    if (count < 0) {
      readFailed = true;
      break;
    }
    if (!file->Write(context->buffer.get(), static_cast<size_t>(count))) {
      writeFailed = true;
      break;
    }
    done += static_cast<uint64_t>(count);
    context->progress.Advance(done);
  }
  context->progress.End();
  if (readFailed) {
    // What was written stays, but a copy cut short must not pass for a whole one.
    console->Error("Can't read the source file(%s), the copy is incomplete.\n",
                   FullSourcePath(context, sourceDirectory, name).c_str());
    context->tally.unreadable = true;
  }
  // A close that fails loses data as surely as a failed write.
  if (!file->Close() && !writeFailed) writeFailed = true;
  if (writeFailed) console->Error("Can't write the target file(%s)/DiskFull?\n", handle->fileName);
  file.reset();
  // The summary counts what was written whole; damaged files are among those.
  const bool copied = !writeFailed && !readFailed;
  if (copied) ++context->tally.filesCopied;
  if (handle->unreadableBytes > 0) {
    // Rescue reading: what could not be read came as zeros.
    const std::string full = FullSourcePath(context, sourceDirectory, name);
    console->Error("Damaged source file(%s), %u bytes unreadable, filled with zeros.\n",
                   full.c_str(), handle->unreadableBytes);
    if (copied) {
      ++context->tally.filesDamaged;
      context->tally.bytesUnreadable += handle->unreadableBytes;
    }
    context->tally.unreadable = true;
  }
  if (context->restoreAttributes) RestoreFile(context, hostPath, *handle);
  context->volume->FileClose(handle.get());
  return 0;
}

int MakeTargetDirectory(CopyContext* context, const std::string& parent, const char* name) {
  context->target->MakeDirectory(context->console->HostName(JoinTarget(parent, name)));
  return 0;
}

CopyStep NextCopyStep(const FindResult& entry, const std::string& targetDirectory,
                      std::set<uint16_t>* copiedDirectories, Console* console,
                      std::string* target) {
  const EntryKind kind = KindOfEntry(entry);
  if (kind == EntryKindVolumeLabel || kind == EntryKindLink) return CopyStep::kSkip;
  const bool isFile = kind == EntryKindFile;
  if (!isFile && IsDotName(entry.fileName)) return CopyStep::kSkip;
  if (IsUnsafeName(entry.fileName, isFile)) {
    console->Error("Unsafe file name(%s), skip.\n", entry.fileName);
    return CopyStep::kSkip;
  }
  *target = JoinTarget(targetDirectory, entry.fileName);
  if (target->size() > CopyPathLimit) {
    console->Error("Path too long(%s), skip.\n", target->c_str());
    return CopyStep::kSkip;
  }
  if (isFile) return CopyStep::kFile;
  if (!copiedDirectories->insert(entry.firstCluster).second) {
    console->Error("Directory copied before(%s), skip.\n", entry.fileName);
    return CopyStep::kSkip;
  }
  return CopyStep::kDirectory;
}

int CopyTree(CopyContext* context, const std::string& targetDirectory, const char* sourcePath) {
  HumanVolume* volume = context->volume;
  Console* console = context->console;
  const bool topLevel = context->copiedDirectories.empty();
  std::string saved;
  if (!CurrentDirectory(volume, &saved)) {
    console->Error("Path too long(%s), skip.\n", sourcePath);
    return 0;
  }
  const int changed = volume->ChangeDir(sourcePath);
  const bool unreadable = ReportDamage(volume, console, &context->tally);
  if (changed == VolumeErrorNotDirectory) {
    console->Error("Not directory(%s)\n", sourcePath);
    return 0;
  }
  if (changed != 1) {
    if (!unreadable) console->Error("Not exist directory(%s)\n", sourcePath);
    return 0;
  }
  std::string current;
  if (!CurrentDirectory(volume, &current)) {
    console->Error("Path too long(%s), skip.\n", sourcePath);
    volume->ChangeDir(saved.c_str());
    return 0;
  }
  console->Out("[%s]\n", current.c_str());
  // The directory itself, by the cluster the walk reached: a "." entry may be lost or
  // point elsewhere on a damaged or hostile disk.
  if (topLevel) context->copiedDirectories.insert(volume->CurrentDirCluster());

  SearchRecord search;
  FindResult entry;
  int result = volume->FindFirst(&search, ".", &entry);
  ReportDamage(volume, console, &context->tally);
  while (result == 1) {
    EntryLine(console, entry);
    std::string target;
    switch (NextCopyStep(entry, targetDirectory, &context->copiedDirectories, console, &target)) {
      case CopyStep::kDirectory:
        MakeTargetDirectory(context, targetDirectory, entry.fileName);
        CopyTree(context, target, entry.fileName);
        // After the recursion, so the copies made inside do not move the times set.
        if (context->restoreAttributes) RestoreDirectory(context, target, entry);
        break;
      case CopyStep::kFile:
        CopyOneFile(context, targetDirectory, ".", entry.fileName);
        break;
      case CopyStep::kSkip:
        break;
    }
    result = volume->FindNext(&search, &entry);
  }
  console->OutText("\n");
  if (result == VolumeErrorNoMoreEntries) volume->FindEnd(&search);
  volume->ChangeDir(saved.c_str());
  return 0;
}
