// The page: picks an image, shows its partitions and folders and downloads files, folders
// and partitions. The image is read by worker.js; nothing leaves the browser.
//
// Hooks for tests, all stable:
//   body[data-state]        "busy" while the reader starts or works, "idle" when it waits
//   #file-input             the <input type=file>; #drop-zone takes dropped files (so does
//                           the whole page); #image-name the picked file's name
//   #messages               every message of the last action, one child per message:
//                           .message.error, .message.warning or .message.note
//   #report                 <pre> with the partition report (inside <details id=report-box>)
//   #partition              <select>, one <option value=N> per partition, unusable ones
//                           disabled; shown (#partition-box) only for several partitions
//   #breadcrumb             the folder path; each part a <button data-path="\SYS">, the
//                           root "\" first; the current part has aria-current="page"
//   #listing                the table (focusable); data-entries the folder's number of
//                           entries ("." left out); its heading buttons [data-sort="name"],
//                           [data-sort="size"], [data-sort="date"] sort (ascending,
//                           descending, disk order), the <th> carries aria-sort
//   #listing tbody tr.entry one per entry, with data-index (its place in the order shown,
//                           from 0), data-name, data-kind ("dir", "file", "vol", "lnk", or
//                           "up" for ".."), data-size, data-date, data-time,
//                           data-attributes (the attribute byte in decimal);
//                           cells td.name, td.size, td.date, td.time, td.attributes;
//                           the selected row has class "selected" and aria-selected="true";
//                           "." is left out; a folder's (and ".."'s) name is a button.open
//                           that opens it. Keys on the table: arrows, Home, End, PageUp,
//                           PageDown move; Enter opens or downloads; Backspace goes up.
//                           A folder of more than 1,000 entries has the class "virtual" and
//                           tr.entry rows only for those in view and some above and below,
//                           between two tr.spacer rows; the rows change as the page
//                           scrolls, and moving the selection scrolls to its row
//   #download-selected      downloads the selected file, or the selected folder as a zip
//   #download-folder        the current folder as a zip
//   #download-partition     the whole partition as a zip
//                           A zip holds what hauldisk copies for the folder: its content,
//                           not the folder itself; it is named FOLDER.zip, or IMAGE-pN.zip
//                           for a partition (IMAGE the file name without its extension)
//   #progress-box, #progress, #progress-text, #cancel   a running download
//   window.peekweb          {lastDownload: {name, size}} of the last saved file or zip

const RootPath = "\\";
const ZipType = "application/zip";

const $ = (selector) => document.querySelector(selector);
const elements = {
  fileInput: $("#file-input"),
  dropZone: $("#drop-zone"),
  imageName: $("#image-name"),
  messages: $("#messages"),
  disk: $("#disk"),
  reportBox: $("#report-box"),
  report: $("#report"),
  partitionBox: $("#partition-box"),
  partition: $("#partition"),
  breadcrumb: $("#breadcrumb"),
  listing: $("#listing"),
  rows: $("#listing tbody"),
  downloadSelected: $("#download-selected"),
  downloadFolder: $("#download-folder"),
  downloadPartition: $("#download-partition"),
  progressBox: $("#progress-box"),
  progress: $("#progress"),
  progressText: $("#progress-text"),
  cancel: $("#cancel"),
};

const view = {
  imageName: "",
  partitionIndex: -1,
  path: RootPath,
  entries: [],  // as the binding lists them, "." left out
  rows: [],     // the entries in the order shown
  sortKey: null,
  sortDescending: false,
  selected: -1,
  mounted: false,
};

window.peekweb = { lastDownload: null };

// The worker and its requests.

const worker = new Worker(new URL("./worker.js", import.meta.url), { type: "module" });
const waiting = new Map();
let nextId = 1;
let busyCount = 1;  // until the worker says it is ready
let workerReady;
const ready = new Promise((resolve) => { workerReady = resolve; });

function setBusy(change) {
  busyCount += change;
  const busy = busyCount > 0;
  document.body.dataset.state = busy ? "busy" : "idle";
  for (const control of [elements.fileInput, elements.partition]) control.disabled = busy;
  updateButtons();
}

