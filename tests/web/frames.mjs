// Frames of the browser tests: the canvas written as PNG, and compared pixel by pixel
// with a 24-bit BMP the native program wrote (TOLVANE_SHOTS).
import fs from 'node:fs';
import zlib from 'node:zlib';

const CRC = (() => {
  const t = new Uint32Array(256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
    t[n] = c >>> 0;
  }
  return t;
})();

function crc32(buf) {
  let c = 0xFFFFFFFF;
  for (const b of buf) c = CRC[(c ^ b) & 0xFF] ^ (c >>> 8);
  return (c ^ 0xFFFFFFFF) >>> 0;
}

function chunk(type, data) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, 'ascii');
  const tail = Buffer.alloc(4);
  tail.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
  return Buffer.concat([head, data, tail]);
}

// frame: {width, height, data: RGBA top row first}
export function writePng(file, frame) {
  const {width, height, data} = frame;
  const raw = Buffer.alloc((width * 3 + 1) * height);
  for (let y = 0; y < height; ++y) {
    raw[y * (width * 3 + 1)] = 0;
    for (let x = 0; x < width; ++x)
      for (let c = 0; c < 3; ++c) raw[y * (width * 3 + 1) + 1 + x * 3 + c] = data[(y * width + x) * 4 + c];
  }
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(width, 0);
  ihdr.writeUInt32BE(height, 4);
  ihdr[8] = 8;  // bits per channel
  ihdr[9] = 2;  // RGB
  fs.writeFileSync(file, Buffer.concat([Buffer.from([0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A]),
                                        chunk('IHDR', ihdr), chunk('IDAT', zlib.deflateSync(raw)),
                                        chunk('IEND', Buffer.alloc(0))]));
}

// A 24-bit BMP as {width, height, data: RGBA top row first}.
export function readBmp(file) {
  const b = fs.readFileSync(file);
  if (b.toString('ascii', 0, 2) !== 'BM' || b.readUInt16LE(28) !== 24) throw new Error(file + ': not a 24-bit BMP');
  const offset = b.readUInt32LE(10), width = b.readInt32LE(18), h = b.readInt32LE(22);
  const height = Math.abs(h), stride = Math.floor((width * 3 + 3) / 4) * 4;
  const data = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; ++y) {
    const row = offset + (h > 0 ? height - 1 - y : y) * stride;
    for (let x = 0; x < width; ++x) {
      const o = (y * width + x) * 4;
      data[o] = b[row + x * 3 + 2];
      data[o + 1] = b[row + x * 3 + 1];
      data[o + 2] = b[row + x * 3];
      data[o + 3] = 255;
    }
  }
  return {width, height, data};
}

// The share of pixels equal to the BMP's (and within 8 per channel); the pixels that
// differ are written to `difference` (when named) in red over a dimmed picture.
export function compareWithBmp(frame, bmpFile, difference) {
  const ref = readBmp(bmpFile);
  if (ref.width !== frame.width || ref.height !== frame.height) return {equal: 0, close: 0};
  let equal = 0, close = 0;
  const diff = {width: ref.width, height: ref.height, data: new Uint8Array(ref.data.length)};
  for (let i = 0; i < ref.data.length; i += 4) {
    let most = 0;
    for (let c = 0; c < 3; ++c) most = Math.max(most, Math.abs(ref.data[i + c] - frame.data[i + c]));
    if (most === 0) ++equal;
    if (most <= 8) ++close;
    const grey = (ref.data[i] + ref.data[i + 1] + ref.data[i + 2]) / 12;
    diff.data[i] = most ? 255 : grey;
    diff.data[i + 1] = most ? 0 : grey;
    diff.data[i + 2] = most ? 0 : grey;
  }
  if (difference) writePng(difference, diff);
  const n = ref.width * ref.height;
  return {equal: equal / n, close: close / n};
}

