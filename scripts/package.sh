#!/usr/bin/env bash
# Makes the release artefacts into dist/, each from a Release build of its own in build-package/:
#
#   kestrune_VERSION_amd64.deb       the Debian package (CPack), built with Debian's hardening flags
#   kestrune-VERSION-win32.zip       the 32-bit Windows program, help page, LICENSE.txt, README.txt
#   kestrune-VERSION-win64.zip       the same for x86-64
#   kestrune-VERSION-setup.exe       the Windows installer (NSIS) of the 32-bit program
#
# It also makes build-package/kestrune-VERSION-setup-x64.exe, the installer's 64-bit variant from
# the same script, which scripts/test-package.sh runs under Wine (this kernel runs no 32-bit
# programs). The version is the one project() names in CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
jobs="$(nproc)"
out=build-package
rm -rf dist
mkdir -p dist "$out"

# ---- Debian -----------------------------------------------------------------------------------
linux="$out/linux"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKESTRUNE_TESTS=OFF -DKESTRUNE_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$linux" -j"$jobs"
# The release facts, as the build's generated header holds them.
header="$linux/generated/kestrune_version.h"
version="$(sed -n 's/^#define KESTRUNE_VERSION "\(.*\)"$/\1/p' "$header")"
legal="$(sed -n 's/^#define KESTRUNE_LEGAL_NOTICE "\(.*\)"$/\1/p' "$header")"
[ -n "$version" ] && [ -n "$legal" ] || { echo "package.sh: no version in $header" >&2; exit 1; }
rm -f "$linux"/kestrune_*.deb
(cd "$linux" && cpack -G DEB >/dev/null)
cp "$linux/kestrune_${version}_amd64.deb" dist/

# ---- Windows ----------------------------------------------------------------------------------
# Each program installed stripped into its stage folder: exactly what its zip holds.
for arch in i686 x86_64; do
  build="$out/$arch"
  cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_TESTS=OFF -DKESTRUNE_BENCH=OFF >/dev/null
  cmake --build "$build" -j"$jobs"
  rm -rf "$build/stage"
  cmake --install "$build" --strip --prefix "$build/stage" >/dev/null
done
(cd "$out/i686/stage" && zip -q -X -9 "../../../dist/kestrune-$version-win32.zip" *)
(cd "$out/x86_64/stage" && zip -q -X -9 "../../../dist/kestrune-$version-win64.zip" *)

installer() {  # installer OUTFILE STAGE [-DX64]
  local outfile="$1" stage="$2"
  shift 2
  makensis -V2 -NOCD -DVERSION="$version" -DLEGAL="$legal" -DFILES="$PWD/$stage" \
    -DICON="$PWD/resources/kestrune.ico" -DOUTFILE="$outfile" "$@" packaging/windows/kestrune.nsi
}
installer "$PWD/dist/kestrune-$version-setup.exe" "$out/i686/stage"
installer "$PWD/$out/kestrune-$version-setup-x64.exe" "$out/x86_64/stage" -DX64

echo "Artefacts in dist/:"
ls -l dist