worker.onmessage = (event) => {
  const message = event.data;
  if (message.type === "ready") {
    workerReady(true);
    setBusy(-1);
    return;
  }
  if (message.type === "failed") {
    say(`The disk reader could not be started: ${message.message}`, "error");
    workerReady(false);
    setBusy(-1);
    return;
  }
  const request = waiting.get(message.id);
  if (!request) return;
  if (message.type === "chunk") {
    request.onChunk(message.parts);
  } else if (message.type === "progress") {
    request.onProgress(message.done, message.total);
  } else if (message.type === "done") {
    waiting.delete(message.id);
    request.resolve(message.result);
  }
};

worker.onerror = (event) => {
  event.preventDefault();
  const hint = location.protocol === "file:"
    ? " Open the page from a web server, not as a file." : "";
  say(`The disk reader could not be started.${hint}`, "error");
  workerReady(false);
  for (const request of waiting.values()) {
    request.resolve({ ok: false, message: "The disk reader stopped.\n" });
  }
  waiting.clear();
  busyCount = 1;
  setBusy(-1);
};

async function request(fields, handlers = {}) {
  setBusy(+1);
  try {
    if (!(await ready)) return { ok: false, message: "The disk reader is not running.\n" };
    const id = nextId++;
    return await new Promise((resolve) => {
      waiting.set(id, {
        resolve,
        onChunk: handlers.onChunk || (() => {}),
        onProgress: handlers.onProgress || (() => {}),
      });
      worker.postMessage({ id, ...fields });
    });
  } finally {
    setBusy(-1);
  }
}

// Messages: one area, emptied when an action starts.

function clearMessages() {
  elements.messages.replaceChildren();
}

function say(text, kind = "note") {
  if (!text) return;
  const line = document.createElement("div");
  line.className = `message ${kind}`;
  line.textContent = text.replace(/\n$/, "");
  elements.messages.append(line);
}

// Paths in the programs' form: "\" the root, "\SYS\BIN" below it.

function joinPath(directory, name) {
  return directory === RootPath ? RootPath + name : `${directory}\\${name}`;
}

function parentPath(path) {
  const cut = path.lastIndexOf("\\");
  return cut <= 0 ? RootPath : path.slice(0, cut);
}

function lastPart(path) {
  return path.slice(path.lastIndexOf("\\") + 1);
}

// Opening an image and a partition.

function resetDisk() {
  view.mounted = false;
  view.entries = [];
  view.rows = [];
  view.selected = -1;
  view.path = RootPath;
  elements.disk.hidden = true;
  elements.report.textContent = "";
  elements.partition.replaceChildren();
  elements.partitionBox.hidden = true;
  elements.breadcrumb.replaceChildren();
  elements.rows.replaceChildren();
  list.virtual = false;
  list.start = list.end = 0;
  elements.listing.classList.remove("virtual");
  elements.listing.dataset.entries = "0";
  updateButtons();
}

async function openImage(file) {
  clearMessages();
  resetDisk();
  view.imageName = file.name;
  elements.imageName.textContent = `${file.name} (${file.size.toLocaleString("en")} bytes)`;
  elements.imageName.hidden = false;
  const opened = await request({ op: "open", file });
  if (!opened.ok) {
    say(opened.message, "error");
    return;
  }
  elements.report.textContent = opened.report;
  for (const partition of opened.partitions) {
    const option = document.createElement("option");
    option.value = String(partition.index);
    option.disabled = !partition.usable;
    // Images made by some tools leave the size at 0: then only the number is shown.
    const size =
      partition.sectors > 0 ? ` (${partition.sectors.toLocaleString("en")} sectors)` : "";
    option.textContent = partition.usable
      ? `${partition.index}${size}`
      : `${partition.index}: the boot sector cannot be read`;
    elements.partition.append(option);
  }
  elements.partitionBox.hidden = opened.partitions.length < 2;
  elements.disk.hidden = false;
  const first = opened.partitions.find((partition) => partition.usable);
  // With none usable, partition 0 is asked for all the same: the binding says why not.
  await selectPartition(first ? first.index : 0);
}

