// The one fact Brindle needs from a class file before Vineflower sees it: the
// class's own internal name (this_class), e.g. "org/example/Outer$Inner".

const TAG_SIZES = new Map([
  [3, 4], [4, 4], [5, 8], [6, 8], [7, 2], [8, 2], [9, 4], [10, 4], [11, 4], [12, 4],
  [15, 3], [16, 2], [17, 4], [18, 4], [19, 2], [20, 2],
]);

// Java's modified UTF-8, one UTF-16 unit per 1-, 2- or 3-byte sequence.
function decodeModifiedUtf8(bytes, start, end) {
  let text = "";
  for (let i = start; i < end;) {
    const b = bytes[i];
    if (b >= 1 && b < 0x80) {
      text += String.fromCharCode(b);
      i += 1;
    } else if ((b & 0xe0) === 0xc0 && i + 1 < end && (bytes[i + 1] & 0xc0) === 0x80) {
      text += String.fromCharCode(((b & 0x1f) << 6) | (bytes[i + 1] & 0x3f));
      i += 2;
    } else if ((b & 0xf0) === 0xe0 && i + 2 < end && (bytes[i + 1] & 0xc0) === 0x80 &&
               (bytes[i + 2] & 0xc0) === 0x80) {
      text += String.fromCharCode(((b & 0x0f) << 12) | ((bytes[i + 1] & 0x3f) << 6) |
                                  (bytes[i + 2] & 0x3f));
      i += 3;
    } else {
      return null;
    }
  }
  return text;
}

// The internal name of the class in `bytes`, or throws an Error whose message
// says why the bytes are not a class file.
export function className(bytes) {
  const fail = (why) => { throw new Error(`not a class file (${why})`); };
  const u2 = (at) => {
    if (at + 2 > bytes.length) fail("cut short");
    return (bytes[at] << 8) | bytes[at + 1];
  };
  if (bytes.length < 10 || bytes[0] !== 0xca || bytes[1] !== 0xfe || bytes[2] !== 0xba ||
      bytes[3] !== 0xbe)
    fail("no class file signature");
  const count = u2(8);
  const entries = new Array(count);
  let at = 10;
  for (let index = 1; index < count; ++index) {
    if (at >= bytes.length) fail("cut short");
    const tag = bytes[at];
    if (tag === 1) {
      const length = u2(at + 1);
      if (at + 3 + length > bytes.length) fail("cut short");
      entries[index] = { tag, start: at + 3, end: at + 3 + length };
      at += 3 + length;
    } else if (TAG_SIZES.has(tag)) {
      entries[index] = { tag, at };
      at += 1 + TAG_SIZES.get(tag);
      if (tag === 5 || tag === 6) ++index;  // longs and doubles take two slots
    } else {
      fail(`unknown constant pool tag ${tag} at entry ${index}`);
    }
  }
  const classEntry = entries[u2(at + 2)];
  if (!classEntry || classEntry.tag !== 7) fail("this_class is not a class entry");
  const nameEntry = entries[u2(classEntry.at + 1)];
  if (!nameEntry || nameEntry.tag !== 1) fail("this_class has no name");
  const name = decodeModifiedUtf8(bytes, nameEntry.start, nameEntry.end);
  if (!name) fail("this_class has a bad name");
  return name;
}
