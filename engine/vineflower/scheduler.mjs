// The Vineflower service's decompilers and their work: requests first, in the
// order they come, then class files decompiled ahead of a folder batch.
//
// A batch: a second request from the same folder within BATCH_GAP_MS of the
// one before (a single class file opened alone sets off nothing). While it
// lasts, each request queues the folder's other class files that follow it in
// the order the folder lists them (the order a batch walks them), up to the
// ahead limit; their results are held (the oldest dropped first past the limit
// or HELD_BYTES) until a request asks for them, and one is given only while
// every file read for it (the class file, its folder, its nested classes, the
// library classes Vineflower read) is as it was: device, inode, size,
// modification and change time. A batch without a request for BATCH_GAP_MS has
// stopped: its work not begun is dropped.
import fs from "node:fs";
import path from "node:path";
import { Worker } from "node:worker_threads";

import { Kind } from "./decompiler.mjs";
import { changedSince, unchanged } from "./file_stamp.mjs";
import { Answer } from "./protocol.mjs";

export const BATCH_GAP_MS = 2_000;
// A decompile may outlive its time limit by this much before its worker is
// ended: the client's own limit, counted from the same "started", ends first
// and says "timed out"; this one is for a client that is no longer there.
const GRACE_MS = 2_000;
const HELD_BYTES = 64 * 1024 * 1024;
const TICK_MS = 500;

const ANSWER_OF_KIND = Object.freeze({
  [Kind.SOURCE]: Answer.SOURCE,
  [Kind.PARTIAL]: Answer.PARTIAL,
  [Kind.FAILED]: Answer.NO_SOURCE,
});

// Worker threads, started when there is work and none free. A job:
//   { path, timeoutSeconds, delayMillis, wanted(), start(), finish(kind, text, result) }
// finish gets kind null when the job was no longer wanted; result (else null):
// { stamps, began, whole } with whole false for an answer that is no
// decompile's (a time-out, a worker that ended).
class Pool {
  #idle = [];
  #count = 0;
  #waiting = [];
  #maxWorkers;
  #nextAhead;

  // nextAhead(): the next job decompiled ahead, or null; asked when no request waits.
  constructor(maxWorkers, nextAhead) {
    this.#maxWorkers = maxWorkers;
    this.#nextAhead = nextAhead;
  }

  get busy() {
    return this.#count - this.#idle.length + this.#waiting.length;
  }

  submit(job) {
    this.#waiting.push(job);
    this.pump();
  }

  pump() {
    while (this.#idle.length > 0 || this.#count < this.#maxWorkers) {
      const job = this.#waiting.shift() ?? this.#nextAhead();
      if (!job) return;
      if (!job.wanted()) {
        job.finish(null, null, null);
        continue;
      }
      this.#run(this.#idle.pop() ?? this.#spawn(), job);
    }
  }

  #spawn() {
    ++this.#count;
    return new Worker(new URL("./worker.mjs", import.meta.url));
  }

  #retire(worker) {
    --this.#count;
    worker.removeAllListeners();
    worker.on("error", () => {});
    void worker.terminate();
  }

  #run(worker, job) {
    let done = false;
    const end = (kind, text, result, keep) => {
      if (done) return;
      done = true;
      clearTimeout(timer);
      worker.removeAllListeners("message");
      worker.removeAllListeners("error");
      worker.removeAllListeners("exit");
      if (keep) {
        this.#idle.push(worker);
      } else {
        this.#retire(worker);
      }
      job.finish(kind, text, result);
      this.pump();
    };
    const timer = setTimeout(
        () => end(Answer.NO_SOURCE, `timed out after ${job.timeoutSeconds} s`, null, false),
        job.timeoutSeconds * 1000 + GRACE_MS);
    worker.once("message", ({ kind, text, stamps, began }) =>
      end(ANSWER_OF_KIND[kind], text, { stamps, began }, true));
    worker.once("error", (error) => end(Answer.RUN_COLD, `the decompiler ended: ${error}`, null, false));
    worker.once("exit", () => end(Answer.RUN_COLD, "the decompiler ended", null, false));
    job.start();
    worker.postMessage({ file: job.path, delayMillis: job.delayMillis });
  }

  close() {
    for (const worker of this.#idle) this.#retire(worker);
    this.#idle = [];
  }
}