async function selectPartition(index) {
  view.mounted = false;
  view.partitionIndex = index;
  elements.partition.value = String(index);
  const selected = await request({ op: "select", index });
  if (!selected.ok) {
    say(selected.message, "error");
    showEntries(RootPath, []);
    return;
  }
  say(selected.messages, "warning");
  view.mounted = true;
  if (!(await listDirectory(RootPath))) showEntries(RootPath, []);
}

// Folders.

// Lists `path` and shows it, the row named `focusName` selected. False when it could not
// be listed; the view then stays as it was.
async function listDirectory(path, focusName) {
  const listed = await request({ op: "list", path });
  if (!listed.ok) {
    say(listed.message, "error");
    return false;
  }
  say(listed.messages, "warning");
  showEntries(listed.path, listed.entries.filter((entry) => entry.name !== "."), focusName);
  return true;
}

function showEntries(path, entries, focusName) {
  view.path = path;
  view.entries = entries;
  renderBreadcrumb();
  arrangeRows();
  const found = view.rows.findIndex((entry) => entry.name === focusName);
  renderRows(found >= 0 ? found : 0);
}

async function openDirectory(path, focusName) {
  clearMessages();
  if (await listDirectory(path, focusName)) elements.listing.focus();
}

function goUp() {
  if (view.path === RootPath) return;
  openDirectory(parentPath(view.path), lastPart(view.path));
}

function renderBreadcrumb() {
  const parts = view.path === RootPath ? [] : view.path.slice(1).split("\\");
  const crumbs = [];
  const addCrumb = (label, path, current) => {
    const button = document.createElement("button");
    button.type = "button";
    button.className = "crumb";
    button.textContent = label;
    button.dataset.path = path;
    if (current) button.setAttribute("aria-current", "page");
    crumbs.push(button);
  };
  addCrumb(RootPath, RootPath, parts.length === 0);
  let path = RootPath;
  parts.forEach((part, index) => {
    path = joinPath(path, part);
    if (index > 0) {
      const separator = document.createElement("span");
      separator.className = "separator";
      separator.textContent = "\\";
      crumbs.push(separator);
    }
    addCrumb(part, path, index === parts.length - 1);
  });
  elements.breadcrumb.replaceChildren(...crumbs);
}

// The listing.

const collator = new Intl.Collator(undefined, { numeric: true });

function compareEntries(a, b) {
  switch (view.sortKey) {
    case "name":
      return collator.compare(a.name, b.name);
    case "size":
      return a.size - b.size || collator.compare(a.name, b.name);
    case "date":
      return a.dosDate - b.dosDate || a.dosTime - b.dosTime || collator.compare(a.name, b.name);
    default:
      return 0;
  }
}

// Disk order, or sorted with the folders first; ".." stays on top.
function arrangeRows() {
  const up = view.entries.filter((entry) => entry.name === "..");
  const rest = view.entries.filter((entry) => entry.name !== "..");
  if (view.sortKey) {
    const direction = view.sortDescending ? -1 : 1;
    rest.sort((a, b) => {
      const folders = (b.kind === "dir") - (a.kind === "dir");
      return folders || direction * compareEntries(a, b);
    });
  }
  view.rows = [...up, ...rest];
  for (const heading of elements.listing.querySelectorAll("th")) {
    const key = heading.querySelector("[data-sort]")?.dataset.sort;
    const sorted = key && key === view.sortKey;
    const order = view.sortDescending ? "descending" : "ascending";
    heading.setAttribute("aria-sort", sorted ? order : "none");
  }
}

const AttributeLetters = [
  [0x80, "X"], [0x40, "L"], [0x20, "A"], [0x10, "D"],
  [0x08, "V"], [0x04, "S"], [0x02, "H"], [0x01, "R"],
];

function attributeText(attributes) {
  return AttributeLetters.map(([bit, letter]) => (attributes & bit ? letter : "-")).join("");
}

