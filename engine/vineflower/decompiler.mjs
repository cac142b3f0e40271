// One class file through Vineflower's JavaScript build: the class and the
// nested classes beside it go in, the class's whole source comes out, nested
// classes folded in. Used alike by the one-shot cold run and by the service's
// workers, so both give the same bytes for the same files.
//
// Vineflower writes better source when it knows the types a class uses: it
// may also read, as libraries, the class files below the folder the class's
// package starts in (when the class file sits in its package's folders, as in
// an extracted jar) and the JDK's public classes packed by the build
// (pack_jdk.mjs). The quality benchmark measured both.
import fs from "node:fs";
import { createRequire } from "node:module";
import path from "node:path";
import { fileURLToPath } from "node:url";
import zlib from "node:zlib";

import { className } from "./class_file.mjs";
import { stampOf } from "./file_stamp.mjs";

// The outcome of one decompile.
export const Kind = Object.freeze({
  SOURCE: "source",    // text: the source
  PARTIAL: "partial",  // text: the source, with methods Vineflower marked as not decompiled
  FAILED: "failed",    // text: one line saying why there is no source
});

export const MAX_CLASS_FILE = 256 * 1024 * 1024;

// The options Brindle runs Vineflower with. Its worker threads do not exist in
// this build: a thread count left to its default fails every decompile.
const OPTIONS = Object.freeze({
  "thread-count": "1",
  "indent-string": "    ",
});

// Vineflower's log lines that say a method or class has no decompiled body.
const NOT_DECOMPILED = /couldn't be (fully )?decompiled|unable to decompile/i;

const JDK_PACK = path.join(path.dirname(fileURLToPath(import.meta.url)), "jdk-classes.pack");

let vineflower = null;
let jdk = null;

// The packed JDK classes: a lookup from internal name to bytes (null when the
// build packed none).
function jdkClasses() {
  if (jdk) return jdk;
  jdk = () => null;
  let fd;
  try {
    fd = fs.openSync(JDK_PACK, "r");
    const head = Buffer.alloc(11);
    fs.readSync(fd, head, 0, 11, 0);
    if (head.subarray(0, 7).toString("latin1") !== "BRJDK1\n") throw new Error("not a pack");
    const length = head.readUInt32BE(7);
    const text = Buffer.alloc(length);
    fs.readSync(fd, text, 0, length, 11);
    const index = new Map(Object.entries(JSON.parse(text.toString("utf8"))));
    const base = 11 + length;
    const handle = fd;
    jdk = (name) => {
      const entry = index.get(name);
      if (!entry) return null;
      const packed = Buffer.alloc(entry[1]);
      fs.readSync(handle, packed, 0, entry[1], base + entry[0]);
      return new Uint8Array(zlib.inflateRawSync(packed));
    };
  } catch {
    if (fd !== undefined) fs.closeSync(fd);
  }
  return jdk;
}

// Loads Vineflower once per thread (about a tenth of a second).
export async function loadVineflower() {
  if (vineflower) return vineflower;
  // The build reads the browser's navigator object when it starts.
  globalThis.navigator ??= {};
  const module = await importRuntime();
  vineflower = module.decompile;
  return vineflower;
}

// Vineflower's build is an ES module in a `.js` file of a package that does not say so: Node 20
// takes it for one by its syntax, Node 18 (Debian 12's) reads it as CommonJS and fails with a
// warning on stderr. It imports nothing of its own, so it is loaded as a module from its text,
// the same way on every Node.
function importRuntime() {
  const file = createRequire(import.meta.url).resolve("@run-slicer/vf/vf.runtime.js");
  return import(`data:text/javascript;base64,${fs.readFileSync(file).toString("base64")}`);
}

function oneLine(text, limit = 300) {
  const line = String(text).replace(/\s+/g, " ").trim();
  return line.length > limit ? `${line.slice(0, limit)}...` : line;
}

// Reads a class file; `stamps` (when given) gets the file as it was just before it was read.
function readClassFile(file, stamps) {
  let stat;
  try {
    stat = fs.statSync(file, { bigint: true });
  } catch (error) {
    throw new Error(`cannot open: ${error.code === "ENOENT" ? "no such file" : oneLine(error.message)}`);
  }
  if (stat.isDirectory()) throw new Error("is a folder, not a class file");
  if (!stat.isFile()) throw new Error("not a regular file");
  if (stat.size > BigInt(MAX_CLASS_FILE)) throw new Error("not a class file (larger than 256 MiB)");
  stamps?.push(stampOf(file, stat));
  try {
    return new Uint8Array(fs.readFileSync(file));
  } catch (error) {
    throw new Error(`cannot read: ${oneLine(error.message)}`);
  }
}

