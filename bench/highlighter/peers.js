// The peers of highlighter_bench: highlight.js and Prism highlighting the same Swift files.
// Usage: node peers.js PEERS-DIR CORPUS-DIR
// Prints one JSON object: for each peer the milliseconds of one pass over the files one by
// one and over the concatenated corpus 1, 2, 4 and 8 times (median of several passes), and
// per file the share of characters that highlight.js puts inside comment spans.
'use strict';
const fs = require('fs');
const path = require('path');

const [peersDir, corpusDir] = process.argv.slice(2).map((p) => path.resolve(p));
const need = (name) => require(path.join(peersDir, 'node_modules', name));

const hljs = need('highlight.js/lib/core');
hljs.registerLanguage('swift', need('highlight.js/lib/languages/swift'));
const Prism = need('prismjs');
need('prismjs/components/prism-swift');

const names = fs.readdirSync(path.join(corpusDir, 'files')).filter((n) => n.endsWith('.swift')).sort();
const files = names.map((n) => fs.readFileSync(path.join(corpusDir, 'files', n), 'utf8'));
const corpus = fs.readFileSync(path.join(corpusDir, 'corpus.swift'), 'utf8');
// The same concatenation as the benchmark's: each copy followed by a line feed.
const repeated = (copies) => Array(copies).fill(corpus + '\n').join('');

const peers = {
  'highlight.js': (code) => hljs.highlight(code, { language: 'swift', ignoreIllegals: true }).value,
  Prism: (code) => Prism.highlight(code, Prism.languages.swift, 'swift'),
};

// Median milliseconds of one call of `pass`, over at least `minRounds` passes and half a second.
function time(pass, minRounds = 5) {
  pass();
  const rounds = [];
  const begin = process.hrtime.bigint();
  while (rounds.length < minRounds || Number(process.hrtime.bigint() - begin) < 5e8) {
    const t0 = process.hrtime.bigint();
    pass();
    rounds.push(Number(process.hrtime.bigint() - t0) / 1e6);
  }
  rounds.sort((a, b) => a - b);
  return rounds[Math.floor(rounds.length / 2)];
}

// Characters (UTF-16 units, as in the benchmark) inside spans classed hljs-comment, nested
// spans included.
function commentUnits(html) {
  const entities = { '&amp;': '&', '&lt;': '<', '&gt;': '>', '&quot;': '"', '&#x27;': "'", '&#39;': "'" };
  let units = 0;
  const stack = [];
  const pattern = /<span class="([^"]*)">|<\/span>|(&[#a-z0-9]+;)|([^<&]+)/gi;
  for (let m; (m = pattern.exec(html)) !== null;) {
    const inComment = stack.includes(true);
    if (m[1] !== undefined) stack.push(m[1].split(' ').includes('hljs-comment'));
    else if (m[0] === '</span>') stack.pop();
    else if (m[2] !== undefined) units += inComment ? (entities[m[2]] ?? m[2]).length : 0;
    else units += inComment ? m[3].length : 0;
  }
  return units;
}

const result = { peers: {}, comments: {} };
for (const [name, highlight] of Object.entries(peers)) {
  const entry = { filesMs: time(() => files.forEach(highlight)), concatMs: {} };
  for (const copies of [1, 2, 4, 8]) {
    const input = repeated(copies);
    entry.concatMs[copies] = time(() => highlight(input), 3);
  }
  result.peers[name] = entry;
}
names.forEach((name, i) => {
  result.comments[name] = files[i].length ? commentUnits(peers['highlight.js'](files[i])) / files[i].length : 0;
});
result.versions = {
  'highlight.js': need('highlight.js/package.json').version,
  Prism: need('prismjs/package.json').version,
};
process.stdout.write(JSON.stringify(result) + '\n');
