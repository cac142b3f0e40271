// Brindle's Vineflower engine end to end: the real Node, the real Vineflower build installed
// by the build (VINEFLOWER_DIR), classes javac compiles at test time, and committed Java 21
// class files (bench/quality/modern21) on which Vineflower marks a method it cannot decompile.
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { after, before, describe, test } from "node:test";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
const engineDir = process.env.VINEFLOWER_DIR;
assert.ok(engineDir, "VINEFLOWER_DIR names the built vineflower folder");
const script = path.join(engineDir, "vineflower.mjs");
const { Answer, request } = await import(path.join(engineDir, "protocol.mjs"));
const modern21 = path.join(here, "..", "..", "bench", "quality", "modern21", "classes",
                           "demo", "modern21");

const OUTER = `package demo.vf;

import java.util.*;
import java.util.function.*;

public class Outer<T extends Comparable<T>> implements Iterable<T> {
    private final List<T> items = new ArrayList<>();

    public class Inner {
        public int count() { return items.size(); }
    }

    static final class Pair<A, B> {
        final A first;
        final B second;
        Pair(A first, B second) { this.first = first; this.second = second; }
    }

    enum Mode { FAST, SAFE }

    public Iterator<T> iterator() { return items.iterator(); }

    static int describe(String word, Mode mode) {
        switch (mode) {
            case FAST: return word.length();
            default: return word.hashCode();
        }
    }

    Runnable task(int times) {
        return new Runnable() {
            public void run() {
                for (int i = 0; i < times; i++) items.sort(null);
            }
        };
    }

    String text() { return "\\u6e90\\u7801 " + items; }
}
`;

// Derived's source is better when Vineflower reads Base, its superclass in another file.
const BASE = "package demo.vf;\npublic class Base<T> { T value; public T get() { return value; } }\n";
const DERIVED = `package demo.vf;
public class Derived extends Base<String> {
    int size() { String s = get(); return s.length(); }
}
`;

const root = fs.mkdtempSync(path.join(os.tmpdir(), "brindle-vineflower-test-"));
const classes = path.join(root, "classes 源码");
const sockets = path.join(root, "sockets");
const services = [];

before(() => {
  const sources = path.join(root, "src", "demo", "vf");
  fs.mkdirSync(sources, { recursive: true });
  fs.writeFileSync(path.join(sources, "Outer.java"), OUTER);
  const libraries = path.join(root, "libraries");
  fs.mkdirSync(path.join(libraries, "demo", "vf"), { recursive: true });
  fs.writeFileSync(path.join(libraries, "demo", "vf", "Base.java"), BASE);
  fs.writeFileSync(path.join(libraries, "demo", "vf", "Derived.java"), DERIVED);
  const javac = spawnSync("javac", ["-encoding", "UTF-8", "-d", classes,
                                    path.join(sources, "Outer.java")], { encoding: "utf8" });
  assert.equal(javac.status, 0, javac.stderr);
  const javacLibraries = spawnSync("javac", ["-d", path.join(root, "tree"),
                                    ...["Base", "Derived"].map((n) => path.join(libraries, "demo", "vf", `${n}.java`))],
                                   { encoding: "utf8" });
  assert.equal(javacLibraries.status, 0, javacLibraries.stderr);
  assert.equal(javac.status, 0, javac.stderr);
  fs.mkdirSync(sockets, { mode: 0o700 });
});

after(() => {
  for (const service of services) if (service.exitCode === null) service.kill("SIGKILL");
  fs.rmSync(root, { recursive: true, force: true });
});

const classFile = (name) => path.join(classes, "demo", "vf", `${name}.class`);
const fixtureClasses = () => fs.readdirSync(path.join(classes, "demo", "vf")).sort().map((f) =>
  path.join(classes, "demo", "vf", f));

function cold(file) {
  const run = spawnSync(process.execPath, [script, "--cold", file], { maxBuffer: 1 << 28 });
  return { status: run.status, out: run.stdout, err: run.stderr.toString() };
}

