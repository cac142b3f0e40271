// The Vineflower service's loopback TCP transport (Jad.exe's on Windows) on the real Node: the
// port file, the handshake as a client sends it (the secret with the request in one write), the
// refusals, and the service behind it answering as its cold run does.
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { after, before, describe, test } from "node:test";

const engineDir = process.env.VINEFLOWER_DIR;
assert.ok(engineDir, "VINEFLOWER_DIR names the built vineflower folder");
const script = path.join(engineDir, "vineflower.mjs");
const { Answer, request } = await import(path.join(engineDir, "protocol.mjs"));
const { listenTcp } = await import(path.join(engineDir, "tcp_transport.mjs"));

const root = fs.mkdtempSync(path.join(os.tmpdir(), "brindle-vineflower-tcp-"));
const children = [];

before(() => {
  const sources = path.join(root, "src");
  fs.mkdirSync(sources);
  fs.writeFileSync(path.join(sources, "Tcp.java"),
                   "public class Tcp { class In {} int twice(int x) { return 2 * x; } }\n");
  const javac = spawnSync("javac", ["-d", path.join(root, "classes"), path.join(sources, "Tcp.java")],
                          { encoding: "utf8" });
  assert.equal(javac.status, 0, javac.stderr);
});

after(() => {
  for (const child of children) if (child.exitCode === null) child.kill("SIGKILL");
  fs.rmSync(root, { recursive: true, force: true });
});

function readPortFile(file) {
  const lines = fs.readFileSync(file, "latin1").split("\n");
  assert.equal(lines.length, 5, "four lines, each ended");
  assert.equal(lines[4], "");
  assert.match(lines[1], /^[0-9a-f]{64}$/);
  assert.match(lines[2], /^[0-9a-f]{64}$/);
  return { port: Number(lines[0]), secret: lines[1], proof: lines[2], pid: Number(lines[3]) };
}

// Connects, writes `bytes` (and ends the sending side when `end`); resolves with everything the
// other side sent before it closed.
function exchange(port, bytes, { end = true } = {}) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    const client = net.createConnection({ host: "127.0.0.1", port }, () => {
      if (bytes.length > 0) client.write(bytes);
      if (end) client.end();
    });
    client.on("data", (d) => chunks.push(d));
    client.on("error", reject);
    client.on("close", () => resolve(Buffer.concat(chunks)));
  });
}

const waitFor = async (condition, millis) => {
  for (const until = Date.now() + millis; Date.now() < until; await new Promise((r) => setTimeout(r, 20)))
    if (condition()) return true;
  return false;
};

describe("handshake", () => {
  // serve echoes what follows the secret, after a mark, then closes.
  async function echoing(portFile, options) {
    return listenTcp(portFile, (client) => {
      const chunks = [];
      client.on("data", (d) => chunks.push(d));
      client.on("end", () => client.end(Buffer.concat([Buffer.from("served:"), ...chunks])));
    }, options);
  }

  test("the port file names the port, a secret, a proof and the process; the secret opens it", async () => {
    const portFile = path.join(root, "echo.port");
    const transport = await echoing(portFile);
    try {
      const published = readPortFile(portFile);
      assert.equal(published.port, transport.port);
      assert.equal(published.pid, process.pid);
      assert.notEqual(published.secret, published.proof);
      assert.deepEqual(fs.readdirSync(root).filter((f) => f.startsWith("echo.port.")), [],
                       "no temporary port file left");
      const cases = [
        ["secret and request in one write", published.secret + "request", `${published.proof}served:request`],
        ["the secret alone", published.secret, `${published.proof}served:`],
        ["another secret", "f".repeat(64) + "request", ""],
        ["the secret cut short", published.secret.slice(0, 63), ""],
        ["nothing", "", ""],
      ];
      for (const [name, sent, answered] of cases)
        assert.equal((await exchange(transport.port, Buffer.from(sent))).toString(), answered, name);
    } finally {
      transport.close();
    }
    assert.ok(!fs.existsSync(portFile), "close removes its port file");
  });

  test("a silent connection is closed after the limit and holds up no other", { timeout: 5000 }, async () => {
    const portFile = path.join(root, "silent.port");
    const transport = await echoing(portFile, { handshakeLimitMillis: 500 });
    try {
      const { secret, proof } = readPortFile(portFile);
      const began = Date.now();
      const silent = exchange(transport.port, Buffer.alloc(0), { end: false });
      const other = await exchange(transport.port, Buffer.from(secret + "x"));
      assert.equal(other.toString(), `${proof}served:x`);
      assert.ok(Date.now() - began < 450, "answered while the silent one waited");
      assert.equal((await silent).length, 0);
      assert.ok(Date.now() - began >= 450, "closed at its limit, not before");
    } finally {
      transport.close();
    }
  });

  test("close leaves a newer service's port file alone", async () => {
    const portFile = path.join(root, "taken.port");
    const transport = await echoing(portFile);
    fs.writeFileSync(portFile, "a newer service's\n");
    transport.close();
    assert.equal(fs.readFileSync(portFile, "utf8"), "a newer service's\n");
  });
});

describe("the service on a loopback port", () => {
  test("answers as its cold run does, and ends at its idle time, its port file removed", async () => {
    const classFile = path.join(root, "classes", "Tcp.class");
    const cold = spawnSync(process.execPath, [script, "--cold", classFile]);
    assert.equal(cold.status, 0, cold.stderr.toString());

    const portFile = path.join(root, "service.port");
    const service = spawn(process.execPath, [script, `tcp:${portFile}`, "the key", "2"],
                          { stdio: ["ignore", "ignore", "inherit"] });
    children.push(service);
    assert.ok(await waitFor(() => fs.existsSync(portFile), 20_000), "the port file appears");
    const { port, secret, proof, pid } = readPortFile(portFile);
    assert.equal(pid, service.pid);

    const ask = (key, file) => exchange(port, Buffer.concat([
      Buffer.from(secret), request({ key, timeoutSeconds: 60, path: file, folder: root })]));
    const frame = (kind, body) => {
      const head = Buffer.alloc(9);
      head.write("BRJ3", 0, "latin1");
      head.writeUInt8(kind, 4);
      head.writeUInt32BE(body.length, 5);
      return Buffer.concat([head, body]);
    };
    const answered = await ask("the key", classFile);
    assert.ok(answered.equals(Buffer.concat([Buffer.from(proof), frame(Answer.STARTED, Buffer.alloc(0)),
                                             frame(Answer.SOURCE, cold.stdout)])),
              answered.toString());
    const stranger = await ask("another key", classFile);
    assert.equal(stranger.subarray(64 + 4, 64 + 5)[0], Answer.RUN_COLD);

    const code = await new Promise((resolve) => service.once("exit", resolve));
    assert.equal(code, 0);
    assert.ok(!fs.existsSync(portFile));
  });
});
