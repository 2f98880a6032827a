// The npm codepage encoder on the benchmark text: autoEncode over the same
// tables as the library's row, bytes out. Prints JSON with the median time and
// how many code-page switches (fragments after the first that change the page).
'use strict';
const fs = require('fs');
const path = require('path');

const modules = path.resolve(process.argv[2]);
const text = fs.readFileSync(process.argv[3], 'utf8');
const CodepageEncoder = require(path.join(modules, '@point-of-sale/codepage-encoder'));
const version = require(path.join(modules, '@point-of-sale/codepage-encoder/package.json')).version;
const candidates = ['cp437', 'cp850', 'cp860', 'cp863', 'cp865', 'cp737', 'windows1252', 'cp866', 'cp852',
  'cp858', 'cp775', 'cp855', 'windows1250', 'windows1251', 'windows1253', 'windows1257'];

function encode() {
  return CodepageEncoder.autoEncode(text, candidates);
}

let fragments = encode();
// One run warms up: each takes about a minute on this text.
const runs = [];
const deadline = process.hrtime.bigint() + 5000000000n;
while (runs.length < 3 || (process.hrtime.bigint() < deadline && runs.length < 50)) {
  const start = process.hrtime.bigint();
  encode();
  runs.push(Number(process.hrtime.bigint() - start) / 1e6);
}
runs.sort((a, b) => a - b);
let switches = 0;
let bytes = 0;
fragments.forEach((f, i) => {
  if (i === 0 || f.codepage !== fragments[i - 1].codepage) switches++;
  bytes += f.bytes.length;
});
console.log(JSON.stringify({version, ms: runs[Math.floor(runs.length / 2)], runs: runs.length, switches, bytes}));
