#!/usr/bin/env bash
# Checks the artefacts that scripts/package.sh made in dist/ as a user meets them:
#
# - the .deb: lintian, its files, their owners and modes, its control fields, checksums and
#   changelog; then, as root, installed with apt-get into a scratch Debian 12 system (mmdebstrap),
#   where the installed program runs headless on the sample, man finds its page, both desktop
#   entries validate and their commands write the slide show, and a purge leaves none of its
#   files behind;
# - the zips: exactly the files named, the programs PE GUI executables for their architecture,
#   stripped, needing only system DLLs, with icon, manifest and version resources;
# - the installer: the 32-bit one a PE32 program; its 64-bit variant, from the same script, run
#   silently under Wine in the Windows tests' prefix: files, both Start-menu entries, uninstall
#   entry, the "Make slide show", "Make modern slide show" and "Remove slide show" commands run
#   as Explorer runs them, and an uninstaller that removes every file and key the installer made.
#
# Every check prints one line; the first that fails ends the run with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
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

# ---- The Debian package -------------------------------------------------------------------------

echo "== $deb"
lintian_log="$scratch/lintian.log"
lintian -I --pedantic --fail-on error,warning "$deb" >"$lintian_log" 2>&1 || {
  cat "$lintian_log"
  fail "lintian reports errors or warnings"
}
grep -v '^running with root privileges' "$lintian_log" | sed 's/^/     lintian: /' || true
ok "lintian: no error, no warning"

expected_files="./usr/bin/kestrune -rwxr-xr-x root/root
./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/kestrune/kestrune-desktop.so -rw-r--r-- root/root
./usr/share/applications/kestrune-modern.desktop -rw-r--r-- root/root
./usr/share/applications/kestrune.desktop -rw-r--r-- root/root
./usr/share/doc-base/kestrune -rw-r--r-- root/root
./usr/share/doc/kestrune/changelog.gz -rw-r--r-- root/root
./usr/share/doc/kestrune/copyright -rw-r--r-- root/root
./usr/share/doc/kestrune/help.html -rw-r--r-- root/root
./usr/share/icons/hicolor/48x48/apps/kestrune.png -rw-r--r-- root/root
./usr/share/icons/hicolor/scalable/apps/kestrune.svg -rw-r--r-- root/root
./usr/share/man/man1/kestrune.1.gz -rw-r--r-- root/root"
contents="$(dpkg-deb -c "$deb")"
[ "$(awk '$1 !~ /^d/ {print $6, $1, $2}' <<<"$contents" | LC_ALL=C sort)" = "$expected_files" ] ||
  fail "the package's files, owners or modes differ:
$contents"
bad_folders="$(awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")' <<<"$contents")"
[ -z "$bad_folders" ] || fail "folders not root-owned with mode 755: $bad_folders"
ok "the program, its window module, desktop entries, icons, man page, help page, copyright and changelog, owned by root"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package) $(field Version) $(field Architecture)" = "kestrune $version amd64" ] ||
  fail "control fields: $(field Package) $(field Version) $(field Architecture)"
depends="$(field Depends)"
grep -q 'libfltk1\.3' <<<"$depends" && grep -q 'libc6 (>=' <<<"$depends" ||
  fail "Depends not computed from the binary: $depends"
ok "kestrune $version amd64, Depends: $depends"

unpacked="$scratch/deb"
dpkg-deb -R "$deb" "$unpacked"
(cd "$unpacked" && md5sum --quiet -c DEBIAN/md5sums) || fail "md5sums do not match the files"
[ "$(wc -l <"$unpacked/DEBIAN/md5sums")" -eq "$(wc -l <<<"$expected_files")" ] ||
  fail "md5sums does not list every file"
ok "md5sums lists every file, and they match"

program="$unpacked/usr/bin/kestrune"
# Whole outputs are taken before they are searched: grep -q stopping early would make the
# writer fail under pipefail.
described="$(file "$program")"
[[ "$described" == *", stripped"* ]] || fail "the program is not stripped: $described"
sections="$(objdump -h "$program")"
! grep -qE ' \.(comment|note) ' <<<"$sections" || fail "the program keeps .comment or .note"
[ "$("$program" --version)" = "kestrune $version" ] || fail "--version: $("$program" --version)"
man_page="$(zcat "$unpacked/usr/share/man/man1/kestrune.1.gz")"
[[ "${man_page%%$'\n'*}" == *"\"kestrune $version\""* ]] ||
  fail "the man page does not name $version"
