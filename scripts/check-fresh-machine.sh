#!/usr/bin/env bash
# Checks the README's two commands as a new user meets them: on a fresh Debian 12 system with
# nothing installed beyond its minimal base, as root, with the clone under /root/ (mode 0700).
#
#   sudo bash scripts/check-fresh-machine.sh [ROOT [RUNS]]
#
# Makes the system in ROOT (default /var/tmp/kestrune-fresh, made anew) with mmdebstrap, clones
# this repository's HEAD to /root/kestrune in it, then runs scripts/run-sample.sh and
# scripts/test.sh there RUNS times in a row (default 3), timing each; the first run installs
# everything. Logs go to ROOT.log/. Needs root, mmdebstrap and the Debian mirror.
set -euo pipefail
cd "$(dirname "$0")/.."

root="${1:-/var/tmp/kestrune-fresh}"
runs="${2:-3}"
logs="$root.log"
[ "$(id -u)" -eq 0 ] || { echo "check-fresh-machine.sh: run it as root" >&2; exit 2; }
command -v mmdebstrap >/dev/null || scripts/install-deps.sh fresh

unmount() {
  for place in dev sys proc; do umount -R "$root/$place" 2>/dev/null || true; done
}
trap unmount EXIT
unmount
rm -rf "$root" "$logs"
mkdir -p "$logs"

mirror=http://deb.debian.org/debian
mmdebstrap --variant=minbase bookworm "$root" \
  "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
  "deb http://deb.debian.org/debian-security bookworm-security main" >"$logs/mmdebstrap.log" 2>&1
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"
mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
chmod 700 "$root/root"
git clone -q "$PWD" "$root/root/kestrune"

# Where this machine reaches HTTPS through a proxy with an authority of its own (Node.js is told
# of it in NODE_EXTRA_CA_CERTS), the fresh system gets the same file and the same setting, so its
# npm reaches the registry as this machine's does; the system's own certificates stay as installed.
extra_ca=()
if [ -n "${NODE_EXTRA_CA_CERTS:-}" ] && [ -r "$NODE_EXTRA_CA_CERTS" ]; then
  cp "$NODE_EXTRA_CA_CERTS" "$root/etc/host-extra-ca.crt"
  extra_ca=(NODE_EXTRA_CA_CERTS=/etc/host-extra-ca.crt)
fi

inside() {  # a login-like environment in the fresh system
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    "${extra_ca[@]}" bash -c "cd /root/kestrune && $1"
}

status=0
for run in $(seq "$runs"); do
  for command in run-sample test; do
    start=$SECONDS
    result=passed
    inside "bash scripts/$command.sh" >"$logs/$command-$run.log" 2>&1 || { result=FAILED; status=1; }
    printf 'run %d  %-10s %5ds  %s\n' "$run" "$command" $((SECONDS - start)) "$result" |
      tee -a "$logs/summary"
  done
done
exit "$status"
