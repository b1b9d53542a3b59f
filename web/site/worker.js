// The page's worker: it holds the WebAssembly build of the volume code and the picked
// image, and answers the page one request at a time.
//
// Requests (page -> worker), each {id, op, ...}:
//   {op: "open", file}          mounts the File and opens it: peek_open's JSON
//   {op: "select", index}       peek_select's JSON
//   {op: "list", path}          peek_list's JSON
//   {op: "file", path}          one file: "chunk" messages, then
//                               {ok, name, size, unreadable, messages}; name is null when
//                               the walk left the file out (said in messages)
//   {op: "zip", path}           a directory's content as a zip: "chunk" messages, then
//                               {ok, files, folders, size, damaged: [TEXT...], messages}
//   {op: "cancel"}              ends the running download; it answers {ok: false,
//                               cancelled: true}
//   {op: "spare", buffers}      the buffers of chunks the page has taken the bytes of,
//                               transferred back for the next chunks; no answer
// Answers (worker -> page):
//   {type: "ready"} once the module runs, or {type: "failed", message}
//   {id, type: "chunk", parts: [Uint8Array...]}   the download's next bytes, transferred
//   {id, type: "progress", done, total}           bytes read of the files so far
//   {id, type: "done", result}
//
// Files are read in chunks through one buffer in the module's memory, so a file of
// several GiB never sits whole in the module; each chunk is copied out and handed over.
// A file's chunks are copied into buffers the page gives back: a new buffer's memory is
// given out page by page by the system, and copying a file of 256 MiB into new buffers
// took 1.5 to 1.9 s, into buffers given back 0.2 s.

import PeekWeb from "./peek_web.js";
import { Zip, ZipPassThrough } from "./vendor/fflate.js";

const ChunkBytes = 4 * 1024 * 1024;
const MountPoint = "/image";

// A zip without its 64-bit extension counts bytes and entries in 32 and 16 bits, and
// fflate writes no such extension.
const ZipByteLimit = 0xffffffff;
const ZipEntryLimit = 0xffff;

let peek = null;
let buffer = 0;
let mounted = false;

// The module reads the picked File through WORKERFS, one FileReaderSync call a read. A call
// costs about 2 ms whatever its size (a round trip to the browser's file reader), and the
// volume reads a directory a cluster (1 to 8 KiB) at a time and a file's data at most
// 1 MiB at a time: a listing of 40,000 entries took over 600 calls. Each read is served
// from a window of the File read ahead instead: 256 KiB after a jump, and twice the last
// window, up to 8 MiB, while the reads go on from where it ends.
const ReadAheadFirst = 256 * 1024;
const ReadAheadMost = 8 * 1024 * 1024;
const reader = new FileReaderSync();
const readAhead = { contents: null, start: 0, bytes: new Uint8Array(0) };

// Buffers of ChunkBytes back from the page, at most SpareMost.
const SpareMost = 4;
const spareBuffers = [];

// A copy of `view` (at most ChunkBytes) that owns its buffer, in a spare buffer if any.
function chunkCopy(view) {
  const chunk = new Uint8Array(spareBuffers.pop() || new ArrayBuffer(ChunkBytes), 0, view.length);
  chunk.set(view);
  return chunk;
}

function forgetReadAhead() {
  readAhead.contents = null;
  readAhead.start = 0;
  readAhead.bytes = new Uint8Array(0);
}

// WORKERFS's read with the same contract: up to `length` bytes from `position` into
// `buffer` at `offset`, the count read (0 at the end of the file).
function readThroughWindow(stream, buffer, offset, length, position) {
  const file = stream.node.contents;
  const size = stream.node.size;
  if (position >= size) return 0;
  const count = Math.min(length, size - position);
  const held = readAhead.contents === file;
  const start = readAhead.start;
  const end = start + readAhead.bytes.length;
  if (!held || position < start || position + count > end) {
    const goesOn = held && position >= start && position <= end;
    const window = goesOn ? Math.min(2 * readAhead.bytes.length, ReadAheadMost) : ReadAheadFirst;
    const stop = Math.min(size, position + Math.max(count, window));
    readAhead.bytes = new Uint8Array(reader.readAsArrayBuffer(file.slice(position, stop)));
    readAhead.contents = file;
    readAhead.start = position;
  }
  const from = position - readAhead.start;
  buffer.set(readAhead.bytes.subarray(from, from + count), offset);
  return count;
}
let cancelled = false;
let queue = Promise.resolve();

function post(message, transfer) {
  self.postMessage(message, transfer || []);
}

