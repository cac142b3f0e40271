// The service's wire format, shared with jad's Procyon service (BRJ3).
//
// Request:  "BRJ3" u32 keyLength key u32 timeoutSeconds u32 testDelayMillis
//           u32 length path   (UTF-8, the class file's absolute path)
//           u32 length folder (UTF-8, the client's working folder)
// Answers:  "BRJ3" u8 kind u32 length bytes, all numbers big-endian.
//           First kind 3 (started, no bytes) once the request's decompile
//           begins, then one of
//           kind 0: the source;
//           kind 1: no source, bytes = one line saying why;
//           kind 2: run cold, bytes = a reason (the service cannot answer it);
//           kind 4: a source in which Vineflower marked at least one method it
//                   could not decompile (a client may prefer another engine's).
export const MAGIC = Buffer.from("BRJ3", "latin1");

export const Answer = Object.freeze({
  SOURCE: 0,
  NO_SOURCE: 1,
  RUN_COLD: 2,
  STARTED: 3,
  PARTIAL: 4,
});

export const MAX_FIELD = 64 * 1024;

export function frame(kind, body = Buffer.alloc(0)) {
  const bytes = Buffer.isBuffer(body) ? body : Buffer.from(body, "utf8");
  const head = Buffer.alloc(9);
  MAGIC.copy(head, 0);
  head.writeUInt8(kind, 4);
  head.writeUInt32BE(bytes.length, 5);
  return Buffer.concat([head, bytes]);
}

export function request({ key, timeoutSeconds, delayMillis = 0, path, folder }) {
  const string = (text) => {
    const bytes = Buffer.from(text, "utf8");
    const length = Buffer.alloc(4);
    length.writeUInt32BE(bytes.length);
    return [length, bytes];
  };
  const number = (n) => {
    const bytes = Buffer.alloc(4);
    bytes.writeUInt32BE(n);
    return bytes;
  };
  return Buffer.concat([MAGIC, ...string(key), number(timeoutSeconds), number(delayMillis),
                        ...string(path), ...string(folder)]);
}

// Reads one request from bytes as they arrive.
export class RequestReader {
  #buffered = Buffer.alloc(0);

  // The request once all of it has arrived, else null. Throws an Error when
  // the bytes cannot be a request.
  add(chunk) {
    this.#buffered = Buffer.concat([this.#buffered, chunk]);
    const bytes = this.#buffered;
    if (bytes.length >= 4 && !bytes.subarray(0, 4).equals(MAGIC)) throw new Error("not a request");
    let at = 4;
    const decoder = new TextDecoder("utf-8", { fatal: true });
    const number = () => {
      if (at + 4 > bytes.length) return null;
      const n = bytes.readUInt32BE(at);
      at += 4;
      return n;
    };
    const string = () => {
      const length = number();
      if (length === null) return null;
      if (length > MAX_FIELD) throw new Error("request field too long");
      if (at + length > bytes.length) return null;
      const text = decoder.decode(bytes.subarray(at, at + length));
      at += length;
      return text;
    };
    const key = string();
    const timeoutSeconds = key === null ? null : number();
    const delayMillis = timeoutSeconds === null ? null : number();
    const path = delayMillis === null ? null : string();
    const folder = path === null ? null : string();
    if (folder === null) return null;
    return { key, timeoutSeconds, delayMillis, path, folder };
  }
}
