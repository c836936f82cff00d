#!/usr/bin/env bash
# Cross-builds kestrune.exe for 32-bit and 64-bit Windows, checks that the 32-bit program is a
# PE32 GUI executable needing no DLL beyond the system's, and runs the Windows tests of the
# 64-bit build under Wine on a virtual display. Pages are compared with the headless build's.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs="$(nproc)"

# Both architectures with their tests, as the README builds them: the 32-bit tests cannot run on
# this kernel, but they must compile and link.
for arch in i686 x86_64; do
  cmake --no-warn-unused-cli -S . -B "build-mingw-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw-$arch.cmake" \
    -DKESTRUNE_TESTS=ON >/dev/null
  cmake --build "build-mingw-$arch" -j"$jobs"
done
cmake -S . -B build >/dev/null
cmake --build build -j"$jobs" --target kestrune

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

exe32=build-mingw-i686/kestrune.exe
headers="$(objdump -f -p "$exe32")"
grep -q "file format pei-i386" <<<"$headers" || fail "$exe32 is not a PE32 program"
grep -Eq "^Subsystem[[:space:]]+00000002" <<<"$headers" || fail "$exe32 is no GUI program"
extra="$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" |
  grep -viE '^(kernel32|user32|gdi32|comdlg32|shell32|msvcrt)\.dll$' || true)"
[ -z "$extra" ] || fail "$exe32 needs DLLs that Windows does not ship: $extra"
echo "ok   $exe32: PE32 GUI program, system DLLs only"
# The tests look the hook procedures up by their plain names, on 32-bit Windows too.
exports="$(objdump -p build-mingw-i686/tests/win32/kestrune_test_hook.dll)"
for name in KestruneQueryHook KestruneRefuseWindowHook; do
  grep -Eq "\] $name\$" <<<"$exports" || fail "the 32-bit hook DLL does not export $name"
done
echo "ok   32-bit tests built; the hook DLL exports its procedures by name"

build=build-mingw-x86_64
out="$build/wine-tests"
# Wine in a throw-away prefix, on a display of its own; both are stopped however the run ends.
source tests/win32/wine_prefix.sh
trap stop_wine EXIT
start_wine "$out" || fail "no display or prefix for Wine"

echo "== Win32 platform layer"
rm -rf "$out/scratch"
mkdir -p "$out/scratch/inside" "$out/scratch/outside"
echo victim >"$out/scratch/outside/victim.txt"
ln -s ../outside/victim.txt "$out/scratch/inside/escape.htm"
ln -s ../outside "$out/scratch/inside/linked"
platform_tests="$(winpath "$build/tests/win32/kestrune_platform_tests.exe")"
(cd "$out/scratch" && wine "$platform_tests") || fail "Win32 platform tests"

echo "== kestrune.exe under Wine"
bash tests/win32/make-fixtures.sh "$out/fixtures"
rm -rf "$out/work" "$out/reference"
cp -a "$out/fixtures" "$out/work"
cp -a "$out/fixtures" "$out/reference"
# The headless build writes the reference pages; its failures are expected in some folders.
headless="$PWD/build/kestrune"
for sheet in sample/index.html quoted/index.html words/index.html bare/index.html \
  busy/index.html relative2/sub/index.html \
  fullpage/sheet.html zerobyte/sheet.html $'caf\xe9/index.html' dialog/index.html \
  noimages/index.html allin1blocked/index.html sheetallin1/allin1.html pagefail/index.html \
  sheetpage/pic.htm escapes/sheet/index.html slash/index.html \
  foreign/index.html foreignallin1/index.html; do
  (cd "$out/reference" && DISPLAY= timeout 300 "$headless" "$sheet" 2>/dev/null) || true
done
(cd "$out/reference/relative" && DISPLAY= timeout 300 "$headless" index.html)
# Modern pages, and a sheet named like the option that must get classic ones: all must succeed.
for sheet in modernquoted/index.html modernbare/index.html modernquestion/index.html \
  modernalone/index.html; do
  (cd "$out/reference" && DISPLAY= timeout 300 "$headless" --modern "$sheet") ||
    fail "headless reference run: --modern $sheet"
done
(cd "$out/reference/notoption" && DISPLAY= timeout 300 "$headless" --modernx.html) ||
  fail "headless reference run: --modernx.html"
driver="$(winpath "$build/tests/win32/kestrune_window_tests.exe")"
program="$(winpath "$build/kestrune.exe")"
hook="$(winpath "$build/tests/win32/kestrune_test_hook.dll")"
work="$(winpath "$out/work")"
reference="$(winpath "$out/reference")"
wine "$driver" "$program" "$hook" "$work" "$reference" || fail "kestrune.exe under Wine"
echo "Windows tests passed"