// Whether a decompile's result may stand for a later request: every file read
// for it unchanged since, none written while it was read.
function stillTrue(result) {
  return result !== null && !changedSince(result.stamps, result.began) && unchanged(result.stamps);
}

function folderOf(file) {
  return path.dirname(file);
}

export class Scheduler {
  #pool;
  #aheadLimit;
  #gapMs;
  #tick;

  #active = 0;
  #lastRequestEnd = -Infinity;
  #lastFolder = "";
  #batch = false;
  #answered = new Set();  // in this batch
  #walkStart = "";        // the first request of this batch
  #ahead = [];            // tasks not begun: { path, timeoutSeconds, begun, requested, waiters }
  #pending = new Map();   // path -> task, queued ahead or begun
  #held = new Map();      // path -> { kind, text, result }, oldest first
  #heldBytes = 0;
  #listing = null;        // { folder, stamp, names } of the latest batch folder

  constructor({ workers, aheadLimit, batchGapMs = BATCH_GAP_MS }) {
    this.#pool = new Pool(Math.max(1, workers), () => this.#takeAhead());
    this.#aheadLimit = Math.max(0, aheadLimit);
    this.#gapMs = batchGapMs;
    this.#tick = setInterval(() => this.#stopIdleBatch(), TICK_MS);
    this.#tick.unref();
  }

  // Whether anything is asked for, queued or being decompiled.
  get busy() {
    return this.#active > 0 || this.#pool.busy > 0 || this.#pending.size > 0;
  }

  // Answers one request: client.start() once when its decompile begins (or at
  // once for a held answer), then client.finish(kind, text) once; kind null
  // when the client went away first.
  request({ path: file, timeoutSeconds, delayMillis }, client) {
    ++this.#active;
    const now = Date.now();
    const folder = folderOf(file);
    const soon = this.#active > 1 || now - this.#lastRequestEnd <= this.#gapMs;
    this.#batch = soon && (this.#batch || folder === this.#lastFolder);
    // The batch's first file asked for again: the walk has started over (a second batch
    // started at once), and what the last walk asked for is to be decompiled ahead again.
    if (!this.#batch || (file === this.#walkStart && this.#answered.has(file))) this.#answered.clear();
    if (!this.#batch) this.#walkStart = file;
    this.#answered.add(file);
    this.#lastFolder = folder;

    let startSent = false;
    const start = () => {
      if (!startSent) client.start();
      startSent = true;
    };
    const end = (kind, text) => {
      --this.#active;
      this.#lastRequestEnd = Date.now();
      client.finish(kind, text);
    };
    const fresh = () => this.#pool.submit({
      path: file, timeoutSeconds, delayMillis, wanted: client.wanted, start,
      finish: (kind, text) => end(kind, text),
    });

    const held = this.#takeHeld(file);
    const task = this.#pending.get(file);
    if (held && stillTrue(held.result)) {
      start();
      end(held.kind, held.text);
    } else if (task?.begun) {
      task.requested = true;
      start();
      task.waiters.push((kind, text, result) => {
        if (kind !== null && kind !== Answer.RUN_COLD && stillTrue(result)) {
          end(kind, text);
        } else {
          fresh();
        }
      });
    } else {
      if (task) this.#dropQueued(task);
      fresh();
    }
    // After this request's own work is queued, so that it goes first.
    if (this.#batch && this.#aheadLimit > 0) this.#decompileAhead(file, timeoutSeconds);
  }

  close() {
    clearInterval(this.#tick);
    this.#pool.close();
  }

  #takeHeld(file) {
    const held = this.#held.get(file);
    if (!held) return null;
    this.#held.delete(file);
    this.#heldBytes -= held.text.length;
    return held;
  }

  #dropQueued(task) {
    this.#pending.delete(task.path);
    this.#ahead = this.#ahead.filter((t) => t !== task);
  }

