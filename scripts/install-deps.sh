#!/usr/bin/env bash
# Installs the Debian packages Miravel needs to build, test and benchmark.
# Idempotent: packages already present are left alone and apt is not touched.
# Usage: scripts/install-deps.sh [build|fuzz|lint|screenshots]...   (default: build)
set -euo pipefail

build_packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libxml2-dev
  libsqlite3-dev libicu-dev libssl-dev libsecret-1-dev libfmt-dev libcurl4-openssl-dev
  zlib1g-dev libminizip-dev libyaml-dev libplist-dev libexpat1-dev
  libpng-dev libjpeg62-turbo-dev libgif-dev libtiff-dev
  libgumbo-dev libcpp-httplib-dev libsodium-dev libpq-dev postgresql wrk
  qt6-base-dev qt6-tools-dev qt6-webengine-dev libgl-dev xvfb xauth fonts-dejavu-core desktop-file-utils poppler-utils
)
# The phone page's screenshots (scripts/phone-screenshots.mjs) drive a headless browser.
screenshot_packages=(chromium)
# libFuzzer needs a clang whose concepts level lets libstdc++ offer <expected>.
fuzz_packages=(clang-19 libclang-rt-19-dev)
# clang-tidy 14 cannot see std::expected in libstdc++ 12 for the same reason; 19 can.
lint_packages=(clang-tidy-19)

wanted=()
groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(build)
for group in "${groups[@]}"; do
  case "$group" in
    build) wanted+=("${build_packages[@]}") ;;
    fuzz) wanted+=("${fuzz_packages[@]}") ;;
    lint) wanted+=("${lint_packages[@]}") ;;
    screenshots) wanted+=("${screenshot_packages[@]}") ;;
    *) echo "install-deps: unknown package group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
