// The peers of highlighter_bench, highlight.js and Prism, highlighting the same Swift files
// on request, so that the benchmark can time them in turn with its own passes.
// Usage: node peers.js PEERS-DIR CORPUS-DIR, then one request a line on standard input:
//   versions                  -> {"highlight.js": "11.x", "Prism": "1.x"}
//   files PEER                -> milliseconds of one pass over the files, one by one
//   concat PEER COPIES        -> milliseconds of one pass over the corpus concatenated COPIES times
//   comments                  -> {file: share of its characters inside highlight.js's comment spans}
// Each answer is one line of JSON.
'use strict';
const fs = require('fs');
const path = require('path');
const readline = require('readline');

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
const concatenations = {};
const repeated = (copies) => (concatenations[copies] ??= Array(copies).fill(corpus + '\n').join(''));

const peers = {
  'highlight.js': (code) => hljs.highlight(code, { language: 'swift', ignoreIllegals: true }).value,
  Prism: (code) => Prism.highlight(code, Prism.languages.swift, 'swift'),
};

function time(pass) {
  const t0 = process.hrtime.bigint();
  pass();
  return Number(process.hrtime.bigint() - t0) / 1e6;
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

function answer(request) {
  const [what, peer, copies] = request.trim().split(' ');
  const highlight = peers[peer];
  switch (what) {
  case 'versions':
    return { 'highlight.js': need('highlight.js/package.json').version, Prism: need('prismjs/package.json').version };
  case 'files':
    return time(() => files.forEach(highlight));
  case 'concat': {
    const input = repeated(Number(copies));
    return time(() => highlight(input));
  }
  case 'comments':
    return Object.fromEntries(names.map((name, i) => [
      name, files[i].length ? commentUnits(peers['highlight.js'](files[i])) / files[i].length : 0]));
  default:
    return { error: `unknown request '${request}'` };
  }
}

readline.createInterface({ input: process.stdin }).on('line', (line) => {
  process.stdout.write(JSON.stringify(answer(line)) + '\n');
});
