# Wine for the Windows tests, sourced by scripts/test-windows.sh and the package checks: the
# 64-bit loader in a prefix of its own inside the x86-64 build folder, on a virtual display.
#
#   start_wine FOLDER   starts a display (its files in FOLDER) and makes the prefix if need be;
#                       stop_wine must follow, however the run ends (a trap)
#   stop_wine           ends Wine's server and the display
#   wine ARGS...        runs a Windows program under a time limit
#   wine_utf8 ARGS...   the same under a UTF-8 locale, where Wine stores every name in Unicode
#   winpath FILE        the name Windows programs know FILE by (drive Z: is the root folder)

source "$(dirname "${BASH_SOURCE[0]}")/../xvfb_display.sh"

export WINEPREFIX="$PWD/build-mingw-x86_64/wine-prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
WINE_LOCALES=""

# Debian's wine script would pick the 32-bit loader; a hung program must not hang the tests.
# Bytes above 0x7F in names pass unchanged only under a single-byte locale (made below).
wine() {
  LOCPATH="$WINE_LOCALES" LC_ALL=en_US.CP1252 timeout 300 /usr/lib/wine/wine64 "$@"
}

# Names outside the single-byte locale's code page are stored only under a UTF-8 one.
wine_utf8() {
  LC_ALL=C.UTF-8 timeout 300 /usr/lib/wine/wine64 "$@"
}

winpath() { printf 'Z:%s' "$(realpath -e "$1" | tr / '\\')"; }

start_wine() {
  local folder="$1"
  mkdir -p "$folder"
  start_display "$folder" || return 1
  WINE_LOCALES="$(realpath "$folder")/locale"
  if [ ! -d "$WINE_LOCALES/en_US.CP1252" ]; then
    mkdir -p "$WINE_LOCALES"
    localedef -i en_US -f CP1252 "$WINE_LOCALES/en_US.CP1252" 2>/dev/null ||
      [ -d "$WINE_LOCALES/en_US.CP1252" ] || {
      echo "localedef could not make a CP1252 locale" >&2
      return 1
    }
  fi
  if [ ! -f "$WINEPREFIX/.kestrune-ready" ]; then
    rm -rf "$WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1
    # Unmanaged windows: without a window manager Wine would wait for every window it hides.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    touch "$WINEPREFIX/.kestrune-ready"
  fi
}

stop_wine() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  stop_display
}
