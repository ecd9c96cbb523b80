#!/bin/sh
# The phone page (/app/) in headless chromium: when a 200-item grocery list is on screen after
# navigating (a one-item list beside it as the baseline, same server, same run), and what the
# page weighs before its data. Needs chromium and node (scripts/install-deps.sh screenshots).
#   bench/phone_page_load.sh [BUILD_DIR] [LOADS]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
loads=${2:-7}
server="$build/bin/miravel-server"
[ -x "$server" ] || { echo "no $server: build miravel-server first" >&2; exit 1; }
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
database="sqlite:$work/server.db"
for who in big small; do
  printf '%s-password\n%s-password\n' "$who" "$who" |
    "$server" account create "$who@example.org" --database "$database" >/dev/null
done
"$server" serve --database "$database" --listen 127.0.0.1:0 2>"$work/log" &
pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/log" >&2; exit 1; }
base="http://127.0.0.1:$port"

# 200 items over 12 aisles and 10 recipes, a fifth of them purchased, every tenth like another
# (merged into one row).
python3 - "$work" <<'PY'
import gzip, json, sys
aisles = ["Produce", "Dairy", "Bakery", "Meat", "Seafood", "Baking", "Spices", "Canned Goods",
          "Frozen", "Beverages", "Condiments", "Pasta & Grains"]
kinds = ["red", "green", "sweet", "smoked", "fresh", "dried", "white", "wholemeal", "organic",
         "spicy", "sour", "roasted"]
foods = ["onion", "pepper", "milk", "butter", "bread", "chicken", "salmon", "flour", "cumin",
         "tomatoes", "peas", "coffee", "ketchup", "rice", "garlic", "cheese", "beans"]
def item(i):
    j = i - 1 if i % 10 == 9 else i
    food = "%s %s" % (kinds[j % len(kinds)], foods[j // len(kinds) % len(foods)])
    recipe = None if i % 5 == 0 else "Recipe %d" % (i % 10)
    return {"uid": "G%03d" % i, "name": "%d cups %s" % (i % 3 + 1, food),
            "purchased": i % 5 == 1, "order_flag": None, "recipe": recipe,
            "aisle": aisles[j % len(aisles)], "ingredient": food, "deleted": False}
for name, count in (("big", 200), ("small", 1)):
    with open("%s/%s.gz" % (sys.argv[1], name), "wb") as out:
        out.write(gzip.compress(json.dumps([item(i) for i in range(count)]).encode()))
PY
for who in big small; do
  curl -sf -u "$who@example.org:$who-password" -F "data=@$work/$who.gz;type=application/octet-stream" \
    "$base/sync/groceries/" >/dev/null
done

script="$root/tests/server/phone_page.mjs"
for path in /app/ /app/worker.js; do
  printf '%-16s %6d bytes, %6d gzipped\n' "$path" "$(curl -sf "$base$path" | wc -c)" \
    "$(curl -sf -H 'Accept-Encoding: gzip' "$base$path" | wc -c)"
done
for who in big small; do
  rows=$(curl -sf -c "$work/$who.cookies" -d "email=$who@example.org" -d "password=$who-password" \
    "$base/app/session" >/dev/null && curl -sf -b "$work/$who.cookies" "$base/app/groceries" |
    python3 -c 'import json,sys; print(sum(len(s["rows"]) for s in json.load(sys.stdin)["result"]["sections"]))')
  node --no-warnings --experimental-websocket "$script" load "$base" "$who@example.org" \
    "$who-password" "$rows" "$loads" >"$work/$who.json"
  python3 - "$who" "$work/$who.json" <<'PY'
import json, statistics, sys
report = json.load(open(sys.argv[2]))
loads = sorted(report["loads"])
weight = sum(r["bytes"] for r in report["requests"] if not r["path"].startswith(("/app/groceries", "/app/session", "/app/meals")))
data = sum(r["bytes"] for r in report["requests"] if r["path"].startswith("/app/groceries"))
print("%-5s %3d rows: list on screen %.0f ms median (%.0f..%.0f ms, %d loads); page %d bytes, list data %d bytes"
      % (sys.argv[1], report["rows"], statistics.median(loads), loads[0], loads[-1], len(loads), weight, data))
for r in report["requests"]:
    print("      %-40s %7d bytes" % (r["path"], r["bytes"]))
PY
done
