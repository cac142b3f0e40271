// The quality benchmark: how much of what each engine writes compiles again.
//
// For each subject (a Debian jar, or the project's modern-Java fixture) every class file is
// decompiled as a Brindle batch does it, one engine run per class file into a mirrored folder:
// `jad` as it is (its default engine: Vineflower, Procyon where Vineflower's source is not
// whole; services warm), `jad` with Procyon alone (as without Node), Vineflower through its
// service, and Vineflower's one-shot cold run (on a sample unless --cold all). Each top-level result is then compiled
// again alone with javac against the subject's class path. Run by quality_bench.sh; figures on
// stdout, one table.
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));

function usage(message) {
  process.stderr.write(`${message}\nusage: node quality_bench.mjs --jad JAD --vineflower DIR ` +
                       `[--subjects a,b,...] [--engines jad,jad procyon,vineflower service,...] [--cold N|all] [--keep]\n`);
  process.exit(2);
}

const ENGINES = ["jad", "jad procyon", "vineflower service", "vineflower cold"];
const options = { subjects: null, engines: ENGINES, cold: 40, keep: false };
for (let i = 2; i < process.argv.length; ++i) {
  const arg = process.argv[i];
  const value = () => process.argv[++i] ?? usage(`${arg} needs a value`);
  if (arg === "--jad") options.jad = path.resolve(value());
  else if (arg === "--vineflower") options.vineflower = path.resolve(value());
  else if (arg === "--subjects") options.subjects = value().split(",");
  else if (arg === "--engines") options.engines = value().split(",").map((e) => ENGINES.find((n) => n.startsWith(e)) ?? usage(`unknown engine ${e}`));
  else if (arg === "--cold") options.cold = value() === "all" ? Infinity : Number(process.argv[i]);
  else if (arg === "--keep") options.keep = true;
  else usage(`unknown argument ${arg}`);
}
if (!options.jad || !options.vineflower) usage("--jad and --vineflower are needed");
if (!(options.cold >= 0)) usage("--cold takes a number or all");

const JARS = {
  "commons-lang3": "libcommons-lang3-java",
  "commons-collections4": "libcommons-collections4-java",
  "jackson-databind": "libjackson2-databind-java",
  "guava": "libguava-java",
};
const work = fs.mkdtempSync(path.join(os.tmpdir(), "brindle-quality-"));
const started = [];
process.on("exit", () => {
  for (const child of started) if (child.exitCode === null) child.kill("SIGKILL");
  if (!options.keep) fs.rmSync(work, { recursive: true, force: true });
});
process.on("SIGINT", () => process.exit(130));

function run(program, args, extra = {}) {
  const result = spawnSync(program, args, { encoding: "utf8", maxBuffer: 1 << 30, ...extra });
  if (result.error) throw result.error;
  return result;
}

function mustRun(program, args, extra = {}) {
  const result = run(program, args, extra);
  if (result.status !== 0) throw new Error(`${program} ${args.join(" ")}: ${result.stderr}`);
  return result.stdout;
}

// A package's jars and those of the lib*-java packages it depends on, recursively.
function debianClassPath(pkg) {
  const seen = new Set();
  const jars = new Set();
  const visit = (name) => {
    if (seen.has(name)) return;
    seen.add(name);
    const listed = run("dpkg", ["-L", name]);
    if (listed.status !== 0) return;
    for (const file of listed.stdout.split("\n")) {
      if (/^\/usr\/share\/java\/[^/]+\.jar$/.test(file) && fs.existsSync(file))
        jars.add(fs.realpathSync(file));
    }
    const depends = mustRun("dpkg-query", ["-W", "-f=${Depends}", name]);
    for (const part of depends.split(",")) {
      const dep = part.trim().split(/[\s|(]/)[0];
      if (/^lib.*-java$/.test(dep)) visit(dep);
    }
  };
  visit(pkg);
  return [...jars];
}

function classFilesBelow(root) {
  const found = [];
  const walk = (folder) => {
    for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
      const full = path.join(folder, entry.name);
      if (entry.isDirectory()) walk(full);
      else if (entry.name.endsWith(".class")) found.push(path.relative(root, full));
    }
  };
  walk(root);
  return found.sort();
}

// The newest JDK's javac of release `least` or later, for the Java 21 fixture.
function jdkHome(least) {
  let best = null;
  for (const name of fs.existsSync("/usr/lib/jvm") ? fs.readdirSync("/usr/lib/jvm") : []) {
    const home = path.join("/usr/lib/jvm", name);
    const javac = path.join(home, "bin", "javac");
    if (!fs.existsSync(javac) || fs.lstatSync(home).isSymbolicLink()) continue;
    const version = Number(/^javac (\d+)/.exec(run(javac, ["-version"]).stdout)?.[1]);
    if (version >= least && (!best || version > best.version)) best = { home, version };
  }
  return best?.home ?? null;
}

