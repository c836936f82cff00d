# shellcheck shell=bash
# What the package checks share, sourced by scripts/test-package.sh before the checks of each
# artefact (deb.sh, zips.sh, installer.sh), which run in the same shell:
#
#   ok TEXT             counts a check that passed and prints it
#   fail TEXT           prints the failure and the closing line, and ends the run with status 1
#   report              the closing line of a run where every check passed
#   cleanups+=(CMD)     a command run when the run ends, however it ends (last added, first run)
#   reference_run ...   the packaged Linux program's slide show of the sample
#   $out $scratch       the packaging build folder, and a scratch folder removed at the end

out=build-package
checks=0
ok() {
  checks=$((checks + 1))
  echo "ok   $*"
}
fail() {
  echo "FAIL $*" >&2
  echo "$checks checks, 1 failed"
  exit 1
}
report() {
  echo "$checks checks, 0 failed"
}

scratch="$(mktemp -d)"
cleanups=("rm -rf --one-file-system '$scratch'")
cleanup() {
  local i
  for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do eval "${cleanups[$i]}" || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

linux_program="$PWD/$out/linux/kestrune"
# A headless run of the packaged Linux program, on a copy of the sample in FOLDER (SHEET renamed
# from index.html when given), with the OPTIONS given: the slide show every other run with those
# options must write byte for byte.
reference_run() {  # reference_run FOLDER [SHEET [OPTIONS...]]
  local folder="$1" sheet="${2:-index.html}" options=("${@:3}")
  mkdir -p "$(dirname "$folder")"
  cp -r examples "$folder"
  [ "$sheet" = index.html ] || mv "$folder/index.html" "$folder/$sheet"
  (cd "$folder" && DISPLAY= "$linux_program" "${options[@]}" "$sheet" 2>/dev/null) ||
    fail "the packaged program failed on the sample"
}