// Starts a service on a new socket and waits for its "R" on fd 3.
async function startService(idleSeconds = 600) {
  const socket = path.join(sockets, `vf-${services.length}.sock`);
  const child = spawn(process.execPath, [script, socket, "the key", String(idleSeconds)],
                      { stdio: ["ignore", "ignore", "inherit", "pipe"] });
  services.push(child);
  const ready = await new Promise((resolve) => {
    child.stdio[3].once("data", (d) => resolve(d.toString()));
    child.once("exit", () => resolve("ended"));
  });
  assert.equal(ready, "R");
  return { socket, child };
}

// Sends one request; resolves with the answer frames in order.
function ask(socket, file, { key = "the key", timeoutSeconds = 120, delayMillis = 0 } = {}) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    const client = net.createConnection(socket, () =>
      client.write(request({ key, timeoutSeconds, delayMillis, path: file, folder: root })));
    client.on("data", (d) => chunks.push(d));
    client.on("error", reject);
    client.on("close", () => {
      const all = Buffer.concat(chunks);
      const frames = [];
      let at = 0;
      while (at + 9 <= all.length) {
        const length = all.readUInt32BE(at + 5);
        frames.push({ magic: all.subarray(at, at + 4).toString("latin1"), kind: all[at + 4],
                      body: all.subarray(at + 9, at + 9 + length) });
        at += 9 + length;
      }
      assert.equal(at, all.length, "an answer cut short");
      resolve(frames);
    });
  });
}

// A started frame, then one answer of `kind`; its bytes.
function answerOf(frames, kind) {
  assert.deepEqual(frames.map((f) => [f.magic, f.kind]), [["BRJ3", Answer.STARTED], ["BRJ3", kind]],
                   frames.map((f) => f.body.toString()).join(" | "));
  return frames[1].body;
}