function kindOf(entry) {
  return entry.name === ".." ? "up" : entry.kind;
}

function sizeText(entry) {
  switch (entry.kind) {
    case "dir": return "<DIR>";
    case "vol": return "<VOL>";
    case "lnk": return "<LNK>";
    default: return String(entry.size);
  }
}

function createRow(index) {
  const entry = view.rows[index];
  const row = document.createElement("tr");
  const kind = kindOf(entry);
  row.className = `entry ${kind}`;
  row.id = `entry-${index}`;
  row.dataset.index = String(index);
  row.dataset.name = entry.name;
  row.dataset.kind = kind;
  row.dataset.size = entry.kind === "file" ? String(entry.size) : sizeText(entry);
  row.dataset.date = entry.date;
  row.dataset.time = entry.time;
  row.dataset.attributes = String(entry.attributes);
  // Row 1 is the heading's.
  row.setAttribute("aria-rowindex", String(index + 2));
  const selected = index === view.selected;
  if (selected) row.classList.add("selected");
  row.setAttribute("aria-selected", String(selected));
  const nameCell = document.createElement("td");
  nameCell.className = "name";
  if (kind === "dir" || kind === "up") {
    const open = document.createElement("button");
    open.type = "button";
    open.className = "open";
    open.tabIndex = -1;
    open.textContent = entry.name;
    nameCell.append(open);
  } else {
    nameCell.textContent = entry.name;
  }
  const cell = (className, text, title) => {
    const td = document.createElement("td");
    td.className = className;
    td.textContent = text;
    if (title) td.title = title;
    return td;
  };
  const attributesHex = `0x${entry.attributes.toString(16).padStart(2, "0")}`;
  row.append(nameCell, cell("size", sizeText(entry)), cell("date", entry.date),
             cell("time", entry.time),
             cell("attributes", attributeText(entry.attributes), attributesHex));
  return row;
}

// A folder of more entries than VirtualThreshold puts into the table only the rows in view
// and VirtualMargin rows above and below them, between two spacer rows as tall as the rows
// left out; the others are put in as the page scrolls. Laying out a table of tens of
// thousands of rows takes the browser seconds. The rows are of one height (names do not
// wrap there), measured on the first row put in.
const VirtualThreshold = 1000;
const VirtualMargin = 40;
const FallbackRowHeight = 28;

const list = {
  virtual: false,
  start: 0,     // the rows view.rows[start, end) are in the table
  end: 0,
  rowHeight: 0,
  top: null,    // the spacer rows
  bottom: null,
};

function spacerRow() {
  const row = document.createElement("tr");
  row.className = "spacer";
  row.setAttribute("aria-hidden", "true");
  const cell = document.createElement("td");
  cell.colSpan = 5;
  row.append(cell);
  return row;
}

function renderRows(selected) {
  const count = view.rows.length;
  elements.listing.dataset.entries = String(count);
  elements.listing.setAttribute("aria-rowcount", String(count + 1));
  view.selected = -1;
  list.virtual = count > VirtualThreshold;
  elements.listing.classList.toggle("virtual", list.virtual);
  if (!list.virtual) {
    list.start = 0;
    list.end = count;
    elements.rows.replaceChildren(...view.rows.map((entry, index) => createRow(index)));
    select(Math.min(selected, count - 1));
    return;
  }
  // The size column as wide as its widest text, so that it keeps its width as rows come
  // and go.
  const sizeChars = view.rows.reduce((most, entry) => Math.max(most, sizeText(entry).length), 0);
  elements.listing.style.setProperty("--size-chars", String(sizeChars));
  list.top = list.top || spacerRow();
  list.bottom = list.bottom || spacerRow();
  // The first row also holds half the heading's collapsed border: the second is measured.
  list.top.style.height = "0";
  const probe = createRow(1);
  elements.rows.replaceChildren(list.top, createRow(0), probe);
  list.rowHeight = probe.getBoundingClientRect().height || FallbackRowHeight;
  // The spacer below first, so that the page can scroll to any row.
  renderWindow(0, 2);
  select(Math.min(selected, count - 1));
}