// Each call returns the binding's JSON, valid until the next call: parsed at once.
function call(name, ...args) {
  const types = args.map((arg) => (typeof arg === "number" ? "number" : "string"));
  return JSON.parse(peek.ccall(name, "string", types, args));
}

// Lets a cancel request in between two chunks without the timer clamp of setTimeout.
const pausePort = new MessageChannel();
let pauseWaiters = [];
pausePort.port1.onmessage = () => {
  const waiters = pauseWaiters;
  pauseWaiters = [];
  for (const resume of waiters) resume();
};
function pause() {
  return new Promise((resume) => {
    pauseWaiters.push(resume);
    pausePort.port2.postMessage(null);
  });
}

function joinMessages(...texts) {
  return texts.filter((text) => text).join("");
}

function openImage(file) {
  const FS = peek.FS;
  if (mounted) {
    peek._peek_close();
    FS.unmount(MountPoint);
    mounted = false;
  }
  forgetReadAhead();
  if (!FS.analyzePath(MountPoint).exists) FS.mkdir(MountPoint);
  FS.mount(FS.filesystems.WORKERFS, { files: [file] }, MountPoint);
  mounted = true;
  return call("peek_open", `${MountPoint}/${file.name}`);
}

// Reads the opened file to its end, handing each chunk to `sink` as a view of the module's
// buffer, valid only during the call. Closes the file whatever happens and answers
// peek_file_close's JSON, with `cancelled` when the reading was stopped and `failed` when
// the binding refused the handle.
async function readOpened(opened, sink, progress) {
  let offset = 0;
  let failed = false;
  let closed;
  try {
    for (;;) {
      if (cancelled) break;
      const count = peek._peek_file_read(opened.handle, offset, ChunkBytes, buffer);
      if (count < 0) {
        failed = true;
        break;
      }
      if (count > 0) {
        // HEAPU8 is looked up each time: the memory may have grown during the call.
        sink(peek.HEAPU8.subarray(buffer, buffer + count));
        offset += count;
        progress(count);
      }
      if (count < ChunkBytes) break;
      await pause();
    }
  } finally {
    closed = call("peek_file_close", opened.handle);
  }
  return { ...closed, cancelled, failed, bytes: offset };
}

function readFailure(source) {
  return `The file could not be read(${source}).\n`;
}

// The stored MS-DOS date and time as the local Date that fflate writes back as the same
// date and time fields, or undefined (fflate then takes now) for words that form no real
// date and time, or a year past 2099, which fflate refuses. A time the local clock skips
// (the hour a summer time starts) exists in no Date: it comes out an hour later.
function localDate(dosDate, dosTime) {
  const year = 1980 + (dosDate >> 9);
  const month = (dosDate >> 5) & 0x0f;
  const day = dosDate & 0x1f;
  const hour = dosTime >> 11;
  const minute = (dosTime >> 5) & 0x3f;
  const second = (dosTime & 0x1f) * 2;
  if (year > 2099 || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59) {
    return undefined;
  }
  const date = new Date(year, month - 1, day, hour, minute, second);
  // A day past the month's end rolls over into the next month.
  if (day < 1 || date.getDate() !== day) return undefined;
  return date;
}

// The MS-DOS attribute bits of a Human68k attribute byte: read-only, hidden, system,
// directory and archive. The link and executable bits have no MS-DOS meaning.
function dosAttributes(entry) {
  return (entry.attributes & 0x27) | (entry.kind === "dir" ? 0x10 : 0);
}

async function downloadFile(id, path) {
  const walk = call("peek_walk", path);
  if (!walk.ok) return walk;
  const entry = walk.entries.find((item) => item.kind === "file");
  if (!entry) return { ok: true, name: null, messages: walk.messages };
  const opened = call("peek_file_open", entry.source);
  if (!opened.ok) return { ok: false, message: joinMessages(walk.messages, opened.message) };
  let done = 0;
  const read = await readOpened(
    opened,
    (view) => {
      const chunk = chunkCopy(view);
      post({ id, type: "chunk", parts: [chunk] }, [chunk.buffer]);
    },
    (count) => {
      done += count;
      post({ id, type: "progress", done, total: opened.size });
    });
  if (read.cancelled) return { ok: false, cancelled: true };
  if (read.failed) {
    return { ok: false, message: joinMessages(walk.messages, readFailure(entry.source)) };
  }
  const name = entry.path.slice(entry.path.lastIndexOf("/") + 1);
  return {
    ok: true,
    name,
    size: read.bytes,
    unreadable: read.unreadable,
    messages: joinMessages(walk.messages, read.message),
  };
}

