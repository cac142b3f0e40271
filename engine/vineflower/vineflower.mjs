// Brindle's Vineflower engine on Node.
//
//   node vineflower.mjs --cold <class file>
//     decompiles one class file and exits: 0 with the source on stdout, 3 with
//     a source on stdout in which Vineflower marked at least one method it could
//     not decompile, 1 with one line on stderr saying why there is no source,
//     2 on a bad command line.
//   node vineflower.mjs <socket path> <key> <idle seconds> [<workers> <ahead>]
//     the resident service (service.mjs), started by jad with fd 3 open.
//   node vineflower.mjs tcp:<port file> <key> <idle seconds> [<workers> <ahead>]
//     the same service on a loopback port (tcp_transport.mjs), started by Jad.exe, which
//     waits for the port file.
import path from "node:path";

import { Kind, decompileClassFile } from "./decompiler.mjs";

export const COLD_EXIT = Object.freeze({ [Kind.SOURCE]: 0, [Kind.FAILED]: 1, [Kind.PARTIAL]: 3 });
const USAGE_EXIT = 2;

function write(stream, data) {
  return new Promise((resolve) => stream.write(data, resolve));
}

async function cold(file) {
  const outcome = await decompileClassFile(path.resolve(file));
  if (outcome.kind === Kind.FAILED) {
    await write(process.stderr, `${outcome.text}\n`);
  } else {
    await write(process.stdout, Buffer.from(outcome.text, "utf8"));
  }
  process.exit(COLD_EXIT[outcome.kind]);
}

const args = process.argv.slice(2);
if (args.length === 2 && args[0] === "--cold") {
  await cold(args[1]);
} else if ((args.length === 3 || args.length === 5) && !args[0].startsWith("-")) {
  const { runService } = await import("./service.mjs");
  await runService(args[0], args[1], Number(args[2]), Number(args[3]), Number(args[4]));
} else {
  process.stderr.write(
      "usage: vineflower.mjs --cold <class file> | vineflower.mjs <socket> <key> <idle seconds> [<workers> <ahead>]\n");
  process.exit(USAGE_EXIT);
}
