# shellcheck shell=bash disable=SC2154  # version, deb, out and scratch come from test-package.sh
# The zips, sourced by scripts/test-package.sh after common.sh ($version): exactly the files
# named, the programs PE GUI executables for their architecture, stripped, needing only system
# DLLs, with icon, manifest and version resources.

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