function prepareSubjects() {
  const wanted = (name) => !options.subjects || options.subjects.includes(name);
  const subjects = [];
  for (const [name, pkg] of Object.entries(JARS)) {
    if (!wanted(name)) continue;
    const jar = `/usr/share/java/${name}.jar`;
    const classes = path.join(work, name, "classes");
    fs.mkdirSync(classes, { recursive: true });
    mustRun("unzip", ["-q", "-o", jar, "*.class", "-x", "META-INF/*", "-d", classes]);
    subjects.push({ name, classes, classPath: debianClassPath(pkg).join(":"), java: "java" });
  }
  if (wanted("modern")) {
    const modern = path.join(work, "modern", "classes");
    mustRun("javac", ["-encoding", "UTF-8", "-d", modern,
                      ...listSources(path.join(here, "modern", "src"))]);
    subjects.push({ name: "modern", classes: modern, classPath: modern, java: "java" });
  }
  if (wanted("modern21")) {
    // Compiled by modern21/make_classes.sh; recompiled only where a JDK 21 or later is found.
    const modern21 = path.join(work, "modern21", "classes");
    fs.cpSync(path.join(here, "modern21", "classes"), modern21, { recursive: true });
    const jdk21 = jdkHome(21);
    subjects.push({ name: "modern21", classes: modern21, classPath: modern21,
                    java: jdk21 ? path.join(jdk21, "bin", "java") : null });
  }
  return subjects;
}

function listSources(root) {
  const found = [];
  const walk = (folder) => {
    for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
      const full = path.join(folder, entry.name);
      if (entry.isDirectory()) walk(full);
      else if (entry.name.endsWith(".java")) found.push(full);
    }
  };
  walk(root);
  return found.sort();
}

const isTopLevel = (relative) => !path.basename(relative).includes("$");
const javaName = (relative) => relative.replace(/\.class$/, ".java");

// Compiles each file alone in two javac VMs at once; a map file → null (compiled) or the error.
async function recompile(java, classPath, files) {
  const verdicts = new Map();
  if (files.length === 0) return verdicts;
  const halves = [files.filter((_, i) => i % 2 === 0), files.filter((_, i) => i % 2 === 1)];
  await Promise.all(halves.filter((h) => h.length > 0).map((half, i) => new Promise((resolve, reject) => {
    const scratch = fs.mkdtempSync(path.join(work, "javac-"));
    const list = path.join(scratch, "list");
    fs.writeFileSync(list, half.join("\n") + "\n");
    const child = spawn(java, ["-XX:+UseSerialGC", "-XX:TieredStopAtLevel=1",
                               path.join(here, "Recompile.java"), classPath,
                               path.join(scratch, "out"), list],
                        { stdio: ["ignore", "pipe", "inherit"] });
    let text = "";
    child.stdout.setEncoding("utf8").on("data", (d) => { text += d; });
    child.on("error", reject);
    child.on("close", () => {
      for (const line of text.split("\n")) {
        const [verdict, file, why] = line.split("\t");
        if (verdict === "ok") verdicts.set(file, null);
        else if (verdict === "fail") verdicts.set(file, why ?? "");
      }
      fs.rmSync(scratch, { recursive: true, force: true });
      resolve();
    });
  })));
  for (const file of files) if (!verdicts.has(file)) verdicts.set(file, "javac gave no verdict");
  return verdicts;
}

// The benchmark is only worth its figures if a source that does not compile counts as one.
async function selfCheck() {
  const folder = path.join(work, "self-check");
  fs.mkdirSync(folder, { recursive: true });
  const cases = {
    "Good.java": ["public class Good { java.util.List<String> names = java.util.List.of(); }", true],
    "Broken.java": ["public class Broken { int x = ; }", false],
    "Unresolved.java": ["public class Unresolved { NoSuchType field; }", false],
  };
  const files = Object.keys(cases).map((name) => {
    fs.writeFileSync(path.join(folder, name), cases[name][0]);
    return path.join(folder, name);
  });
  const verdicts = await recompile("java", folder, files);
  for (const file of files) {
    const expected = cases[path.basename(file)][1];
    if ((verdicts.get(file) === null) !== expected)
      throw new Error(`self-check: ${path.basename(file)} should ${expected ? "" : "not "}compile`);
  }
}

function timed(work) {
  const start = process.hrtime.bigint();
  return Promise.resolve(work()).then(() => Number(process.hrtime.bigint() - start) / 1e9);
}

