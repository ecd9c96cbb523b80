#!/usr/bin/env bash
# Our page parser beside the recipe-scrapers npm package on the same saved pages held in
# memory, one after the other in one run, both pinned to one core.
#
#   bench/compare_page_speed.sh [BUILD_DIR]   (default build-release, holding bin/evaluate_pages)
#
# The peer is not part of this repository: PEER_DIR (default ../scratch-peer beside the
# checkout) must hold node_modules/recipe-scrapers (npm install recipe-scrapers@3.0.0 there).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build-release}
pages=${MIRAVEL_CORPUS:-$repo/../shared/corpus}/webpages
peer=${PEER_DIR:-$repo/../scratch-peer}
seconds=${SECONDS_PER_SIDE:-10}
tool=$build/bin/evaluate_pages

if [[ ! -d $pages ]]; then echo "skipped: corpus absent ($pages)"; exit 0; fi
if [[ ! -x $tool ]]; then echo "$tool is missing: run make evaluate-pages" >&2; exit 1; fi
pin=()
if command -v taskset >/dev/null; then pin=(taskset -c 0); fi
ours=$("${pin[@]}" "$tool" --speed "$pages" --seconds "$seconds")
echo "$ours"
if ! command -v node >/dev/null || [[ ! -d $peer/node_modules/recipe-scrapers ]]; then
  echo "peer skipped: no node or no $peer/node_modules/recipe-scrapers"
  exit 0
fi
theirs=$("${pin[@]}" node "$repo/bench/page_speed_peer.mjs" "$pages" "$peer" "$seconds")
echo "$theirs"
rate() { sed -n 's/.*: \([0-9.]*\) pages\/s.*/\1/p' | head -1; }
fast=$(grep '^fast path' <<<"$ours" | rate)
full=$(grep '^full parse' <<<"$ours" | rate)
peers=$(rate <<<"$theirs")
awk -v a="$fast" -v b="$full" -v p="$peers" \
  'BEGIN { printf "ratio to the peer: %.1fx (as shipped, fast path), %.1fx (every page through the tree)\n", a / p, b / p }'