// The class files beside `file` whose class is nested in `name` (at any
// depth), by internal name. A file that only looks like one by its name is
// left out.
function nestedClasses(file, name, stamps) {
  const folder = path.dirname(file);
  const prefix = `${name.slice(name.lastIndexOf("/") + 1)}$`;
  const nested = new Map();
  let entries = [];
  try {
    // A nested class file added or removed later changes the folder's stamp.
    stamps.push(stampOf(folder, fs.statSync(folder, { bigint: true })));
    entries = fs.readdirSync(folder);
  } catch {
    return nested;
  }
  for (const entry of entries.sort()) {
    if (!entry.startsWith(prefix) || !entry.endsWith(".class")) continue;
    try {
      const bytes = readClassFile(path.join(folder, entry), stamps);
      const nestedName = className(bytes);
      if (nestedName.startsWith(`${name}$`) && !nested.has(nestedName)) nested.set(nestedName, bytes);
    } catch {
      // Not a readable class file: Vineflower goes on without it.
    }
  }
  return nested;
}

// The folder the package of class `name` starts in, when the class file at
// `file` sits in its package's folders; else null.
function packageRoot(file, name) {
  const packages = name.split("/").slice(0, -1);
  let folder = path.dirname(file);
  for (const part of packages.reverse()) {
    if (path.basename(folder) !== part) return null;
    folder = path.dirname(folder);
  }
  return folder;
}

// The class file for internal name `wanted` below `root`, as bytes, or null.
// Only plain names: no empty, "." or ".." parts, nothing but a class file.
function libraryClass(root, wanted, stamps) {
  const parts = wanted.split("/");
  if (parts.some((part) => part === "" || part === "." || part === ".." || part.includes("\\")))
    return null;
  try {
    const file = path.join(root, ...parts.slice(0, -1), `${parts.at(-1)}.class`);
    const stat = fs.statSync(file, { bigint: true });
    if (!stat.isFile() || stat.size > BigInt(MAX_CLASS_FILE)) return null;
    stamps.push(stampOf(file, stat));
    return new Uint8Array(fs.readFileSync(file));
  } catch {
    return null;
  }
}

// Vineflower prints through the console when it has something to say outside
// its logger; a cold run's stdout must carry the source alone.
async function withQuietConsole(work) {
  const saved = {};
  for (const method of ["log", "info", "warn", "error", "debug", "trace"]) {
    saved[method] = console[method];
    console[method] = () => {};
  }
  try {
    return await work();
  } finally {
    Object.assign(console, saved);
  }
}

// Decompiles the class file at `file` (an absolute path). Never throws:
// every failure is a FAILED outcome with its one-line reason. `stamps`: the
// files read for it (file_stamp.mjs), each as it was just before it was read.
export async function decompileClassFile(file) {
  const stamps = [];
  const done = (kind, text) => ({ kind, text, stamps });
  let name;
  let classes;
  try {
    const bytes = readClassFile(file, stamps);
    name = className(bytes);
    classes = new Map([[name, bytes], ...nestedClasses(file, name, stamps)]);
  } catch (error) {
    return done(Kind.FAILED, oneLine(error.message));
  }

  const decompile = await loadVineflower();
  const root = packageRoot(file, name);
  const fromJdk = jdkClasses();
  const library = (wanted) =>
    (root !== null ? libraryClass(root, wanted, stamps) : null) ?? fromJdk(wanted);
  const problems = [];
  let notDecompiled = false;
  let result;
  try {
    result = await withQuietConsole(() => decompile([...classes.keys()], {
      source: async (wanted) => classes.get(wanted) ?? library(wanted),
      resources: [],
      options: OPTIONS,
      logger: {
        writeMessage: (level, message, error) => {
          if (level !== "warn" && level !== "error") return;
          const text = error ? `${message}: ${error}` : String(message);
          if (NOT_DECOMPILED.test(text)) notDecompiled = true;
          problems.push(text);
        },
      },
    }));
  } catch (error) {
    return done(Kind.FAILED, oneLine(`Vineflower failed on ${name}: ${error?.message ?? error}`));
  }
  const source = result?.[name];
  if (typeof source !== "string" || source.trim() === "") {
    const why = problems.length > 0 ? `: ${problems[0]}` : "";
    return done(Kind.FAILED, oneLine(`Vineflower wrote no source for ${name}${why}`));
  }
  return done(notDecompiled ? Kind.PARTIAL : Kind.SOURCE, source);
}
