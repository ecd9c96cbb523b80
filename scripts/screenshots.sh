#!/bin/sh
# The documentation's screenshots: a sample library of about 30 recipes (from the labelled web
# pages of ../shared/corpus, read at run time and never committed) with made-up photos and
# categories, shown by the desktop program under Xvfb, with a week of meals planned from it and
# a grocery list made of three of them, and then the welcome assistant and the settings window
# of a first start; the PNGs go to docs/screenshots/.
#   scripts/screenshots.sh [BUILD_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
corpus=${MIRAVEL_CORPUS:-$root/../shared/corpus}/webpages
[ -d "$corpus" ] || { echo "no corpus at $corpus" >&2; exit 1; }

nice cmake --build "$build" -j2 --target miravel miravel-screenshots

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
       XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$work/runtime"
library="$work/Library"

QT_QPA_PLATFORM=offscreen "$build/bin/miravel-screenshots" photos "$work/photos" 30 >/dev/null

python3 - "$corpus" "$build/bin/miravel" "$library" "$work/photos" <<'PY'
import glob, json, subprocess, sys
corpus, miravel, library, photos = sys.argv[1:]
rules = [("Drinks", ("cocktail", "drink", "smoothie", "lemonade", "latte", "tea")),
         ("Desserts", ("cake", "cookie", "pie", "tart", "brownie", "chocolate", "pudding", "ice cream")),
         ("Breakfast", ("pancake", "waffle", "granola", "breakfast", "muffin", "oat")),
         ("Soups", ("soup", "stew", "chowder", "chili")),
         ("Salads", ("salad", "slaw")),
         ("Vegetarian", ("vegetarian", "vegan", "tofu", "lentil", "chickpea"))]
added = 0
for path in sorted(glob.glob(corpus + "/*.json")):
    try:
        page = json.load(open(path, encoding="utf-8"))
    except (ValueError, OSError):
        continue
    if not str(page.get("language", "")).startswith("en") or not page.get("title"):
        continue
    ingredients = page.get("ingredients") or []
    steps = page.get("instructions_list") or []
    if len(ingredients) < 3 or not steps:
        continue
    text = (page["title"] + " " + " ".join(page.get("keywords") or [])).lower()
    categories = [name for name, words in rules if any(w in text for w in words)] or ["Dinner"]
    added += 1
    command = [miravel, "--library", library, "recipe", "add", "--name", page["title"],
               "--ingredients", "\n".join(ingredients), "--directions", "\n\n".join(steps),
               "--source", page.get("site_name") or page.get("host", ""),
               "--source-url", page.get("canonical_url", ""),
               "--rating", str(added % 5 + 1), "--categories", ",".join(categories),
               "--photo", "%s/%02d.jpg" % (photos, added)]
    if page.get("yields"):
        command += ["--servings", str(page["yields"])]
    if page.get("cook_time"):
        command += ["--cook-time", "%s min" % page["cook_time"]]
    if added % 4 == 0:
        command.append("--favorite")
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    if added == 30:
        break
print("sample library: %d recipes" % added)
PY

# The Browser pane clips a page read from a file; the engine names its type by the extension.
cp "$corpus/40aprons.com__fortyaprons_1.testhtml" "$work/recipe-page.html"
# Without a GPU the engine composites in software; as root it runs only without its sandbox.
export QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu QT_LOGGING_RULES=qt.webenginecontext.info=false
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1

mkdir -p "$root/docs/screenshots"
xvfb-run -a -s "-screen 0 1400x1000x24" "$build/bin/miravel-screenshots" shoot "$library" \
    "$root/docs/screenshots" "$work/recipe-page.html"

# The welcome assistant and the settings window start from a first start on a library of
# their own.
xvfb-run -a -s "-screen 0 1400x1000x24" "$build/bin/miravel-screenshots" settings \
    "$work/FirstStart" "$root/docs/screenshots"
