#!/usr/bin/env bash
# check-packages.sh DIR: installs the packages of DIR with apt-get, runs
# the installed programs, checks the installed systemd units, removes the
# packages and checks that nothing of them is left but the state
# directory, which purge removes. Needs root; changes this machine's /usr.
set -euo pipefail
dir=${1:-build-pkg}
packages=(omb omb-console dominosim)
state=/var/lib/omb
[ ! -e "$state" ] || { echo "$state exists before the packages are installed"; exit 1; }
trap 'DEBIAN_FRONTEND=noninteractive apt-get purge -y "${packages[@]}" >/dev/null 2>&1 || true' EXIT

DEBIAN_FRONTEND=noninteractive apt-get install -y "./$dir"/*.deb >/dev/null
listed=$(mktemp)
for p in "${packages[@]}"; do dpkg -L "$p"; done | sort -u > "$listed"

export OMB_CLOSE_DELAY=0
echo "== omb -h";            omb -h 2>&1 | sed -n 2,4p
echo "== ombctl --version";  ombctl --version
echo "== ombsvc --help";     ombsvc --help
# The machine the packaged units work on: the state directory, made here
# as the service's first start would.
export OMB_MACHINE=$state/machine
mkdir -p "$state"
dominosim init --servers 2 >/dev/null
echo "== ombctl servers --json"
if grep -q '^  servers ' <<<"$(ombctl --help)"; then ombctl servers --json; else ombctl version; fi
echo "== systemd-analyze verify (installed units)"
systemd-analyze verify /usr/lib/systemd/system/ombsvc.service \
  /usr/lib/systemd/system/omb-backup@.service /usr/lib/systemd/system/omb-backup@.timer
systemd-analyze security --offline=true --threshold=40 /usr/lib/systemd/system/ombsvc.service |
  grep 'Overall exposure'
echo "== man pages"
for page in omb ombctl ombsvc dominosim omb-console; do man -w "$page" >/dev/null; done

DEBIAN_FRONTEND=noninteractive apt-get remove -y "${packages[@]}" >/dev/null
left=0
while read -r path; do
  # Folders the system owns (/usr/bin, ...) stay; the packages' files go.
  if [ -e "$path" ] && [ ! -d "$path" ]; then echo "left after remove: $path"; left=1; fi
done < "$listed"
for p in "${packages[@]}"; do
  if [ -d "/usr/share/doc/$p" ]; then echo "left after remove: /usr/share/doc/$p"; left=1; fi
done
[ -d "$state/machine" ] || { echo "remove took the state directory"; left=1; }
DEBIAN_FRONTEND=noninteractive apt-get purge -y "${packages[@]}" >/dev/null
[ ! -e "$state" ] || { echo "purge left $state"; left=1; }
rm -f "$listed"
[ "$left" -eq 0 ] && echo "packages installed, used, removed and purged cleanly"
exit "$left"
