#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the tests need and the machine lacks.
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev            # the Linux build and its tests
  clang libclang-rt-14-dev               # fuzzing (libFuzzer)
  libbenchmark-dev                       # benchmarks
  libfltk1.3-dev                         # the Linux window
  xvfb xdotool x11-utils                 # window tests on a virtual display
  desktop-file-utils                     # checking the desktop entry
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32   # the Windows builds
  wine64 locales                         # running the x86-64 Windows build in the tests
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
