#ifndef VOLUME_ENTRY_NAMES_H_
#define VOLUME_ENTRY_NAMES_H_

#include <string_view>

// Rules for the names of directory entries (code page 932 bytes) that path walks, copies
// and the mount share.

// True when `name` is "." or "..": the entries a subdirectory holds for itself and its
// parent.
bool IsDotName(std::string_view name);

// True when `name` (zero-terminated) must not be created on the host: empty, holding a
// separator of the host ('/'; on Windows also '\\' outside a double-byte character and
// ':'), or, for a file, "." or "..". Joined to a target directory such a name would land
// outside it.
bool IsUnsafeName(const char* name, bool isFile);

#endif  // VOLUME_ENTRY_NAMES_H_
