# shellcheck shell=bash disable=SC2154  # version, deb, out and scratch come from test-package.sh
# The installer, sourced by scripts/test-package.sh after common.sh ($version): the 32-bit one a
# PE32 program; its 64-bit variant, from the same script, run silently under Wine in the Windows
# tests' prefix: files, both Start-menu entries, uninstall entry, the "Make slide show", "Make
# modern slide show" and "Remove slide show" commands run as Explorer runs them on sheets, the
# first two on a tree of folders too, and an uninstaller that removes every file and key the
# installer made.

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
for verb in kestrune kestrune.modern; do  # on folders
  verb_keys+=("HKLM\\Software\\Classes\\Directory\\shell\\$verb")
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

# Each folder command, its command line read from the prefix's registry (Directory\shell) and
# run as Explorer runs it on a tree of albums whose top's name has a blank (photos of its own, an
# album, an album of albums), must make the galleries the packaged Linux program makes with the
# same option: the same files, the pages byte for byte, and thumbnails and copies with the same
# marks and pictures (their bytes come from another codec).
tree=(boats.jpg gulls.gif beach/dunes.png 2024/harbour/harbour.jpg)
same_gallery() {  # same_gallery FOLDER FOLDER: each holds the galleries of "holiday photos"
  [ "$(cd "$1" && find . | sort)" = "$(cd "$2" && find . | sort)" ] &&
    diff -r -x '*_t.jpg' -x kestrune-copies "$1" "$2" >/dev/null &&
    /usr/bin/python3 tests/win32/same_thumbnails.py "$1" "$2" >"$scratch/thumbnails.log"
}
for verb in "Make slide show:" "Make modern slide show:--modern"; do
  text="${verb%:*}" option="${verb#*:}"
  run="$scratch/folder-verb${option}"
  for copy in reference verb; do
    for photo in "${tree[@]}"; do
      mkdir -p "$run/$copy/holiday photos/$(dirname "$photo")"
      cp "examples/${photo##*/}" "$run/$copy/holiday photos/$photo"
    done
    # Whole seconds, which both systems keep exactly: the thumbnails' marks hold them.
    find "$run/$copy" -type f -exec touch -d @1700000000 {} +
  done
  (cd "$run/reference" && DISPLAY= "$linux_program" $option "holiday photos" 2>/dev/null) ||
    fail "the packaged program failed on a tree of photos"
  [ -z "$option" ] || ! same_gallery "$scratch/folder-verb/reference" "$run/reference" ||
    fail "the packaged program made the same galleries with $option as without"
  wine "$(winpath "$test_build/tests/win32/kestrune_shell_verb.exe")" "$text" \
    "$(winpath "$run/verb/holiday photos")" >"$scratch/verb.log" 2>&1 || {
    cat "$scratch/verb.log"
    fail "\"$text\" on a folder failed"
  }
  grep -qF "command: \"C:\\Program Files\\Quillfen\\kestrune.exe\" ${option:+$option }\"Z:" \
    "$scratch/verb.log" || fail "the folder command line: $(cat "$scratch/verb.log")"
  same_gallery "$run/reference" "$run/verb" || {
    diff -rq -x '*_t.jpg' -x kestrune-copies "$run/reference" "$run/verb" | head -n 5
    cat "$scratch/thumbnails.log" 2>/dev/null
    fail "\"$text\" on a folder made other galleries than the Linux program"
  }
  ok "\"$text\" on a tree of folders, run as Explorer runs it, made its galleries${option:+ (modern)}"
done

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
