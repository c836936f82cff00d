#!/usr/bin/env bash
# Checks the artefacts that scripts/package.sh made in dist/ as a user meets them, one file of
# checks per artefact in scripts/package-checks/, each run in this shell over common.sh:
#
# - deb.sh: the .deb: lintian, its files, their owners and modes, its control fields, checksums
#   and changelog; then, as root, installed with apt-get into a scratch Debian 12 system
#   (mmdebstrap), where the installed program runs headless on the sample, man finds its page,
#   both desktop entries validate and their commands write the slide show, and a purge leaves
#   none of its files behind;
# - zips.sh: the zips: exactly the files named, the programs PE GUI executables for their
#   architecture, stripped, needing only system DLLs, with icon, manifest and version resources;
# - installer.sh: the installer: the 32-bit one a PE32 program; its 64-bit variant, from the same
#   script, run silently under Wine in the Windows tests' prefix: files, both Start-menu entries,
#   uninstall entry, the "Make slide show", "Make modern slide show" and "Remove slide show"
#   commands run as Explorer runs them (the first two on a tree of folders too), and an
#   uninstaller that removes every file and key the installer made.
#
# Every check prints one line; the first that fails ends the run with status 1. The last line,
# "N checks, M failed", is what scripts/test.sh counts.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
checks_dir=scripts/package-checks
# shellcheck source=scripts/package-checks/common.sh
source "$checks_dir/common.sh"

header="$out/linux/generated/kestrune_version.h"
version="$(sed -n 's/^#define KESTRUNE_VERSION "\(.*\)"$/\1/p' "$header" 2>/dev/null || true)"
[ -n "$version" ] || fail "no version in $header: run scripts/package.sh first"
deb="dist/kestrune_${version}_amd64.deb"
for artefact in "$deb" "dist/kestrune-$version-win32.zip" "dist/kestrune-$version-win64.zip" \
  "dist/kestrune-$version-setup.exe"; do
  [ -s "$artefact" ] || fail "$artefact is missing: run scripts/package.sh first"
done
[ "$(find dist -type f | wc -l)" -eq 4 ] || fail "dist/ holds more than the four artefacts"
ok "dist/ holds the four artefacts of $version"

# shellcheck source=scripts/package-checks/deb.sh
source "$checks_dir/deb.sh"
# shellcheck source=scripts/package-checks/zips.sh
source "$checks_dir/zips.sh"
# shellcheck source=scripts/package-checks/installer.sh
source "$checks_dir/installer.sh"
report
