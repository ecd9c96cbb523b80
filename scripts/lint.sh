#!/usr/bin/env bash
# Runs clang-tidy 19 with the repository's .clang-tidy over the files of a configured build
# directory that match FILES (a regular expression on their absolute paths), keeps the whole
# report in BUILD_DIR/clang-tidy.log, and closes with the number of findings per check: a
# header's finding is reported once for every file that includes it, and counted once here.
# Exits non-zero when there is any finding.
# Usage: scripts/lint.sh BUILD_DIR JOBS [FILES]   (FILES defaults to this checkout's src/)
set -euo pipefail
dir=$1
jobs=$2
files=${3:-"$(cd "$(dirname "$0")/.." && pwd)/src/"}
log=$dir/clang-tidy.log

status=0
# clang-tidy 19 reads any GCC warning option the build uses; the ones it lacks are not findings.
run-clang-tidy-19 -p "$dir" -j "$jobs" -quiet -extra-arg=-Wno-unknown-warning-option "$files" \
  2>&1 | tee "$log" || status=$?

summary=$(grep -E '^/[^ ]+:[0-9]+:[0-9]+: (warning|error): .* \[[^] ]+\]$' "$log" |
  sed -E 's#^.*/build[^/]*/include/[a-z]+/#src/#; s#^.*/(src/)#\1#' |
  sed -E 's#^([^ ]+): (warning|error): .* \[([^],]+)[^]]*\]$#\1 \3#' |
  sort -u | awk '{print $2}' | sort | uniq -c | sort -rn || true)
if [ -n "$summary" ]; then
  echo "== clang-tidy findings per check (whole report in $log):"
  echo "$summary"
  echo "== $(echo "$summary" | awk '{n += $1} END {print n}') findings"
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "== clang-tidy failed (see $log)" >&2
  exit "$status"
fi
echo "== no clang-tidy findings"
