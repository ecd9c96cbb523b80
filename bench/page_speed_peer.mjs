// The peer page parser's pages/s on the same saved pages, held in memory, that
// evaluate_pages --speed times: recipe-scrapers' getScraper(url, {wildMode: true}), one scraper
// per page, then extract() per field. The package is installed outside this repository.
//
//   node bench/page_speed_peer.mjs PAGES_DIR PEER_DIR [SECONDS]
import fs from 'node:fs'
import path from 'node:path'

const [dir, peerDir, secondsText] = process.argv.slice(2)
const seconds = Number(secondsText || 10)
const peer = path.join(peerDir, 'node_modules', 'recipe-scrapers')
const { getScraper } = await import(path.join(peer, 'dist', 'index.mjs'))
const version = JSON.parse(fs.readFileSync(path.join(peer, 'package.json'), 'utf8')).version

const pages = []
for (const file of fs.readdirSync(dir).sort()) {
  if (!file.endsWith('.testhtml')) continue
  const html = fs.readFileSync(path.join(dir, file), 'utf8')
  let url = 'https://example.com/'
  try {
    const expected = JSON.parse(fs.readFileSync(path.join(dir, file.replace(/\.testhtml$/, '.json')), 'utf8'))
    url = expected.canonical_url || url
  } catch {}
  pages.push({ html, url })
}

const fields = ['title', 'ingredients', 'instructions', 'image']
async function scrape(page) {
  try {
    const Scraper = getScraper(page.url, { wildMode: true })
    const scraper = new Scraper(page.html, page.url)
    for (const field of fields) {
      try { await scraper.extract(field) } catch {}
    }
  } catch {}
}

// One untimed round, so the timing sees compiled code.
for (const page of pages) await scrape(page)
const start = process.hrtime.bigint()
let done = 0
let elapsed = 0
do {
  for (const page of pages) { await scrape(page); done++ }
  elapsed = Number(process.hrtime.bigint() - start) / 1e9
} while (elapsed < seconds)
console.log(`recipe-scrapers ${version}: ${pages.length} pages x ${done / pages.length} rounds: ${(done / elapsed).toFixed(1)} pages/s`)
