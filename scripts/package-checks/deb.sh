# shellcheck shell=bash disable=SC2154  # version, deb, out and scratch come from test-package.sh
# The Debian package, sourced by scripts/test-package.sh after common.sh ($deb, $version): lintian,
# its files, their owners and modes, its control fields, checksums and changelog; then, as root,
# installed with apt-get into a scratch Debian 12 system (mmdebstrap), where the installed program
# runs headless on the sample, man finds its page, both desktop entries validate and their
# commands write the slide show, and a purge leaves none of its files behind.

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
./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/kestrune/kestrune-photos.so -rw-r--r-- root/root
./usr/share/applications/kestrune-folder.desktop -rw-r--r-- root/root
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