// The rows [first, last) of view.rows that the window shows.
function rowsInView() {
  const top = elements.rows.getBoundingClientRect().top;
  const count = view.rows.length;
  const first = Math.floor(-top / list.rowHeight);
  const last = Math.ceil((window.innerHeight - top) / list.rowHeight);
  return [Math.max(0, Math.min(count, first)), Math.max(0, Math.min(count, last))];
}

// Puts the rows [start, end) into the table; the rows already there are kept.
function renderWindow(start, end) {
  const kept = new Map();
  for (const row of elements.rows.querySelectorAll("tr.entry")) {
    kept.set(Number(row.dataset.index), row);
  }
  const rows = [];
  for (let index = start; index < end; index++) rows.push(kept.get(index) || createRow(index));
  list.top.style.height = `${start * list.rowHeight}px`;
  list.bottom.style.height = `${(view.rows.length - end) * list.rowHeight}px`;
  elements.rows.replaceChildren(list.top, ...rows, list.bottom);
  list.start = start;
  list.end = end;
}

// Puts the rows in view and the margin around them into the table, unless they are there
// with at least half the margin left on each side.
function drawWindow(force = false) {
  if (!list.virtual) return;
  const [first, last] = rowsInView();
  const count = view.rows.length;
  const slack = VirtualMargin / 2;
  if (!force && first >= list.start && last <= list.end &&
      (list.start === 0 || first - list.start >= slack) &&
      (list.end === count || list.end - last >= slack)) {
    return;
  }
  renderWindow(Math.max(0, first - VirtualMargin), Math.min(count, last + VirtualMargin));
}

// Scrolls the window the least that shows row `index` whole, as if every row were in the
// table, and puts the rows there into it.
function revealRow(index) {
  const top = elements.rows.getBoundingClientRect().top + index * list.rowHeight;
  const bottom = top + list.rowHeight;
  if (top < 0) window.scrollBy(0, top);
  else if (bottom > window.innerHeight) window.scrollBy(0, bottom - window.innerHeight);
  drawWindow();
}

function rowElement(index) {
  if (index < list.start || index >= list.end) return null;
  return elements.rows.children[index - list.start + (list.virtual ? 1 : 0)] || null;
}

function select(index) {
  const previous = rowElement(view.selected);
  if (previous) {
    previous.classList.remove("selected");
    previous.setAttribute("aria-selected", "false");
  }
  if (index < 0 || index >= view.rows.length) {
    view.selected = -1;
    elements.listing.removeAttribute("aria-activedescendant");
    updateButtons();
    return;
  }
  view.selected = index;
  if (list.virtual) revealRow(index);
  const row = rowElement(index);
  row.classList.add("selected");
  row.setAttribute("aria-selected", "true");
  elements.listing.setAttribute("aria-activedescendant", row.id);
  row.scrollIntoView({ block: "nearest" });
  updateButtons();
}

function selectedEntry() {
  return view.selected >= 0 ? view.rows[view.selected] : null;
}

// Opens a folder, goes up for "..", downloads a file.
function activate(index) {
  const entry = view.rows[index];
  if (!entry || document.body.dataset.state === "busy") return;
  switch (kindOf(entry)) {
    case "up":
      goUp();
      break;
    case "dir":
      openDirectory(joinPath(view.path, entry.name));
      break;
    case "file":
      downloadFile(joinPath(view.path, entry.name));
      break;
    default:
      clearMessages();
      say(`${entry.name} is a ${entry.kind === "vol" ? "volume label" : "link"}: ` +
          "it holds no data to download.");
  }
}

function sortBy(key) {
  if (view.sortKey !== key) {
    view.sortKey = key;
    view.sortDescending = false;
  } else if (!view.sortDescending) {
    view.sortDescending = true;
  } else {
    view.sortKey = null;
  }
  const current = selectedEntry();
  arrangeRows();
  renderRows(Math.max(0, view.rows.indexOf(current)));
}

