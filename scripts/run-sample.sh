#!/usr/bin/env bash
# Builds kestrune and runs it on a copy of the bundled sample contact sheet in build/sample/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run  # only what building and running needs
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target kestrune

rm -rf build/sample
cp -r examples build/sample
status=0
build/kestrune build/sample/index.html || status=$?
echo "kestrune exited with status $status; the slide show is in build/sample/:"
ls build/sample
exit "$status"
