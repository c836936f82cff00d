#!/usr/bin/env bash
# Builds kestrune and runs it on a copy of the bundled samples in build/sample/: the contact sheet
# index.html made into its slide show, and the folder of photos holiday/ (a HEIC photo among
# them) made into its gallery and slide show.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run  # only what building and running needs
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target kestrune

rm -rf build/sample
cp -r examples build/sample
sheet=0
build/kestrune build/sample/index.html || sheet=$?
folder=0
build/kestrune build/sample/holiday || folder=$?
echo "kestrune exited with status $sheet on the contact sheet build/sample/index.html (its slide show"
echo "is beside it) and $folder on the folder of photos build/sample/holiday/ (its gallery"
echo "build/sample/holiday/index.html and the slide show are in it):"
ls build/sample build/sample/holiday
[ "$sheet" -ne 0 ] && exit "$sheet"
exit "$folder"