function zipTooLarge(entries) {
  const encoder = new TextEncoder();
  let bytes = 22;  // the end record
  for (const entry of entries) {
    const name = encoder.encode(entry.kind === "dir" ? `${entry.path}/` : entry.path).length;
    // Local header, data, data descriptor; central directory record.
    bytes += 30 + name + (entry.kind === "file" ? entry.size : 0) + 16 + 46 + name;
  }
  return entries.length > ZipEntryLimit || bytes > ZipByteLimit;
}

async function downloadZip(id, path) {
  const walk = call("peek_walk", path);
  if (!walk.ok) return walk;
  if (zipTooLarge(walk.entries)) {
    return {
      ok: false,
      message: joinMessages(walk.messages,
        "This holds more than a zip can: 4 GiB or 65535 entries. " +
        "Download its folders one by one.\n"),
    };
  }
  const total = walk.entries.reduce((sum, e) => sum + (e.kind === "file" ? e.size : 0), 0);
  let pending = [];
  let zipError = null;
  const zip = new Zip((error, chunk) => {
    if (error) zipError = error;
    else pending.push(chunk);
  });
  const flush = () => {
    if (pending.length === 0) return;
    // Every chunk fflate hands out owns its buffer and is not touched again.
    const parts = pending.map((chunk) =>
      chunk.byteLength === chunk.buffer.byteLength ? chunk : chunk.slice());
    pending = [];
    post({ id, type: "chunk", parts }, parts.map((chunk) => chunk.buffer));
  };
  const messages = [walk.messages];
  const damaged = [];
  let files = 0;
  let folders = 0;
  let done = 0;
  for (const entry of walk.entries) {
    if (cancelled) break;
    const isDir = entry.kind === "dir";
    let opened = null;
    if (!isDir) {
      opened = call("peek_file_open", entry.source);
      if (!opened.ok) {
        messages.push(opened.message);
        continue;
      }
    }
    const item = new ZipPassThrough(isDir ? `${entry.path}/` : entry.path);
    item.mtime = localDate(entry.dosDate, entry.dosTime);
    item.os = 0;  // MS-DOS: the low byte of the external attributes holds its attributes
    item.attrs = dosAttributes(entry);
    zip.add(item);
    if (isDir) {
      folders += 1;
    } else {
      const read = await readOpened(
        opened,
        (chunk) => {
          item.push(chunk.slice());
          flush();
        },
        (count) => {
          done += count;
          post({ id, type: "progress", done, total });
        });
      if (read.cancelled) break;
      if (read.failed) messages.push(readFailure(entry.source));
      if (read.message) damaged.push(read.message);
      files += 1;
    }
    item.push(new Uint8Array(0), true);
    flush();
    if (zipError) break;
  }
  if (cancelled) {
    zip.terminate();
    return { ok: false, cancelled: true };
  }
  if (!zipError) zip.end();
  flush();
  if (zipError) {
    const failure = `The zip failed: ${zipError.message}\n`;
    return { ok: false, message: joinMessages(...messages, failure) };
  }
  return { ok: true, files, folders, size: done, damaged, messages: joinMessages(...messages) };
}

async function answer(request) {
  const { id, op } = request;
  let result;
  try {
    cancelled = false;
    switch (op) {
      case "open":
        result = openImage(request.file);
        break;
      case "select":
        result = call("peek_select", request.index);
        break;
      case "list":
        result = call("peek_list", request.path);
        break;
      case "file":
        result = await downloadFile(id, request.path);
        break;
      case "zip":
        result = await downloadZip(id, request.path);
        break;
      default:
        result = { ok: false, message: `Unknown request(${op})\n` };
    }
  } catch (error) {
    result = { ok: false, message: `${error && error.message ? error.message : error}\n` };
  }
  post({ id, type: "done", result });
}

const started = PeekWeb().then(
  (module) => {
    peek = module;
    peek.FS.filesystems.WORKERFS.stream_ops.read = readThroughWindow;
    buffer = peek._malloc(ChunkBytes);
    post({ type: "ready" });
  },
  (error) => {
    post({ type: "failed", message: `${error && error.message ? error.message : error}` });
  });

self.onmessage = (event) => {
  const request = event.data;
  if (request.op === "cancel") {
    cancelled = true;
    return;
  }
  if (request.op === "spare") {
    for (const spare of request.buffers) {
      if (spare.byteLength === ChunkBytes && spareBuffers.length < SpareMost) {
        spareBuffers.push(spare);
      }
    }
    return;
  }
  queue = queue.then(() => started).then(() => (peek ? answer(request) : post({
    id: request.id,
    type: "done",
    result: { ok: false, message: "The disk reader could not be started.\n" },
  })));
};
