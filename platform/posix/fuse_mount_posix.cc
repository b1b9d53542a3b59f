// The libfuse 3 binding: every libfuse call of the project is in this file.
#define FUSE_USE_VERSION 31

#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <new>
#include <string>
#include <utility>

#include "platform/fuse_mount.h"

namespace platform {
namespace {

// What the binding keeps beside the file system it serves.
struct Binding {
  ReadOnlyFileSystem* fileSystem = nullptr;
  // The kernel takes a failed open with ENOSYS as a success that needs no message, and
  // from then on opens and releases files without asking: every file read then costs
  // two round trips fewer. Reads come with no handle, only the path, so the binding opens
  // the files itself and keeps the most recently read ones open.
  bool openWithoutMessages = false;
  std::list<std::pair<std::string, uint64_t>> implicitHandles;  // most recently read first
  static constexpr size_t kImplicitHandles = 64;
};

// Set once the process has detached: its standard streams are /dev/null from then on.
bool detached = false;

Binding* Bound() { return static_cast<Binding*>(fuse_get_context()->private_data); }

ReadOnlyFileSystem* Served() { return Bound()->fileSystem; }

// The handle of the implicitly opened `path`, opening it (and closing the least recently
// read one beyond the bound) when it is not open yet: 0, or a failure.
int ImplicitHandle(const char* path, uint64_t* handle) {
  Binding* binding = Bound();
  auto& handles = binding->implicitHandles;
  for (auto it = handles.begin(); it != handles.end(); ++it) {
    if (it->first != path) continue;
    handles.splice(handles.begin(), handles, it);
    *handle = it->second;
    return 0;
  }
  const int result = binding->fileSystem->Open(path, false, handle);
  if (result != 0) return result;
  handles.emplace_front(path, *handle);
  if (handles.size() > Binding::kImplicitHandles) {
    binding->fileSystem->Release(handles.back().second);
    handles.pop_back();
  }
  return 0;
}

// libfuse is C: nothing may be thrown through it. Memory that cannot be had fails the
// one request.
template <typename Call>
int Guarded(Call call) {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return -ENOMEM;
  } catch (...) {
    return -EIO;
  }
}

void FillStat(const NodeAttributes& attributes, struct stat* out) {
  std::memset(out, 0, sizeof(*out));
  out->st_mode = static_cast<mode_t>((attributes.isDirectory ? S_IFDIR : S_IFREG) |
                                     (attributes.permissions & 0777));
  out->st_nlink = attributes.links;
  // Asked once: a listing fills thousands of these.
  static const uid_t owner = getuid();
  static const gid_t group = getgid();
  out->st_uid = owner;
  out->st_gid = group;
  out->st_size = static_cast<off_t>(attributes.size);
  out->st_blocks = static_cast<blkcnt_t>(attributes.blocks);
  out->st_mtim.tv_sec = static_cast<time_t>(attributes.time);
  out->st_atim = out->st_mtim;
  out->st_ctim = out->st_mtim;
}

void* Init(struct fuse_conn_info* connection, struct fuse_config* config) {
  if ((connection->capable & FUSE_CAP_NO_OPEN_SUPPORT) != 0) {
    connection->want |= FUSE_CAP_NO_OPEN_SUPPORT;
    Bound()->openWithoutMessages = true;
  }
  // Nothing on the volume ever changes while it is mounted: the kernel may keep names,
  // attributes and file pages for as long as it likes.
  config->kernel_cache = 1;
  config->entry_timeout = 86400;
  config->attr_timeout = 86400;
  config->negative_timeout = 86400;
  return fuse_get_context()->private_data;
}

int GetAttr(const char* path, struct stat* out, struct fuse_file_info*) {
  return Guarded([&] {
    NodeAttributes attributes;
    const int result = Served()->GetAttributes(path, &attributes);
    if (result == 0) FillStat(attributes, out);
    return result;
  });
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t filler, off_t offset,
            struct fuse_file_info*, enum fuse_readdir_flags flags) {
  return Guarded([&] {
    // Each entry carries the offset that resumes after it: "." 1, ".." 2, entry N N + 3.
    // With offsets libfuse hands READDIRPLUS attributes on to the kernel, which then asks
    // no lookup for the entries.
    const bool plus = (flags & FUSE_READDIR_PLUS) != 0;
    const auto fill = static_cast<enum fuse_fill_dir_flags>(plus ? FUSE_FILL_DIR_PLUS : 0);
    const auto none = static_cast<enum fuse_fill_dir_flags>(0);
    if (offset < 0) return -EINVAL;
    if (offset < 1 && filler(buffer, ".", nullptr, 1, none) != 0) return 0;
    if (offset < 2 && filler(buffer, "..", nullptr, 2, none) != 0) return 0;
    const size_t first = offset < 2 ? 0 : static_cast<size_t>(offset) - 2;
    off_t next = static_cast<off_t>(first) + 3;
    return Served()->ReadDirectory(
        path, first, [&](const std::string& name, const NodeAttributes& attributes) {
          struct stat status;
          FillStat(attributes, &status);
          return filler(buffer, name.c_str(), &status, next++, fill) == 0;
        });
  });
}

int Open(const char* path, struct fuse_file_info* info) {
  return Guarded([&] {
    const bool forWriting = (info->flags & O_ACCMODE) != O_RDONLY || (info->flags & O_TRUNC) != 0;
    uint64_t handle = 0;
    if (Bound()->openWithoutMessages && !forWriting) {
      // The file must open, so that a missing one or a directory fails here; then ENOSYS
      // tells the kernel to open files on its own from now on.
      const int result = ImplicitHandle(path, &handle);
      return result == 0 ? -ENOSYS : result;
    }
    const int result = Served()->Open(path, forWriting, &handle);
    if (result == 0) info->fh = handle;
    return result;
  });
}

int Read(const char* path, char* buffer, size_t size, off_t offset, struct fuse_file_info* info) {
  return Guarded([&] {
    uint64_t handle = info->fh;
    // Handles count from 1; 0 is a file the kernel opened without asking.
    if (handle == 0) {
      const int result = path != nullptr ? ImplicitHandle(path, &handle) : -EBADF;
      if (result != 0) return result;
    }
    return Served()->Read(handle, buffer, size, offset);
  });
}

int Release(const char*, struct fuse_file_info* info) {
  return Guarded([&] { return info->fh == 0 ? 0 : Served()->Release(info->fh); });
}

int StatFs(const char*, struct statvfs* out) {
  return Guarded([&] {
    FileSystemTotals totals;
    const int result = Served()->StatFs(&totals);
    if (result != 0) return result;
    std::memset(out, 0, sizeof(*out));
    out->f_bsize = totals.blockBytes;
    out->f_frsize = totals.blockBytes;
    out->f_blocks = static_cast<fsblkcnt_t>(totals.blocks);
    out->f_bfree = static_cast<fsblkcnt_t>(totals.freeBlocks);
    out->f_bavail = static_cast<fsblkcnt_t>(totals.freeBlocks);
    out->f_namemax = totals.nameLimit;
    out->f_flag = ST_RDONLY;
    return 0;
  });
}

// Every call that would change something. The mount is read-only too ("ro"), so the
// kernel refuses most of them before they get here.
int RefuseMakeNode(const char*, mode_t, dev_t) { return -EROFS; }
int RefuseMakeDirectory(const char*, mode_t) { return -EROFS; }
int RefusePath(const char*) { return -EROFS; }
int RefuseTwoPaths(const char*, const char*) { return -EROFS; }
int RefuseRename(const char*, const char*, unsigned int) { return -EROFS; }
int RefuseChmod(const char*, mode_t, struct fuse_file_info*) { return -EROFS; }
int RefuseChown(const char*, uid_t, gid_t, struct fuse_file_info*) { return -EROFS; }
int RefuseTruncate(const char*, off_t, struct fuse_file_info*) { return -EROFS; }
int RefuseWrite(const char*, const char*, size_t, off_t, struct fuse_file_info*) { return -EROFS; }
int RefuseCreate(const char*, mode_t, struct fuse_file_info*) { return -EROFS; }
int RefuseTimes(const char*, const struct timespec*, struct fuse_file_info*) { return -EROFS; }
int RefuseSetXattr(const char*, const char*, const char*, size_t, int) { return -EROFS; }
int RefuseRemoveXattr(const char*, const char*) { return -EROFS; }
int RefuseAllocate(const char*, int, off_t, off_t, struct fuse_file_info*) { return -EROFS; }

struct fuse_operations Operations() {
  struct fuse_operations operations;
  std::memset(&operations, 0, sizeof(operations));
  operations.init = Init;
  operations.getattr = GetAttr;
  operations.readdir = ReadDir;
  operations.open = Open;
  operations.read = Read;
  operations.release = Release;
  operations.statfs = StatFs;
  operations.mknod = RefuseMakeNode;
  operations.mkdir = RefuseMakeDirectory;
  operations.unlink = RefusePath;
  operations.rmdir = RefusePath;
  operations.symlink = RefuseTwoPaths;
  operations.link = RefuseTwoPaths;
  operations.rename = RefuseRename;
  operations.chmod = RefuseChmod;
  operations.chown = RefuseChown;
  operations.truncate = RefuseTruncate;
  operations.write = RefuseWrite;
  operations.create = RefuseCreate;
  operations.utimens = RefuseTimes;
  operations.setxattr = RefuseSetXattr;
  operations.removexattr = RefuseRemoveXattr;
  operations.fallocate = RefuseAllocate;
  return operations;
}

}  // namespace

