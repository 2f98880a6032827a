// The npm encoder on the benchmark picture: the same 576x2000 pixels as
// kesto_bench, thresholded at 128 and encoded as a raster image. Prints JSON.
'use strict';
const path = require('path');

const modules = path.resolve(process.argv[2]);
const ReceiptPrinterEncoder = require(path.join(modules, '@point-of-sale/receipt-printer-encoder'));
const version = require(path.join(modules, '@point-of-sale/receipt-printer-encoder/package.json')).version;

const width = 576;
const height = 2000;
const data = new Uint8ClampedArray(width * height * 4);
for (let row = 0; row < height; row++) {
  const y = height - 1 - row;  // the BMP is stored bottom-up
  for (let x = 0; x < width; x++) {
    const grey = ((x * 7 + y * 3) ^ ((x * y) >> 6)) & 0xff;
    const i = (row * width + x) * 4;
    data[i] = 255 - grey;
    data[i + 1] = grey ^ 0x10;
    data[i + 2] = grey;
    data[i + 3] = 255;
  }
}
const picture = {data, width, height};

function encode() {
  const encoder = new ReceiptPrinterEncoder({language: 'esc-pos', columns: 48, imageMode: 'raster'});
  return encoder.image(picture, width, height, 'threshold', 128).encode();
}

let bytes = 0;
for (let i = 0; i < 3; i++) bytes = encode().length;  // warm up
const runs = [];
const deadline = process.hrtime.bigint() + 3000000000n;
while (runs.length < 5 || (process.hrtime.bigint() < deadline && runs.length < 200)) {
  const start = process.hrtime.bigint();
  encode();
  runs.push(Number(process.hrtime.bigint() - start) / 1e6);
}
runs.sort((a, b) => a - b);
console.log(JSON.stringify({version, ms: runs[Math.floor(runs.length / 2)], runs: runs.length, bytes}));