zcat "$unpacked/usr/share/doc/kestrune/changelog.gz" >"$scratch/changelog"
[ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$version" ] ||
  fail "the changelog's latest entry is not $version"
head -n1 "$unpacked/usr/share/doc/kestrune/copyright" |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not machine-readable"
ok "stripped program; --version, man page and changelog name $version; copyright in DEP-5 form"

check_installed_deb() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: installing $deb in a scratch Debian 12 system needs root (chroot, mount)"
    return 0
  fi
  # The base system is made once (about 100 MB from Debian's mirror) and kept for a week.
  local base="$out/debian-base/bookworm.tar" root="$scratch/root"
  mkdir -p "$(dirname "$base")"
  if [ -z "$(find "$base" -mtime -7 2>/dev/null)" ]; then
    echo "     making a Debian 12 base system (mmdebstrap)"
    mmdebstrap --quiet --variant=apt --include=man-db,desktop-file-utils bookworm \
      "${base%.tar}.part.tar" || fail "mmdebstrap could not make a Debian 12 system"
    mv "${base%.tar}.part.tar" "$base"
  fi
  mkdir "$root"
  tar -C "$root" -xf "$base"
  # Replaced, not written through: a link there could lead out of the scratch system.
  rm -f "$root/etc/resolv.conf"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mount -t proc proc "$root/proc"
  cleanups+=("umount '$root/proc'")
  in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

  cp "$deb" "$root/tmp/"
  in_root apt-get -qq update || fail "apt-get update in the scratch system"
  in_root env DEBIAN_FRONTEND=noninteractive apt-get -qq -y install "/tmp/$(basename "$deb")" \
    >"$scratch/apt.log" 2>&1 || {
    cat "$scratch/apt.log"
    fail "apt-get could not install $deb"
  }
  ok "apt-get installed $deb and its dependencies in a scratch Debian 12 system"

  [ "$(in_root kestrune --version)" = "kestrune $version" ] || fail "installed --version"
  reference_run "$scratch/reference"
  cp -r examples "$root/tmp/sample"
  in_root env DISPLAY= kestrune /tmp/sample/index.html || fail "the installed program failed"
  diff -r "$scratch/reference" "$root/tmp/sample" >/dev/null ||
    fail "the installed program wrote another slide show than the packaged one"
  ok "the installed kestrune wrote the sample's slide show headless"
  # With a display named, the installed program finds its window module where it was installed
  # (no server answers here, so it then runs headless, saying nothing).
  rm -rf "$root/tmp/sample" && cp -r examples "$root/tmp/sample"
  loaded="$(in_root env DISPLAY=:4093 LD_DEBUG=files kestrune /tmp/sample/index.html 2>&1)" ||
    fail "the installed program failed with a display named"
  grep -q "kestrune/kestrune-desktop.so" <<<"$loaded" && ! grep -q "running without one" <<<"$loaded" ||
    fail "the installed program did not load its window module"
  ok "with a display named, the installed kestrune loads its window module"

  [ "$(in_root man -w kestrune)" = /usr/share/man/man1/kestrune.1.gz ] ||
    fail "man -w kestrune: $(in_root man -w kestrune 2>&1)"
  ok "man -w kestrune finds the page"

  # Each desktop entry validates, and its command, as a file manager runs it on the sample, writes
  # the packaged program's slide show with the same options.
  local entry command words options
  for entry in kestrune kestrune-modern; do
    in_root desktop-file-validate "/usr/share/applications/$entry.desktop" ||
      fail "the installed desktop entry $entry.desktop does not validate"
    command="$(sed -n 's/^Exec=//p' "$root/usr/share/applications/$entry.desktop")"
    read -r -a words <<<"$command"
    [ "${words[0]}" = kestrune ] && [ "${words[-1]}" = %f ] ||
      fail "$entry.desktop: Exec=$command does not run kestrune on the file"
    options=("${words[@]:1:${#words[@]}-2}")
    reference_run "$scratch/reference-$entry" index.html "${options[@]}"
    rm -rf "$root/tmp/sample" && cp -r examples "$root/tmp/sample"
    in_root env DISPLAY= kestrune "${options[@]}" /tmp/sample/index.html 2>/dev/null ||
      fail "$entry.desktop: $command failed"
    diff -r "$scratch/reference-$entry" "$root/tmp/sample" >/dev/null ||
      fail "$entry.desktop: $command wrote another slide show than the packaged program"
    ok "$entry.desktop validates; $command wrote the slide show"
  done

  local installed
  installed="$(in_root dpkg -L kestrune)"
  in_root env DEBIAN_FRONTEND=noninteractive apt-get -qq -y remove --purge kestrune \
    >"$scratch/apt.log" 2>&1 || {
    cat "$scratch/apt.log"
    fail "apt-get remove --purge kestrune"
  }
  ! in_root dpkg -s kestrune >/dev/null 2>&1 || fail "dpkg still knows kestrune after the purge"
  local left=() path
  while IFS= read -r path; do
    # Shared folders (/usr/share/...) stay; the package's own files and folders must go.
    if [ -e "$root$path" ] && { [ ! -d "$root$path" ] || [[ "$path" == */kestrune ]]; }; then
      left+=("$path")
    fi
  done <<<"$installed"
  [ "${#left[@]}" -eq 0 ] || fail "left behind after the purge: ${left[*]}"
  ok "apt-get remove --purge left none of its $(wc -l <<<"$installed") paths behind"
}
check_installed_deb

