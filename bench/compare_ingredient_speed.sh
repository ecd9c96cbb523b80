#!/usr/bin/env bash
# Our ingredient parser beside the parse-ingredient npm package on the same lines (the input
# column of the NYT labelled file in the shared corpus), one after the other in one run, pinned
# to one core. Each side parses every line once untimed, then reports the median of 7 passes.
#
#   bench/compare_ingredient_speed.sh [BUILD_DIR]   (default build-release, a Release build
#                                                    holding bin/evaluate_ingredients)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build-release}
corpus=${MIRAVEL_CORPUS:-$repo/../shared/corpus}
csv=$corpus/ingredients/nyt-ingredients-2015-testing-labels.csv
tool=$build/bin/evaluate_ingredients
peer=$repo/bench/peer

if [[ ! -f $csv ]]; then echo "skipped: corpus absent ($csv)"; exit 0; fi
if ! command -v node >/dev/null; then echo "skipped: node absent"; exit 0; fi
if [[ ! -x $tool ]]; then echo "$tool is missing: run make bench-ingredients" >&2; exit 1; fi
if [[ ! -d $peer/node_modules/parse-ingredient ]]; then
  (cd "$peer" && npm ci --no-audit --no-fund --silent)
fi

lines=$(mktemp)
trap 'rm -f "$lines"' EXIT
"$tool" --lines "$csv" >"$lines"

pin=()
if command -v taskset >/dev/null; then pin=(taskset -c 0); fi
ours=$("${pin[@]}" "$tool" --speed "$lines")
peers=$("${pin[@]}" node "$peer/parse_ingredient_speed.js" "$lines")
version=$(node -p "require('$peer/node_modules/parse-ingredient/package.json').version")

rate() { awk -v key="$1" '$1 == key { print $2 }'; }
extract=$(rate extractIngredientInformation <<<"$ours")
aisle=$(rate getAisle <<<"$ours")
theirs=$(rate parseIngredient <<<"$peers")

echo "$(wc -l <"$lines") lines, ${pin[*]:-no pinning}"
printf '%-44s %10s lines/s\n' "ours: extractIngredientInformation" "$extract" \
  "ours: getAisle" "$aisle" "parse-ingredient $version: parseIngredient" "$theirs"
awk -v a="$extract" -v b="$theirs" \
  'BEGIN { printf "ratio extractIngredientInformation / parseIngredient: %.2f\n", a / b }'
