// Lines per second of the parse-ingredient package over a file of ingredient lines (one per
// line), timed the same way as our side: one untimed pass, then the median of seven passes.
//
//   node parse_ingredient_speed.js LINES_FILE
import { readFileSync } from 'node:fs';
import { parseIngredient } from 'parse-ingredient';

const kPasses = 7;

const file = process.argv[2];
if (!file) {
  console.error('usage: node parse_ingredient_speed.js LINES_FILE');
  process.exit(2);
}
const lines = readFileSync(file, 'utf8').split('\n').filter((line) => line.length > 0);

// Counting the amounts found keeps the work observable, so none of it can be skipped.
function pass() {
  let found = 0;
  for (const line of lines) {
    for (const ingredient of parseIngredient(line)) {
      if (ingredient.quantity !== null) found += 1;
      if (ingredient.unitOfMeasureID) found += 1;
    }
  }
  return found;
}

let sink = pass();
const rates = [];
for (let i = 0; i < kPasses; i += 1) {
  const start = process.hrtime.bigint();
  sink += pass();
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  rates.push(lines.length / seconds);
}
rates.sort((a, b) => a - b);
if (sink === 0) console.error('(nothing parsed)');
console.log(`lines ${lines.length}`);
console.log(`parseIngredient ${Math.round(rates[kPasses >> 1])} lines/s`);