# ---- The zips -----------------------------------------------------------------------------------

check_program() {  # check_program EXE FORMAT
  local exe="$1" format="$2" headers
  headers="$(objdump -f -p "$exe")"
  grep -q "file format $format" <<<"$headers" || fail "$exe is not a $format program"
  grep -Eq "^Subsystem[[:space:]]+00000002" <<<"$headers" || fail "$exe is no GUI program"
  local extra
  extra="$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" |
    grep -viE '^(kernel32|user32|gdi32|comdlg32|shell32|advapi32|msvcrt)\.dll$' || true)"
  [ -z "$extra" ] || fail "$exe needs DLLs that Windows does not ship: $extra"
  local symbols sections
  symbols="$(objdump -t "$exe")"
  sections="$(objdump -h "$exe")"
  grep -q 'no symbols' <<<"$symbols" || fail "$exe is not stripped"
  ! grep -q ' \.debug' <<<"$sections" || fail "$exe keeps debugging sections"

  local resources
  resources="$(wrestool -l "$exe")"
  grep -q 'type=group_icon' <<<"$resources" || fail "$exe has no icon"
  wrestool -x --raw --type=24 "$exe" >"$scratch/manifest.xml"
  grep -q 'requestedExecutionLevel level="asInvoker"' "$scratch/manifest.xml" &&
    grep -q '<dpiAware[^>]*>true</dpiAware>' "$scratch/manifest.xml" &&
    [ "$(grep -c '<supportedOS Id=' "$scratch/manifest.xml")" -eq 5 ] ||
    fail "$exe: the manifest lacks asInvoker, DPI awareness or the Windows versions"
  # The version block's strings are UTF-16: each name is followed by its value.
  local strings name
  strings="$(wrestool -x --raw --type=16 "$exe" | iconv -f UTF-16LE -t UTF-8 2>/dev/null |
    tr -c '[:print:]' '\n' | grep -v '^.\?$')"
  for name in FileVersion ProductVersion; do
    [ "$(grep -A1 -x "$name" <<<"$strings" | tail -n1)" = "$version" ] ||
      fail "$exe: $name is not $version"
  done
  grep -A1 -x ProductName <<<"$strings" | tail -n1 | grep -qx Quillfen ||
    fail "$exe: ProductName is not Quillfen"
}