int ServeFuseMount(ReadOnlyFileSystem* fileSystem, const FuseMountRequest& request) {
  struct fuse_args arguments = FUSE_ARGS_INIT(0, nullptr);
  bool built = fuse_opt_add_arg(&arguments, request.programName.c_str()) == 0;
  // Our own options first, so that the caller's come later and win where they may.
  built = built && fuse_opt_add_arg(&arguments, "-odefault_permissions,subtype=peekfs") == 0;
  // The source name is the drive as given; commas and backslashes in it are escaped.
  char* source = nullptr;
  built = built && fuse_opt_add_opt_escaped(&source, ("fsname=" + request.sourceName).c_str()) == 0;
  if (source != nullptr) {
    built = built && fuse_opt_add_arg(&arguments, ("-o" + std::string(source)).c_str()) == 0;
    std::free(source);
  }
  for (const std::string& option : request.options) {
    built = built && fuse_opt_add_arg(&arguments, ("-o" + option).c_str()) == 0;
  }
  // Of ro and rw the last wins: ro comes last, so no option of the caller's makes the
  // mount writable.
  built = built && fuse_opt_add_arg(&arguments, "-oro") == 0;
  if (!built) {
    fuse_opt_free_args(&arguments);
    return 1;
  }
  const struct fuse_operations operations = Operations();
  Binding binding;
  binding.fileSystem = fileSystem;
  // fuse_new says on the error stream what it does not take.
  struct fuse* fuse = fuse_new(&arguments, &operations, sizeof(operations), &binding);
  fuse_opt_free_args(&arguments);
  if (fuse == nullptr) return 1;
  // libfuse unmounts the path it mounted, after fuse_daemonize has changed the directory
  // to "/": a relative path would then name another place, and unmount what is there.
  char* absolute = realpath(request.mountPoint.c_str(), nullptr);
  if (absolute == nullptr) {
    std::fprintf(stderr, "peekfs: bad mount point %s: %s\n", request.mountPoint.c_str(),
                 std::strerror(errno));
    fuse_destroy(fuse);
    return 1;
  }
  // The stop signals are caught from before the mount on, and the detached process
  // inherits the handlers: a stop that comes as soon as the caller's process has ended
  // still ends the loop (at once, if it has not begun) and unmounts.
  struct fuse_session* session = fuse_get_session(fuse);
  const bool signals = fuse_set_signal_handlers(session) == 0;
  const int mounted = fuse_mount(fuse, absolute);
  std::free(absolute);
  // Detaching after the mount: the caller's process ends only once the mount is up.
  const bool served = mounted == 0 && fuse_daemonize(request.foreground ? 1 : 0) == 0;
  if (served && !request.foreground) {
    detached = true;
    openlog("peekfs", LOG_PID, LOG_USER);
  }
  // One thread: the volume is not safe for more.
  const int result = served ? fuse_loop(fuse) : -1;
  if (signals) fuse_remove_signal_handlers(session);
  if (mounted == 0) fuse_unmount(fuse);
  fuse_destroy(fuse);
  // A signal that ends the loop comes back as its number: a requested end.
  return result < 0 ? 1 : 0;
}

void SayToMountUser(const std::string& line) {
  if (detached) {
    syslog(LOG_WARNING, "%s", line.c_str());
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
  }
}

}  // namespace platform
