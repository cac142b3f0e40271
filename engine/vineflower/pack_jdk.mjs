// Build step: packs the JDK's public classes (java.* and javax.* of the java.* modules, as
// `jimage extract` lays them out) into one file that decompiler.mjs reads, so that Vineflower
// knows the library types a class uses (it then writes fewer casts and better generics).
//   node pack_jdk.mjs <extracted folder> <pack file>
// The pack: "BRJDK1\n", u32 index length, the index (JSON: internal name -> [offset, length]
// of its raw-deflated bytes after the index), then the bytes.
import fs from "node:fs";
import path from "node:path";
import zlib from "node:zlib";

const [extracted, output] = process.argv.slice(2);
if (!extracted || !output) {
  process.stderr.write("usage: node pack_jdk.mjs <extracted folder> <pack file>\n");
  process.exit(2);
}

const index = {};
const parts = [];
let offset = 0;
for (const module of fs.readdirSync(extracted).filter((m) => m.startsWith("java.")).sort()) {
  const root = path.join(extracted, module);
  const walk = (folder) => {
    for (const entry of fs.readdirSync(folder, { withFileTypes: true }).sort((a, b) =>
      a.name < b.name ? -1 : a.name > b.name ? 1 : 0)) {
      const full = path.join(folder, entry.name);
      if (entry.isDirectory()) {
        walk(full);
        continue;
      }
      const name = path.relative(root, full).split(path.sep).join("/").replace(/\.class$/, "");
      if (!entry.name.endsWith(".class") || !/^javax?\//.test(name) || name in index) continue;
      const packed = zlib.deflateRawSync(fs.readFileSync(full), { level: 9 });
      index[name] = [offset, packed.length];
      parts.push(packed);
      offset += packed.length;
    }
  };
  walk(root);
}
const head = Buffer.from(JSON.stringify(index), "utf8");
const length = Buffer.alloc(4);
length.writeUInt32BE(head.length);
fs.writeFileSync(`${output}.tmp`, Buffer.concat([Buffer.from("BRJDK1\n", "latin1"), length, head, ...parts]));
fs.renameSync(`${output}.tmp`, output);