function runAsync(program, args, env) {
  return new Promise((resolve) => {
    const child = spawn(program, args, { env, stdio: ["ignore", "pipe", "pipe"] });
    const out = [];
    let err = "";
    child.stdout.on("data", (d) => out.push(d));
    child.stderr.setEncoding("utf8").on("data", (d) => { err += d; });
    child.on("error", (error) => resolve({ status: -1, out: Buffer.alloc(0), err: String(error) }));
    child.on("close", (status) => resolve({ status, out: Buffer.concat(out), err }));
  });
}

// jad as Brindle starts it, with its services in the benchmark's own socket folder; with
// Procyon alone, jad finds no node.
async function runJad(subject, out, files, results, procyonAlone) {
  const sockets = path.join(work, "jad-sockets");
  fs.mkdirSync(sockets, { recursive: true, mode: 0o700 });
  const env = { ...process.env, XDG_RUNTIME_DIR: sockets, BRINDLE_JAD_SERVICE_IDLE: "60",
                BRINDLE_JAD_NODE: procyonAlone ? path.join(work, "no-node") : process.execPath };
  for (const file of files) {
    const folder = path.join(out, path.dirname(file));
    const r = await runAsync(options.jad, ["-sjava", "-8", "-ff", `-d${folder}`,
                                           path.join(subject.classes, file)], env);
    results.set(file, { ok: r.status === 0, partial: false, why: r.err.trim() });
  }
}

function startVineflowerService() {
  const socket = path.join(work, "vineflower.sock");
  // Idle for as long as the benchmark may run: the other engines' turns come between its own.
  const child = spawn(process.execPath, [path.join(options.vineflower, "vineflower.mjs"), socket,
                                         "quality-bench", "86400"],
                      { stdio: ["ignore", "ignore", "inherit", "pipe"] });
  started.push(child);
  return new Promise((resolve, reject) => {
    child.stdio[3].once("data", () => resolve(socket));
    child.once("exit", () => reject(new Error("the Vineflower service ended while starting")));
  });
}

const MAGIC = Buffer.from("BRJ3");
const u32 = (n) => { const b = Buffer.alloc(4); b.writeUInt32BE(n); return b; };
const field = (text) => { const b = Buffer.from(text, "utf8"); return Buffer.concat([u32(b.length), b]); };

// One request to the service: the last answer frame, {kind, body}.
function askService(socket, file) {
  return new Promise((resolve) => {
    const chunks = [];
    const client = net.createConnection(socket, () => client.write(Buffer.concat([
      MAGIC, field("quality-bench"), u32(600), u32(0), field(file), field(work)])));
    client.on("data", (d) => chunks.push(d));
    client.on("error", (error) => resolve({ kind: 2, body: Buffer.from(String(error)) }));
    client.on("close", () => {
      const all = Buffer.concat(chunks);
      let last = { kind: 2, body: Buffer.from("no answer") };
      for (let at = 0; at + 9 <= all.length;) {
        const length = all.readUInt32BE(at + 5);
        last = { kind: all[at + 4], body: all.subarray(at + 9, at + 9 + length) };
        at += 9 + length;
      }
      resolve(last);
    });
  });
}

function writeSource(out, file, bytes) {
  const target = path.join(out, javaName(file));
  fs.mkdirSync(path.dirname(target), { recursive: true });
  fs.writeFileSync(target, bytes);
}

async function runVineflowerService(subject, out, files, results, socket) {
  for (const file of files) {
    const answer = await askService(socket, path.join(subject.classes, file));
    const source = answer.kind === 0 || answer.kind === 4;
    if (source) writeSource(out, file, answer.body);
    results.set(file, { ok: source, partial: answer.kind === 4, why: answer.body.toString() });
  }
}

async function runVineflowerCold(subject, out, files, results) {
  for (const file of files) {
    const r = await runAsync(process.execPath, [path.join(options.vineflower, "vineflower.mjs"),
                                                "--cold", path.join(subject.classes, file)],
                             process.env);
    const source = r.status === 0 || r.status === 3;
    if (source) writeSource(out, file, r.out);
    results.set(file, { ok: source, partial: r.status === 3, why: r.err.trim() });
  }
}

// An even spread of `count` class files, top-level ones first in line.
function sample(files, count) {
  if (count >= files.length) return files;
  const step = files.length / count;
  return Array.from({ length: count }, (_, i) => files[Math.floor(i * step)]);
}