for zip_arch in "win32 pei-i386" "win64 pei-x86-64"; do
  read -r name format <<<"$zip_arch"
  zip="dist/kestrune-$version-$name.zip"
  echo "== $zip"
  [ "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "LICENSE.txt README.txt help.html kestrune.exe " ] ||
    fail "$zip holds: $(unzip -Z1 "$zip" | tr '\n' ' ')"
  ok "$zip holds exactly kestrune.exe, help.html, LICENSE.txt and README.txt"
  rm -rf "$scratch/zip"
  unzip -q "$zip" -d "$scratch/zip"
  check_program "$scratch/zip/kestrune.exe" "$format"
  ok "$name kestrune.exe: $format GUI program, stripped, system DLLs only, icon, manifest, version $version"
  cmp -s docs/help.html "$scratch/zip/help.html" || fail "$zip: help.html differs"
  sed 's/$/\r/' LICENSE | cmp -s - "$scratch/zip/LICENSE.txt" || fail "$zip: LICENSE.txt"
  ! grep -q $'[^\r]$' "$scratch/zip/README.txt" && grep -q "^Quillfen $version" \
    "$scratch/zip/README.txt" || fail "$zip: README.txt lacks CR LF line ends or the version"
  ok "$name help page as shipped; LICENSE.txt and README.txt with Windows line ends"
done

# ---- The installer ------------------------------------------------------------------------------

setup="dist/kestrune-$version-setup.exe"
echo "== $setup"
headers="$(objdump -f -p "$setup")"
grep -q "file format pei-i386" <<<"$headers" && grep -Eq "^Subsystem[[:space:]]+00000002" <<<"$headers" ||
  fail "$setup is not a 32-bit GUI program"
grep -aq Nullsoft "$setup" || fail "$setup is not an NSIS installer"
ok "$setup: 32-bit NSIS installer"

# This kernel runs no 32-bit programs: the test installs the 64-bit variant, made from the same
# script, with the 64-bit program.
setup64="$out/kestrune-$version-setup-x64.exe"
echo "== $setup64 under Wine (the 64-bit variant of the installer)"
test_build=build-mingw-x86_64
cmake --no-warn-unused-cli -S . -B "$test_build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake \
  -DKESTRUNE_TESTS=ON >/dev/null
cmake --build "$test_build" -j"$(nproc)" --target kestrune_shell_verb >/dev/null
source tests/win32/wine_prefix.sh
cleanups+=(stop_wine)
start_wine "$scratch/wine" || fail "no display or prefix for Wine"
drive_c="$WINEPREFIX/drive_c"
installed="$drive_c/Program Files/Quillfen"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillfen'
start_menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
shortcuts=("$start_menu/Quillfen.lnk" "$start_menu/Quillfen (modern pages).lnk")

# What the prefix holds: its files (less the scratch folders Windows empties itself) and the
# machine's and the user's software keys.
snapshot() {  # snapshot NAME
  (cd "$drive_c" && find . -xdev ! -path './users/*/Temp*' ! -path './windows/temp*' | sort) \
    >"$scratch/$1.files"
  local hive
  for hive in HKLM HKCU; do
    wine reg export "$hive\\Software" "$(winpath "$scratch")\\$1.$hive.reg" /y >/dev/null 2>&1 ||
      fail "reg export $hive"
    iconv -f UTF-16LE -t UTF-8 "$scratch/$1.$hive.reg" >"$scratch/$1.$hive.txt"
  done
}

# A prefix that an earlier, interrupted or failed run left with anything of the program's starts
# anew.
verb_keys=()
for extension in .htm .html; do
  for verb in kestrune kestrune.modern kestrune.clean; do
    verb_keys+=("HKLM\\Software\\Classes\\SystemFileAssociations\\$extension\\shell\\$verb")
  done
done
leftovers() {
  local key
  [ -e "$installed" ] || [ -e "${shortcuts[0]}" ] || [ -e "${shortcuts[1]}" ] && return 0
  for key in "$uninstall_key" "${verb_keys[@]}"; do
    wine reg query "$key" >/dev/null 2>&1 && return 0
  done
  return 1
}
if leftovers; then
  stop_wine
  rm -f "$WINEPREFIX/.kestrune-ready"
  start_wine "$scratch/wine" || fail "no display or prefix for Wine"
fi
# Wine's services finish their own registry entries (network cards) a while after a prefix
# first starts: let them, so that the snapshots differ only by what the installer does.
wine reg query 'HKLM\Software' >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w
snapshot before
wine "$(winpath "$setup64")" /S || fail "the installer failed"
/usr/lib/wine/wineserver -w
for file in kestrune.exe help.html LICENSE.txt uninstall.exe; do
  [ -f "$installed/$file" ] || fail "not installed: $file"
done
cmp -s "$out/x86_64/stage/kestrune.exe" "$installed/kestrune.exe" || fail "another kestrune.exe"
cmp -s docs/help.html "$installed/help.html" || fail "another help.html"
ok "installed under Program Files: kestrune.exe, help.html, LICENSE.txt, uninstall.exe"

# A shortcut's arguments are a counted UTF-16 string: "--modern" is 8 characters (Wine counts
# the terminating zero too).
modern_arguments='[\x08\x09]\x00-\x00-\x00m\x00o\x00d\x00e\x00r\x00n\x00'
for shortcut in "${shortcuts[@]}"; do
  [ -f "$shortcut" ] && grep -aq 'kestrune\.exe' "$shortcut" ||
    fail "no Start-menu entry ${shortcut##*/} leading to kestrune.exe"
done
! LC_ALL=C grep -aqP "$modern_arguments" "${shortcuts[0]}" &&
  LC_ALL=C grep -aqP "$modern_arguments" "${shortcuts[1]}" ||
  fail "the Start-menu entries' arguments are not none and --modern"
ok "Start-menu entries Quillfen and Quillfen (modern pages) (--modern) lead to kestrune.exe"

reg_value() {  # reg_value KEY NAME: the value's data, or nothing
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z]* *//p"
}
[ "$(reg_value "$uninstall_key" DisplayName)" = Quillfen ] &&
  [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] &&
  [ "$(reg_value "$uninstall_key" UninstallString)" = '"C:\Program Files\Quillfen\uninstall.exe"' ] ||
  fail "the uninstall entry: $(wine reg query "$uninstall_key" 2>&1)"
