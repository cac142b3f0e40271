// A service worker thread: keeps Vineflower loaded and decompiles one class
// file at a time for the service's main thread.
import { parentPort } from "node:worker_threads";

import { decompileClassFile, loadVineflower } from "./decompiler.mjs";

await loadVineflower();
parentPort.on("message", async ({ file, delayMillis }) => {
  if (delayMillis > 0) await new Promise((resolve) => setTimeout(resolve, delayMillis));
  // When reading began: a file changed after it may have been read half old, half new.
  const began = Date.now();
  parentPort.postMessage({ ...(await decompileClassFile(file)), began });
});
