#!/usr/bin/env bash
# Installs, from Debian's archive, what the named groups need and the machine lacks (and, for the
# test group, the browser tests' one npm package).
#
#   scripts/install-deps.sh run     building the program and running it (scripts/run-sample.sh)
#   scripts/install-deps.sh test    everything scripts/test.sh uses (includes run and package),
#                                   and axe-core from the npm registry for the browser tests
#   scripts/install-deps.sh package making and checking the release packages (scripts/package.sh)
#   scripts/install-deps.sh icons   rendering the icons from their drawing (scripts/make-icons.sh)
#   scripts/install-deps.sh fresh   making a fresh Debian system (scripts/check-fresh-machine.sh)
#   scripts/install-deps.sh bench   the benchmarks (bench/run.sh)
#   scripts/install-deps.sh fixtures the real tools that write the browser tests' contact sheets
#                                     (tests/browser/make-fixtures.sh)
#
# Several groups may be named; without one, "run" is meant.
set -euo pipefail

declare -A groups
groups[run]="cmake make g++ libfltk1.3-dev libvips-dev"  # libvips: the photo module (folder runs)
groups[package]="${groups[run]}
  dpkg-dev lintian desktop-file-utils
  mmdebstrap
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 nsis zip unzip icoutils
  wine64 xvfb x11-utils locales python3-pil"
# The Debian package: dependencies from the binary, its check, and a scratch Debian system to
# install it in; the Windows programs, their installer and zips, and the installer run under Wine.
groups[icons]="librsvg2-bin icoutils"
groups[test]="${groups[package]}
  libgtest-dev
  clang libclang-rt-14-dev
  libbenchmark-dev
  xdotool
  chromium chromium-driver python3-selenium python3-pil libheif-examples
  libvips-tools llgal igal2 libheif-dev"
# GoogleTest; fuzzing (libFuzzer); benchmarks; window tests on a virtual display (Xvfb, as the
# Windows tests use it under Wine with a single-byte locale); walking the slide shows in a browser,
# with photos drawn at real sizes (heif-enc: a phone's HEIC photo made from one drawn); HEIC and
# AVIF photos made by libheif for the folder runs.
groups[fresh]="mmdebstrap"
groups[bench]="${groups[run]} libbenchmark-dev libjpeg-dev strace libvips-tools llgal igal2
  fgallery liblcms2-utils lazygal time"
# bench/run.sh: counts system calls too; --folder times the thumbnails and copies against
# vipsthumbnail and folder gallery generators (fgallery refuses to start without the colour
# converter of liblcms2-utils, which it only recommends); --albums reads peak memory from
# /usr/bin/time -v
groups[fixtures]="pandoc tree python3 igal2 llgal imagemagick"

[ $# -gt 0 ] || set -- run
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# Another apt run (an unattended upgrade, a second script) may hold the lock for a while.
apt=(apt-get -o DPkg::Lock::Timeout=600 -y -qq)

apt_install() {
  echo "Installing: $*"
  $sudo "${apt[@]}" update
  DEBIAN_FRONTEND=noninteractive $sudo "${apt[@]}" install --no-install-recommends "$@"
}

packages=()
for group in "$@"; do
  [ -n "${groups[$group]+set}" ] || { echo "install-deps.sh: unknown group $group" >&2; exit 2; }
  read -r -d '' -a listed <<<"${groups[$group]}" || true
  packages+=("${listed[@]}")
done

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ "${#missing[@]}" -eq 0 ] || apt_install "${missing[@]}"

# The browser tests' accessibility checker, axe-core, at the version tests/browser/package-lock.json
# pins, installed there when missing or another version; npm comes with the machine's Node.js, or
# else from Debian.
if [[ " $* " == *" test "* ]]; then
  browser_tests="$(cd "$(dirname "$0")/../tests/browser" && pwd)"
  version() { sed -n "${2:-}"'s/^ *"version": "\(.*\)",*$/\1/p' "$1" 2>/dev/null | head -n1; }
  wanted="$(version "$browser_tests/package-lock.json" '/"node_modules\/axe-core"/,/}/')"
  if [ "$(version "$browser_tests/node_modules/axe-core/package.json")" != "$wanted" ]; then
    command -v npm >/dev/null || apt_install npm
    (cd "$browser_tests" && npm ci --no-audit --no-fund)
  fi
fi
