// A file as it was at one moment: device, inode, size, modification and
// change time (nanoseconds). Any write, truncation, replacement, rename over
// it or change of its attributes gives another stamp; the change time cannot
// be set back by anyone.
import fs from "node:fs";

// `stat`: fs.statSync(file, { bigint: true }), taken just before the file is read.
export function stampOf(file, stat) {
  return { file, dev: stat.dev, ino: stat.ino, size: stat.size, mtimeNs: stat.mtimeNs,
           ctimeNs: stat.ctimeNs };
}

function same(a, b) {
  return a.dev === b.dev && a.ino === b.ino && a.size === b.size && a.mtimeNs === b.mtimeNs &&
         a.ctimeNs === b.ctimeNs;
}

// Whether every file is as its stamp says.
export function unchanged(stamps) {
  for (const stamp of stamps) {
    let now;
    try {
      now = fs.statSync(stamp.file, { bigint: true });
    } catch {
      return false;
    }
    if (!same(stamp, now)) return false;
  }
  return true;
}

// Whether a file may have been written while it was read: it changed within
// the file system's clock step (a second) of `sinceMillis` or later, where a
// second write could leave the stamp as it was.
export function changedSince(stamps, sinceMillis) {
  const since = (BigInt(Math.floor(sinceMillis)) - 1000n) * 1_000_000n;
  return stamps.some((stamp) => stamp.mtimeNs >= since || stamp.ctimeNs >= since);
}
