// The resident side of Brindle's Vineflower engine: one Node process per user
// that keeps Vineflower loaded in worker threads and decompiles class files for
// later clients over a Unix-domain socket (protocol.mjs).
//
// Started by jad (never by hand) as
//   node vineflower.mjs <socket path> <key> <idle seconds>
// with stdin, stdout and stderr on /dev/null and fd 3 the write end of jad's
// start-up pipe. Once the socket is listening it writes "R" on that pipe.
//
// Every request is decompiled by decompiler.mjs, as a cold run
// (`node vineflower.mjs --cold <class file>`) does it, so both give the same
// bytes. Requests run on up to MAX_WORKERS worker threads at once; the rest
// wait their turn, and a request's time limit starts with its decompile (the
// "started" answer). A decompile past its time limit ends its worker only: the
// request is answered "no source" and the other requests go on. After the idle
// time without a connection the service removes its socket and ends.
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import { Worker } from "node:worker_threads";

import { Kind } from "./decompiler.mjs";
import { Answer, RequestReader, frame } from "./protocol.mjs";

const MAX_WORKERS = Math.max(1, Math.min(os.availableParallelism(), 4));
const REQUEST_READ_LIMIT_MS = 10_000;
const ANSWER_OF_KIND = Object.freeze({
  [Kind.SOURCE]: Answer.SOURCE,
  [Kind.PARTIAL]: Answer.PARTIAL,
  [Kind.FAILED]: Answer.NO_SOURCE,
});

// Worker threads, started when a request finds none free.
class Pool {
  #idle = [];
  #count = 0;
  #waiting = [];

  get busy() {
    return this.#count - this.#idle.length + this.#waiting.length;
  }

  // Runs `job.start()` when a worker is free, then decompiles; calls
  // `job.finish(kind, text)` once with the answer.
  submit(job) {
    this.#waiting.push(job);
    this.#pump();
  }

  #pump() {
    while (this.#waiting.length > 0 && (this.#idle.length > 0 || this.#count < MAX_WORKERS)) {
      const job = this.#waiting.shift();
      if (!job.wanted()) {
        job.finish(null);
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
    const end = (kind, text, keep) => {
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
      job.finish(kind, text);
      this.#pump();
    };
    const timer = setTimeout(
        () => end(Answer.NO_SOURCE, `timed out after ${job.timeoutSeconds} s`, false),
        job.timeoutSeconds * 1000);
    worker.once("message", ({ kind, text }) => end(ANSWER_OF_KIND[kind], text, true));
    worker.once("error", (error) => end(Answer.RUN_COLD, `the decompiler ended: ${error}`, false));
    worker.once("exit", () => end(Answer.RUN_COLD, "the decompiler ended", false));
    job.start();
    worker.postMessage({ file: job.path, delayMillis: job.delayMillis });
  }

  close() {
    for (const worker of this.#idle) this.#retire(worker);
    this.#idle = [];
  }
}

function identity(file) {
  try {
    const stat = fs.lstatSync(file);
    return `${stat.dev}:${stat.ino}`;
  } catch {
    return null;
  }
}

// Binds under a private name and renames it over the final one, so a client
// sees either the old socket file or a listening one.
async function listen(server, socketPath) {
  const temp = `${socketPath}.${process.pid}`;
  fs.rmSync(temp, { force: true });
  await new Promise((resolve, reject) => {
    server.once("error", reject);
    server.listen({ path: temp, backlog: 16 }, () => {
      server.off("error", reject);
      resolve();
    });
  });
  try {
    fs.renameSync(temp, socketPath);
  } catch (error) {
    fs.rmSync(temp, { force: true });
    throw error;
  }
}

function signalReady() {
  try {
    fs.writeSync(3, "R");
    fs.closeSync(3);
  } catch {
    // jad has stopped waiting; it finds the socket on its next run.
  }
}

export async function runService(socketPath, key, idleSeconds) {
  const idleMillis = (Number.isFinite(idleSeconds) && idleSeconds > 0 ? idleSeconds : 600) * 1000;
  const pool = new Pool();
  let connections = 0;
  let lastActivity = Date.now();

  // Half-open: a client may end its side once its request is sent.
  const server = net.createServer({ allowHalfOpen: true }, (client) => {
    ++connections;
    lastActivity = Date.now();
    const reader = new RequestReader();
    let answered = false;
    const readLimit = setTimeout(() => client.destroy(), REQUEST_READ_LIMIT_MS);
    const send = (kind, text) => {
      answered = true;
      client.end(frame(kind, text));
    };
    client.on("error", () => {});
    client.on("close", () => {
      clearTimeout(readLimit);
      --connections;
      lastActivity = Date.now();
    });
    client.on("data", (chunk) => {
      if (answered) return;
      let asked;
      try {
        asked = reader.add(chunk);
      } catch {
        // Another program, or a client cut short: nothing to answer.
        client.destroy();
        return;
      }
      if (!asked) return;
      clearTimeout(readLimit);
      if (asked.key !== key) return send(Answer.RUN_COLD, "the service belongs to another jad");
      if (!asked.path.startsWith("/") || !asked.folder.startsWith("/"))
        return send(Answer.RUN_COLD, "not an absolute path");
      answered = true;
      pool.submit({
        path: asked.path,
        timeoutSeconds: Math.max(1, asked.timeoutSeconds),
        delayMillis: asked.delayMillis,
        wanted: () => !client.destroyed,
        start: () => client.write(frame(Answer.STARTED)),
        finish: (kind, text) => {
          if (kind !== null && !client.destroyed) client.end(frame(kind, text));
        },
      });
    });
  });

  await listen(server, socketPath);
  const socketIdentity = identity(socketPath);
  signalReady();

  const idleCheck = setInterval(() => {
    if (connections > 0 || pool.busy > 0 || Date.now() - lastActivity < idleMillis) return;
    clearInterval(idleCheck);
    // Remove the socket only while it is still ours: a newer service may have
    // been started over a socket it took for dead.
    if (socketIdentity !== null && identity(socketPath) === socketIdentity)
      fs.rmSync(socketPath, { force: true });
    server.close();
    pool.close();
    process.exit(0);
  }, 1000);
}
