#ifndef WEB_PEEK_WEB_H_
#define WEB_PEEK_WEB_H_

// The calls the web page's worker makes into the WebAssembly build. The worker mounts the
// picked file (WORKERFS) and hands its path to peek_open; one medium is open at a time.
//
// Every call that returns text returns UTF-8 JSON, owned by the binding and valid until
// the next call. Messages are the programs' own texts, as the Linux programs print them
// under a UTF-8 locale (names converted from code page 932, a byte without an exact
// Unicode form written %XX), one per line, each ending in "\n". Paths are host text in
// the same form: "\" (or "/") separated, "\" the root; %XX gives the byte XX.
//
// The medium is read as the programs read it with -r: what cannot be read comes as zeros
// (files) or as lost entries (directories), and is said.
extern "C" {

// Opens the image file at `path`, recognizes its medium and reads its partition table.
//   {"ok":true,"report":TEXT,"partitions":[{"index":N,"sectors":N,"usable":BOOL},...]}
//   {"ok":false,"message":TEXT}     "Can't open the drive...", "Not Supported Media\n"
// `report` is the partition report peekdisk -i prints. A partition is not usable when
// its boot sector cannot be read. A medium opened before is closed first.
const char* peek_open(const char* path);

// Selects partition `index` of the open medium and mounts it.
//   {"ok":true,"messages":TEXT}    messages: FAT damage, or ""
//   {"ok":false,"message":TEXT}    "No Such Partition(N)\n", "Can't read the FAT of ..."
const char* peek_select(int index);

// Lists the directory `path` of the selected partition, as peekdisk lists it (volume
// labels and links included).
//   {"ok":true,"path":"\\SYS","entries":[ENTRY,...],"messages":TEXT}
//   {"ok":false,"message":TEXT}    "Not exist directory(\\X)\n", "Not directory(\\X)\n", ...
// ENTRY: {"name":UTF8,"raw":HEX,"kind":"dir"|"file"|"vol"|"lnk","attributes":N,
//         "size":N,"date":"2024/01/02(火)","time":"12:34:56","dosDate":N,"dosTime":N}
// `raw` is the name's code page 932 bytes in lowercase hex; date and time are peekdisk's
// texts ("----/--/--(--)" style for a stored date that is no real one); dosDate and
// dosTime the stored words. "." and ".." are listed as the disk holds them.
const char* peek_list(const char* path);

// Every file and directory a download of `path` holds, as hauldisk copies the path: a
// file alone, or a directory's whole content (without the directory itself), depth first
// in disk order, directories before their content. Unsafe names, volume labels, links and
// directories met before are left out and said in messages.
//   {"ok":true,"entries":[WALKED,...],"messages":TEXT}
//   {"ok":false,"message":TEXT}
// WALKED: {"path":REL,"source":PATH,"kind":"dir"|"file","attributes":N,"size":N,
//          "dosDate":N,"dosTime":N}
// REL is the host path of the copy, "/" separated, relative to the download's top (what
// hauldisk would create in its current directory); `source` the full path to give
// peek_file_open.
const char* peek_walk(const char* path);

// Opens the file `path` for reading.
//   {"ok":true,"handle":N,"size":N}
//   {"ok":false,"message":TEXT}
const char* peek_file_open(const char* path);

// Reads up to `length` bytes of the open file from byte `offset` into `buffer` (in the
// module's memory). The count (less than asked only at the end of the file), or -1 when
// the handle is not open. Unreadable parts come as zeros.
int peek_file_read(int handle, double offset, int length, unsigned char* buffer);

// Closes the file and says what could not be read of it.
//   {"ok":true,"unreadable":N,"message":TEXT}
// N bytes came as zeros; TEXT is then hauldisk -r's "Damaged source file(...), N bytes
// unreadable, filled with zeros.\n", else "".
const char* peek_file_close(int handle);

// Closes the open medium, if any.
void peek_close();

}  // extern "C"

#endif  // WEB_PEEK_WEB_H_