describe("cold run", () => {
  test("writes the whole top-level source with the nested classes folded in, and it compiles", () => {
    const run = cold(classFile("Outer"));
    assert.equal(run.status, 0, run.err);
    assert.equal(run.err, "");
    const source = run.out.toString("utf8");
    for (const part of ["public class Outer<T extends Comparable<T>>", "public class Inner",
                        "static final class Pair<A, B>", "enum Mode", "new Runnable() {", "源码"])
      assert.ok(source.includes(part), `${part} missing from\n${source}`);
    assert.ok(!/Outer\$|new \d+\(/.test(source), source);

    const again = path.join(root, "again");
    fs.mkdirSync(path.join(again, "src"), { recursive: true });
    fs.writeFileSync(path.join(again, "src", "Outer.java"), run.out);
    const javac = spawnSync("javac", ["-encoding", "UTF-8", "-d", path.join(again, "out"),
                                      path.join(again, "src", "Outer.java")], { encoding: "utf8" });
    assert.equal(javac.status, 0, javac.stderr);
    assert.ok(fs.existsSync(path.join(again, "out", "demo", "vf", "Outer$Inner.class")));
  });

  test("a method Vineflower cannot decompile gives the source with exit status 3", () => {
    const run = cold(path.join(modern21, "Patterns.class"));
    assert.equal(run.status, 3, run.err);
    assert.equal(run.err, "");
    assert.ok(run.out.toString().includes("$VF: Couldn't be decompiled"));
    assert.ok(run.out.toString().includes("case Add(Expr l, Expr r)") ||
              run.out.toString().includes("record Add"));
  });

  test("reads the other classes of the class's package tree as libraries", () => {
    const inTree = path.join(root, "tree", "demo", "vf", "Derived.class");
    const alone = path.join(root, "alone", "Derived.class");
    fs.mkdirSync(path.dirname(alone));
    fs.copyFileSync(inTree, alone);
    const known = cold(inTree);
    const unknown = cold(alone);
    assert.equal(known.status, 0, known.err);
    assert.equal(unknown.status, 0, unknown.err);
    assert.match(known.out.toString(), /String \w+ = this\.get\(\);/);
    assert.match(unknown.out.toString(), /String \w+ = \(String\)this\.get\(\);/);
  });

  test("every failure is one line on stderr and exit status 1, with nothing on stdout", () => {
    const bad = path.join(root, "bad");
    fs.mkdirSync(path.join(bad, "Folder.class"), { recursive: true });
    fs.writeFileSync(path.join(bad, "Text.class"), "not a class file at all");
    fs.writeFileSync(path.join(bad, "Short.class"), fs.readFileSync(classFile("Outer")).subarray(0, 40));
    const cases = [
      ["Missing.class", "cannot open: no such file"],
      ["Folder.class", "is a folder, not a class file"],
      ["Text.class", "not a class file (no class file signature)"],
      ["Short.class", "not a class file (cut short)"],
    ];
    for (const [name, reason] of cases) {
      const run = cold(path.join(bad, name));
      assert.equal(run.status, 1, name);
      assert.equal(run.out.length, 0, name);
      assert.equal(run.err, `${reason}\n`, name);
    }
    const usage = spawnSync(process.execPath, [script, "--cold"], { encoding: "utf8" });
    assert.equal(usage.status, 2);
    assert.equal(usage.stderr.split("\n").length, 2, usage.stderr);
  });
});

describe("service", () => {
  test("answers the cold run's bytes for every class file, nested ones too", async () => {
    const { socket } = await startService();
    const files = [...fixtureClasses(), path.join(modern21, "Patterns.class"),
                   path.join(root, "bad", "Text.class")];
    assert.ok(files.length >= 7);
    for (const file of files) {
      const expected = cold(file);
      const kind = { 0: Answer.SOURCE, 1: Answer.NO_SOURCE, 3: Answer.PARTIAL }[expected.status];
      const body = answerOf(await ask(socket, file), kind);
      assert.deepEqual(body, expected.status === 1 ? Buffer.from(expected.err.trimEnd()) : expected.out,
                       file);
    }
  });

  test("serves several clients at once", async () => {
    const { socket } = await startService();
    const files = fixtureClasses();
    const expected = files.map((file) => cold(file).out);
    const answers = await Promise.all([...files, ...files].map((file) => ask(socket, file)));
    answers.forEach((frames, i) =>
      assert.deepEqual(answerOf(frames, Answer.SOURCE), expected[i % files.length], files[i % files.length]));
  });

  test("a decompile past its time limit fails alone, and the next request is served", { timeout: 60_000 }, async () => {
    const { socket, child } = await startService();
    const file = classFile("Outer");
    const start = Date.now();
    const [slow, other] = await Promise.all([
      ask(socket, file, { timeoutSeconds: 1, delayMillis: 600_000 }),
      ask(socket, classFile("Outer$Mode")),
    ]);
    assert.equal(answerOf(slow, Answer.NO_SOURCE).toString(), "timed out after 1 s");
    assert.ok(Date.now() - start < 10_000);
    assert.equal(answerOf(other, Answer.SOURCE).toString(), cold(classFile("Outer$Mode")).out.toString());
    assert.equal(child.exitCode, null, "the service ended");
    assert.equal(answerOf(await ask(socket, file), Answer.SOURCE).toString(), cold(file).out.toString());
  });

  test("refuses a request of another key or with a relative path, and ignores garbage", async () => {
    const { socket } = await startService();
    assert.deepEqual((await ask(socket, classFile("Outer"), { key: "another" }))
                       .map((f) => [f.kind, f.body.toString()]),
                     [[Answer.RUN_COLD, "the service belongs to another jad"]]);
    assert.deepEqual((await ask(socket, "demo/vf/Outer.class")).map((f) => f.kind), [Answer.RUN_COLD]);
    const garbage = await new Promise((resolve) => {
      const client = net.createConnection(socket, () => client.write("GET / HTTP/1.1\r\n\r\n"));
      let got = 0;
      client.on("data", (d) => { got += d.length; });
      client.on("close", () => resolve(got));
    });
    assert.equal(garbage, 0);
  });

  test("ends when idle and removes its socket", async () => {
    const { socket, child } = await startService(1);
    await ask(socket, classFile("Outer$Mode"));
    const code = await new Promise((resolve) => child.once("exit", resolve));
    assert.equal(code, 0);
    assert.ok(!fs.existsSync(socket));
  });
});