  // Queues the class files after `file` in its folder's order, up to the
  // limit; work not begun for that folder is replaced, other folders' kept
  // after it while the limit allows.
  #decompileAhead(file, timeoutSeconds) {
    const folder = folderOf(file);
    const names = this.#classFiles(folder);
    const at = names.indexOf(path.basename(file));
    if (at < 0) return;
    const kept = [];
    for (const task of this.#ahead) {
      if (folderOf(task.path) === folder) {
        this.#pending.delete(task.path);
      } else {
        kept.push(task);
      }
    }
    const queued = [];
    for (const name of names.slice(at + 1, at + 1 + this.#aheadLimit)) {
      const next = path.join(folder, name);
      if (this.#held.has(next) || this.#pending.has(next) || this.#answered.has(next)) continue;
      const task = { path: next, timeoutSeconds, begun: false, requested: false, waiters: [] };
      this.#pending.set(next, task);
      queued.push(task);
    }
    this.#ahead = queued;
    for (const task of kept) {
      if (this.#ahead.length >= this.#aheadLimit) {
        this.#pending.delete(task.path);
      } else {
        this.#ahead.push(task);
      }
    }
    this.#pool.pump();
  }

  // The folder's class files in the order it lists them (readdir's, unsorted).
  #classFiles(folder) {
    let stamp;
    try {
      const stat = fs.statSync(folder, { bigint: true });
      stamp = `${stat.dev}:${stat.ino}:${stat.mtimeNs}:${stat.ctimeNs}`;
    } catch {
      return [];
    }
    if (this.#listing?.folder === folder && this.#listing.stamp === stamp) return this.#listing.names;
    const names = [];
    let dir;
    try {
      dir = fs.opendirSync(folder);
      for (let entry = dir.readSync(); entry !== null; entry = dir.readSync()) {
        if (entry.name.length > 5 && entry.name.toUpperCase().endsWith("CLASS") &&
            !entry.isDirectory())
          names.push(entry.name);
      }
    } catch {
      return [];
    } finally {
      try {
        dir?.closeSync();
      } catch {
        // Closed already.
      }
    }
    this.#listing = { folder, stamp, names };
    return names;
  }

  #takeAhead() {
    const task = this.#ahead.shift();
    if (!task) return null;
    task.begun = true;
    return {
      path: task.path, timeoutSeconds: task.timeoutSeconds, delayMillis: 0,
      wanted: () => true, start: () => {},
      finish: (kind, text, result) => this.#aheadDone(task, kind, text, result),
    };
  }

  #aheadDone(task, kind, text, result) {
    this.#pending.delete(task.path);
    if (!task.requested && kind !== Answer.RUN_COLD && result !== null &&
        !changedSince(result.stamps, result.began)) {
      this.#held.delete(task.path);
      this.#held.set(task.path, { kind, text, result });
      this.#heldBytes += text.length;
      for (const [oldest, held] of this.#held) {
        if (this.#held.size <= this.#aheadLimit && this.#heldBytes <= HELD_BYTES) break;
        this.#held.delete(oldest);
        this.#heldBytes -= held.text.length;
      }
    }
    for (const waiter of task.waiters) waiter(kind, text, result);
  }

  #stopIdleBatch() {
    if (!this.#batch || this.#active > 0 || Date.now() - this.#lastRequestEnd <= this.#gapMs) return;
    this.#batch = false;
    this.#answered.clear();
    for (const task of this.#ahead) this.#pending.delete(task.path);
    this.#ahead = [];
  }
}