// Downloads.

let lastUrl = null;

function save(blob, name) {
  // The previous link is let go only now: a download may still be reading it shortly after
  // the click.
  if (lastUrl) URL.revokeObjectURL(lastUrl);
  lastUrl = URL.createObjectURL(blob);
  const link = document.createElement("a");
  link.href = lastUrl;
  link.download = name;
  link.hidden = true;
  document.body.append(link);
  link.click();
  link.remove();
  window.peekweb.lastDownload = { name, size: blob.size };
}

function mebibytes(bytes) {
  return `${(bytes / 1048576).toFixed(1)} MiB`;
}

function showProgress(done, total) {
  elements.progressBox.hidden = false;
  elements.progress.max = total || 1;
  elements.progress.value = Math.min(done, total || 1);
  elements.progressText.textContent = `${mebibytes(done)} of ${mebibytes(total)}`;
}

function hideProgress() {
  elements.progressBox.hidden = true;
  elements.progressText.textContent = "";
}

// Receives the chunks of a download as small Blobs, so the browser may keep them out of
// the page's memory, and hands their buffers back to the worker for the next chunks.
async function fetchParts(fields) {
  const parts = [];
  showProgress(0, 0);
  try {
    const result = await request(fields, {
      onChunk: (chunks) => {
        parts.push(new Blob(chunks));
        const buffers = chunks.map((chunk) => chunk.buffer);
        worker.postMessage({ op: "spare", buffers }, buffers);
      },
      onProgress: showProgress,
    });
    return { result, parts };
  } finally {
    hideProgress();
  }
}

// Fetches a download's parts; null after saying why there is nothing to save.
async function fetchDownload(request) {
  clearMessages();
  const { result, parts } = await fetchParts(request);
  if (result.cancelled) {
    say("The download was cancelled.");
    return null;
  }
  if (!result.ok) {
    say(result.message, "error");
    return null;
  }
  return { result, parts };
}

async function downloadFile(path) {
  const fetched = await fetchDownload({ op: "file", path });
  if (!fetched) return;
  const { result, parts } = fetched;
  if (result.name === null) {
    say(result.messages || `${path} cannot be saved under its name.`, "error");
    return;
  }
  save(new Blob(parts, { type: "application/octet-stream" }), result.name);
  say(`Saved ${result.name}, ${result.size.toLocaleString("en")} bytes.`);
  if (result.unreadable > 0) {
    say(`Parts of it could not be read and are zeros in the copy: ${result.messages}`, "warning");
  } else {
    say(result.messages, "warning");
  }
}

function zipName(path) {
  if (path !== RootPath) return `${lastPart(path)}.zip`;
  const stem = view.imageName.replace(/\.[^.]*$/, "") || "partition";
  return `${stem}-p${view.partitionIndex}.zip`;
}

// The zip holds what hauldisk copies for `path`: a folder's content, without the folder.
async function downloadZip(path) {
  const fetched = await fetchDownload({ op: "zip", path });
  if (!fetched) return;
  const { result, parts } = fetched;
  const name = zipName(path);
  save(new Blob(parts, { type: ZipType }), name);
  say(`Saved ${name}: ${result.files} files, ${result.folders} folders, ` +
      `${result.size.toLocaleString("en")} bytes of data.`);
  say(result.messages, "warning");
  if (result.damaged.length > 0) {
    say(`${result.damaged.length} of the files could not be read whole; ` +
        "their unreadable parts are zeros in the zip:", "warning");
    for (const message of result.damaged) say(message, "warning");
  }
}

function updateButtons() {
  const busy = document.body.dataset.state === "busy";
  const entry = selectedEntry();
  const kind = entry ? kindOf(entry) : null;
  const usable = view.mounted && !busy;
  elements.downloadSelected.disabled = !usable || (kind !== "file" && kind !== "dir");
  const labels = { dir: `Download ${entry?.name} (zip)`, file: `Download ${entry?.name}` };
  elements.downloadSelected.textContent = labels[kind] || "Download selected";
  elements.downloadFolder.disabled = !usable;
  elements.downloadPartition.disabled = !usable;
}