ok "uninstall entry: Quillfen $version, its uninstaller"

# Each command on both extensions, run as Explorer runs it on a sheet in a folder whose name has
# a blank, must write the same slide show as the packaged Linux program with the same option.
for verb in "Make slide show:" "Make modern slide show:--modern"; do
  text="${verb%:*}" option="${verb#*:}"
  for sheet in index.html index.htm; do
    run="$scratch/verb${option}-${sheet##*.}"
    reference_run "$run/reference/sample pictures" "$sheet" $option
    # Were the styles alike, the modern command's comparison would prove nothing.
    [ -z "$option" ] ||
      ! diff -r "$scratch/verb-${sheet##*.}/reference" "$run/reference" >/dev/null ||
      fail "the packaged program wrote the same slide show with $option as without"
    work="$run/verb/sample pictures"
    mkdir -p "$(dirname "$work")"
    cp -r examples "$work"
    [ "$sheet" = index.html ] || mv "$work/index.html" "$work/$sheet"
    wine "$(winpath "$test_build/tests/win32/kestrune_shell_verb.exe")" "$text" \
      "$(winpath "$work/$sheet")" >"$scratch/verb.log" 2>&1 || {
      cat "$scratch/verb.log"
      fail "\"$text\" on $sheet failed"
    }
    grep -qF "command: \"C:\\Program Files\\Quillfen\\kestrune.exe\" ${option:+$option }\"Z:" \
      "$scratch/verb.log" || fail "the command line: $(cat "$scratch/verb.log")"
    diff -r "$run/reference" "$run/verb" >/dev/null ||
      fail "\"$text\" on $sheet wrote another slide show than the Linux program"
    ok "\"$text\" on ${sheet##*.}, run as Explorer runs it, wrote the slide show"
  done
done

# "Remove slide show" on the sheet of the first command's slide show leaves the sample as it was;
# its one box, answered as a user answers it, tells how many pages went.
work="$scratch/verb-html/verb/sample pictures"
wine "$(winpath "$test_build/tests/win32/kestrune_shell_verb.exe")" "Remove slide show" \
  "$(winpath "$work/index.html")" >"$scratch/verb.log" 2>&1 || {
  cat "$scratch/verb.log"
  fail "\"Remove slide show\" failed"
}
grep -qF "command: \"C:\\Program Files\\Quillfen\\kestrune.exe\" --clean \"Z:" "$scratch/verb.log" &&
  grep -qF "box: Quillfen: clean | 13 images: 27 pages removed, 0 kept, 0 refused, 0 not removed" \
    "$scratch/verb.log" || fail "the command line or its box: $(cat "$scratch/verb.log")"
diff -r examples "$work" >/dev/null || fail "\"Remove slide show\" left another folder than the sample"
ok "\"Remove slide show\", run as Explorer runs it, removed the slide show and nothing else"

snapshot installed
wine "C:\\Program Files\\Quillfen\\uninstall.exe" /S || fail "the uninstaller failed"
# The uninstaller runs on from a copy of itself in the temporary folder: wait for it.
/usr/lib/wine/wineserver -w
snapshot after
for what in files HKLM.txt HKCU.txt; do
  diff "$scratch/before.$what" "$scratch/after.$what" >"$scratch/left.diff" || {
    cat "$scratch/left.diff"
    fail "the uninstaller left $what behind"
  }
done
! diff -q "$scratch/before.HKLM.txt" "$scratch/installed.HKLM.txt" >/dev/null ||
  fail "the installed state's snapshot shows no keys: the comparison proves nothing"
ok "the uninstaller removed every file and key the installer made"

echo "$checks checks, 0 failed"
