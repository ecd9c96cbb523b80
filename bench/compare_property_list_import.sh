#!/usr/bin/env bash
# 20,000 MacGourmet recipes as a binary and as an XML property list beside the MealMaster
# baseline of as many recipes (the shared large file), each imported by `miravel import` into
# an empty library (HOME and the XDG folders in a new temporary folder), one after the other
# in one run. same.mmf holds the MacGourmet recipes themselves as MealMaster text: the two
# importers on recipes of the same content. BEFORE, a `miravel` program of another build,
# imports the two property lists too.
#
#   bench/compare_property_list_import.sh [BUILD_DIR] [ROUNDS] [BEFORE]   (default build, 1)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build}
rounds=${2:-1}
before=${3:-}
tool=$build/bin/miravel
mmf_maker=${MIRAVEL_SHARED:-$repo/../shared}/bench/make_large_mmf.py
if [[ ! -x $tool ]]; then echo "$tool is missing: build the miravel target" >&2; exit 1; fi
if [[ ! -f $mmf_maker ]]; then echo "skipped: $mmf_maker absent"; exit 0; fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$mmf_maker" --target 20000 "$work/big.mmf" >/dev/null
python3 "$repo/bench/make_large_property_list.py" --binary "$work/bigbin.mgourmet"
python3 "$repo/bench/make_large_property_list.py" "$work/big.mgourmet"
python3 "$repo/bench/make_large_property_list.py" --mealmaster "$work/same.mmf"

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-27s %8s %10s %10s  %s\n' file seconds recipes/s "peak RSS" result
for ((round = 1; round <= rounds; ++round)); do
  runs=("$tool big.mmf" "$tool same.mmf" "$tool bigbin.mgourmet" "$tool big.mgourmet")
  if [[ -n $before ]]; then runs+=("$before bigbin.mgourmet" "$before big.mgourmet"); fi
  for run in "${runs[@]}"; do
    program=${run% *}
    file=${run##* }
    label=$file
    if [[ $program != "$tool" ]]; then label="$file (before)"; fi
    home=$(mktemp -d "$work/home.XXXX")
    out=$(HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config \
      XDG_CACHE_HOME=$home/cache XDG_STATE_HOME=$home/state \
      /usr/bin/time -f 'TIME %e %M' "$program" import "$work/$file" 2>&1)
    read -r seconds kilobytes < <(awk '/^TIME/ { print $2, $3 }' <<<"$out")
    count=$(grep -oE 'imported [0-9]+' <<<"$out" | grep -oE '[0-9]+' | tail -1 || true)
    rate=$(awk -v n="${count:-0}" -v s="$seconds" 'BEGIN { printf "%d", (s > 0 ? n / s : 0) }')
    printf '%-27s %8s %10s %7d MB  %s\n' "$label" "$seconds" "$rate" $((kilobytes / 1024)) \
      "$(grep -m1 -iE 'imported|fail|error' <<<"$out" || true)"
    rm -rf "$home"
  done
done