// Events.

elements.fileInput.addEventListener("change", () => {
  const file = elements.fileInput.files[0];
  if (file) openImage(file);
  // Picking the same file again opens it again.
  elements.fileInput.value = "";
});

let dragDepth = 0;
document.addEventListener("dragenter", (event) => {
  event.preventDefault();
  dragDepth += 1;
  elements.dropZone.classList.add("dragging");
});
document.addEventListener("dragleave", () => {
  dragDepth = Math.max(0, dragDepth - 1);
  if (dragDepth === 0) elements.dropZone.classList.remove("dragging");
});
document.addEventListener("dragover", (event) => {
  event.preventDefault();
  if (event.dataTransfer) event.dataTransfer.dropEffect = "copy";
});
document.addEventListener("drop", (event) => {
  // Never let the browser navigate to the dropped file.
  event.preventDefault();
  dragDepth = 0;
  elements.dropZone.classList.remove("dragging");
  const file = event.dataTransfer && event.dataTransfer.files[0];
  if (!file) return;
  if (document.body.dataset.state === "busy") {
    say("Wait until the current work ends, then drop the image again.", "warning");
    return;
  }
  openImage(file);
});

elements.partition.addEventListener("change", () => {
  clearMessages();
  selectPartition(Number(elements.partition.value));
});

elements.breadcrumb.addEventListener("click", (event) => {
  const crumb = event.target.closest("button[data-path]");
  if (crumb && document.body.dataset.state !== "busy") openDirectory(crumb.dataset.path);
});

elements.listing.querySelector("thead").addEventListener("click", (event) => {
  const button = event.target.closest("button[data-sort]");
  if (button) sortBy(button.dataset.sort);
});

elements.rows.addEventListener("click", (event) => {
  const row = event.target.closest("tr.entry");
  if (!row) return;
  select(Number(row.dataset.index));
  if (event.target.closest("button.open")) activate(Number(row.dataset.index));
  else elements.listing.focus();
});

elements.rows.addEventListener("dblclick", (event) => {
  const row = event.target.closest("tr.entry");
  if (row && !event.target.closest("button.open")) activate(Number(row.dataset.index));
});

elements.listing.addEventListener("keydown", (event) => {
  if (event.target.closest("thead")) return;
  const last = view.rows.length - 1;
  const page = 10;
  const moves = {
    ArrowDown: view.selected + 1,
    ArrowUp: view.selected - 1,
    Home: 0,
    End: last,
    PageDown: view.selected + page,
    PageUp: view.selected - page,
  };
  if (event.key in moves) {
    event.preventDefault();
    if (last >= 0) select(Math.max(0, Math.min(last, moves[event.key])));
  } else if (event.key === "Enter") {
    event.preventDefault();
    activate(view.selected);
  } else if (event.key === "Backspace") {
    event.preventDefault();
    if (document.body.dataset.state !== "busy") goUp();
  }
});

elements.downloadSelected.addEventListener("click", () => {
  const entry = selectedEntry();
  if (!entry) return;
  const path = joinPath(view.path, entry.name);
  if (kindOf(entry) === "dir") downloadZip(path);
  else if (kindOf(entry) === "file") downloadFile(path);
});
elements.downloadFolder.addEventListener("click", () => downloadZip(view.path));
elements.downloadPartition.addEventListener("click", () => downloadZip(RootPath));
elements.cancel.addEventListener("click", () => worker.postMessage({ op: "cancel" }));

// Scroll events come once a frame, before it is drawn.
window.addEventListener("scroll", () => drawWindow());
window.addEventListener("resize", () => {
  if (!list.virtual) return;
  const row = elements.rows.querySelector("tr.entry + tr.entry");
  if (row) list.rowHeight = row.getBoundingClientRect().height || list.rowHeight;
  drawWindow(true);
});

window.addEventListener("pagehide", () => {
  if (lastUrl) URL.revokeObjectURL(lastUrl);
});

updateButtons();
