// The resident side of Brindle's Vineflower engine: one Node process per user
// that keeps Vineflower loaded in worker threads and decompiles class files for
// later clients over a Unix-domain socket (protocol.mjs).
//
// Started by jad (never by hand) as
//   node vineflower.mjs <socket path> <key> <idle seconds> [<workers> <ahead>]
// with stdin, stdout and stderr on /dev/null and fd 3 the write end of jad's
// start-up pipe. Once the socket is listening it writes "R" on that pipe.
//
// Every request is decompiled by decompiler.mjs, as a cold run
// (`node vineflower.mjs --cold <class file>`) does it, so both give the same
// bytes. Requests run on up to <workers> + 1 worker threads at once (<workers>
// defaults to the cores less one, at least one); the rest wait their turn, and a request's
// time limit starts with its decompile (the "started" answer). jad gives up at
// that limit and ends the service, as it does the Procyon one; a decompile
// still running a short grace later (its client gone) ends its worker only:
// the request is answered "no source" and the other requests go on. In a batch
// the service decompiles ahead and holds up to <ahead> results
// (scheduler.mjs). After the idle time without a connection the service
// removes its socket and ends.
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";

import { Answer, RequestReader, frame } from "./protocol.mjs";
import { listenTcp, tcpPortFile } from "./tcp_transport.mjs";
import { Scheduler } from "./scheduler.mjs";

const REQUEST_READ_LIMIT_MS = 10_000;
const DEFAULT_AHEAD = 64;

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

function count(value, fallback) {
  return Number.isInteger(value) && value >= 0 ? value : fallback;
}

export async function runService(socketPath, key, idleSeconds, workers, ahead) {
  const idleMillis = (Number.isFinite(idleSeconds) && idleSeconds > 0 ? idleSeconds : 600) * 1000;
  const scheduler = new Scheduler({
    // A thread for the request in hand and <workers> beside it for the work ahead, as the
    // Procyon service counts its decompilers.
    workers: (count(workers, 0) || Math.max(1, os.availableParallelism() - 1)) + 1,
    aheadLimit: count(ahead, DEFAULT_AHEAD),
  });
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
      if (!path.isAbsolute(asked.path) || !path.isAbsolute(asked.folder))
        return send(Answer.RUN_COLD, "not an absolute path");
      answered = true;
      scheduler.request({
        path: asked.path,
        timeoutSeconds: Math.max(1, asked.timeoutSeconds),
        delayMillis: asked.delayMillis,
      }, {
        wanted: () => !client.destroyed,
        start: () => client.write(frame(Answer.STARTED)),
        finish: (kind, text) => {
          if (kind !== null && !client.destroyed) client.end(frame(kind, text));
        },
      });
    });
  });

  // On a loopback port (Windows), the connections that pass the handshake come to the same
  // handler as the Unix-domain socket's.
  const portFile = tcpPortFile(socketPath);
  const tcp = portFile === null ? null
      : await listenTcp(portFile, (client) => server.emit("connection", client));
  if (tcp === null) await listen(server, socketPath);
  const socketIdentity = tcp === null ? identity(socketPath) : null;
  // Jad.exe gives no start-up pipe: it waits for the port file.
  if (tcp === null) signalReady();

  const idleCheck = setInterval(() => {
    if (connections > 0 || scheduler.busy || Date.now() - lastActivity < idleMillis) return;
    clearInterval(idleCheck);
    // Remove the socket only while it is still ours: a newer service may have
    // been started over a socket it took for dead.
    if (socketIdentity !== null && identity(socketPath) === socketIdentity)
      fs.rmSync(socketPath, { force: true });
    tcp?.close();
    server.close();
    scheduler.close();
    process.exit(0);
  }, 1000);
}