async function measure(subject, engine, socket) {
  const all = classFilesBelow(subject.classes);
  const files = engine === "vineflower cold" ? sample(all, options.cold) : all;
  const out = path.join(work, subject.name, engine.replace(/ /g, "-"));
  const results = new Map();
  const seconds = await timed(() => {
    if (engine === "jad") return runJad(subject, out, files, results, false);
    if (engine === "jad procyon") return runJad(subject, out, files, results, true);
    if (engine === "vineflower service") return runVineflowerService(subject, out, files, results, socket);
    return runVineflowerCold(subject, out, files, results);
  });
  const top = files.filter(isTopLevel);
  const written = top.filter((f) => results.get(f).ok).map((f) => path.join(out, javaName(f)));
  const verdicts = subject.java ? await recompile(subject.java, subject.classPath, written) : null;
  const compiles = (f) => verdicts?.get(path.join(out, javaName(f))) === null;
  const helper = [...results].filter(([f, r]) => r.ok && fs.readFileSync(path.join(out, javaName(f)),
                                                                          "utf8").includes("ProcyonInvokeDynamicHelper"));
  const packageInfo = top.filter((f) => path.basename(f) === "package-info.class");
  // What failed and why, for a look with --keep.
  fs.writeFileSync(`${out}.failures.txt`, top.flatMap((f) => {
    if (!results.get(f).ok) return [`no source\t${f}\t${results.get(f).why}`];
    const why = verdicts?.get(path.join(out, javaName(f)));
    return why ? [`not compiling\t${f}\t${why}`] : [];
  }).join("\n") + "\n");
  return {
    subject: subject.name, engine, out, files, results, seconds,
    scale: all.length / files.length,
    top: top.length,
    noSource: top.filter((f) => !results.get(f).ok).length,
    partial: top.filter((f) => results.get(f).partial).length,
    compiled: verdicts ? top.filter(compiles).length : null,
    packageInfo: `${packageInfo.filter(compiles).length}/${packageInfo.length}`,
    helper: helper.length,
  };
}

function sameBytes(cold, service) {
  let same = 0;
  let compared = 0;
  for (const [file, result] of cold.results) {
    const other = service.results.get(file);
    if (!other || result.ok !== other.ok) continue;
    ++compared;
    if (!result.ok) { ++same; continue; }
    const a = fs.readFileSync(path.join(cold.out, javaName(file)));
    const b = fs.readFileSync(path.join(service.out, javaName(file)));
    if (a.equals(b)) ++same;
    else process.stderr.write(`cold and service differ: ${cold.subject} ${file}\n`);
  }
  return `${same}/${cold.results.size}${compared < cold.results.size ? " (outcomes differ)" : ""}`;
}

function pad(text, width, right = false) {
  text = String(text);
  return right ? text.padStart(width) : text.padEnd(width);
}

async function main() {
  process.stderr.write(`working in ${work}\n`);
  await selfCheck();
  const subjects = prepareSubjects();
  const socket = await startVineflowerService();
  const rows = [];
  for (const subject of subjects) {
    const measured = {};
    for (const engine of options.engines) {
      process.stderr.write(`${subject.name}: ${engine}...\n`);
      measured[engine] = await measure(subject, engine, socket);
      rows.push(measured[engine]);
    }
    const cold = measured["vineflower cold"];
    const service = measured["vineflower service"];
    if (cold && service) cold.same = sameBytes(cold, service);
  }
  const header = ["subject", "engine", "class files", "top-level", "no source", "marked",
                  "not compiling", "recompile rate", "package-info", "Procyon helper",
                  "time s", "ms/file", "cold = service"];
  const widths = [20, 18, 11, 9, 9, 6, 13, 14, 12, 14, 8, 7, 14];
  console.log("Source quality (rough figures on a shared machine; a javac recompile of each top-level result)");
  console.log(header.map((h, i) => pad(h, widths[i], i >= 2)).join("  "));
  for (const r of rows) {
    const sampled = r.scale > 1;
    const seconds = r.seconds * r.scale;
    const notCompiling = r.compiled === null ? "n/a" : r.top - r.noSource - r.compiled;
    const rate = r.compiled === null ? "n/a (no javac 21)" : `${(100 * r.compiled / r.top).toFixed(1)} %`;
    console.log([
      r.subject, r.engine, `${r.files.length}${sampled ? " (sample)" : ""}`, r.top, r.noSource,
      r.partial, notCompiling, rate, r.packageInfo, r.helper,
      `${seconds.toFixed(1)}${sampled ? "*" : ""}`, (1000 * r.seconds / r.files.length).toFixed(0),
      r.same ?? "",
    ].map((c, i) => pad(c, widths[i], i >= 2)).join("  "));
  }
  console.log("* scaled from the sample to all class files. 'marked': Vineflower marked a method it " +
              "could not decompile. 'Procyon helper': results written with " +
              "ProcyonInvokeDynamicHelper in them.");
  if (options.keep) console.log(`results and <engine>.failures.txt files kept in ${work}`);
}

try {
  await main();
} catch (error) {
  process.stderr.write(`quality benchmark: ${error.message}\n`);
  process.exit(1);
}
process.exit(0);
