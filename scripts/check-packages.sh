#!/usr/bin/env bash
# check-packages.sh DIR: installs the packages of DIR with apt-get, runs
# the installed programs, checks the installed systemd units, removes the
# packages and checks that nothing of them is left but the state
# directory, which purge removes. Needs root; changes this machine's /usr.
set -euo pipefail
dir=${1:-build-pkg}
packages=(omb omb-console dominosim)
state=/var/lib/omb
# A machine root that a run left in the default place before is kept
# aside, so that the check sees only what the packages do, and put back.
saved=""
if [ -e "$state" ]; then saved=$(mktemp -d); mv "$state" "$saved/omb"; fi
cleanup() {
  dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
  if [ -n "$saved" ]; then rm -rf "$state"; mv "$saved/omb" "$state"; rmdir "$saved"; fi
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive apt-get install -y "./$dir"/*.deb >/dev/null
listed=$(mktemp)
for p in "${packages[@]}"; do dpkg -L "$p"; done | sort -u > "$listed"

# The machine the packaged units work on: the state directory, made here
# as the service's first start would, with two simulated servers.
export OMB_MACHINE=$state/machine OMB_CLOSE_DELAY=0
mkdir -p "$state"
dominosim init --servers 2 >/dev/null
echo "== omb -h";            omb -h 2>&1 | sed -n 1,3p
echo "== ombctl --version";  ombctl --version
echo "== ombsvc --help";     ombsvc --help
echo "== ombctl servers --json"
servers_json=$(mktemp)
ombctl servers --json > "$servers_json"
# A second JSON implementation reads the document back: it must follow its
# schema and name the two servers just made, in partition order.
python3 - "$servers_json" "$(dirname "$0")/../docs/schema/servers.json" <<'PY'
import json, sys, jsonschema
document = json.load(open(sys.argv[1]))
jsonschema.validate(document, json.load(open(sys.argv[2])))
servers = document["servers"]
assert [s["partition"] for s in servers] == [1, 2], servers
assert all(s["name"] for s in servers), servers
print("servers:", ", ".join(s["name"] for s in servers))
PY
rm -f "$servers_json"
echo "== bash completion"
completion=/usr/share/bash-completion/completions/ombctl
[ -f "$completion" ] || { echo "no bash completion at $completion"; exit 1; }
bash -c "source $completion && complete -p ombctl"
echo "== systemd-analyze verify (installed units)"
mapfile -t units < <(grep -E '^/usr/lib/systemd/system/[^/]+\.(service|timer)$' "$listed")
printf '%s\n' "${units[@]}" | grep -qx /usr/lib/systemd/system/ombsvc.service ||
  { echo "ombsvc.service is not installed"; exit 1; }
systemd-analyze verify "${units[@]}"
printf '%s\n' "${units[@]}" | grep -qx '/usr/lib/systemd/system/omb-archive-logs@.timer' ||
  { echo "omb-archive-logs@.timer is not installed"; exit 1; }
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
dpkg --purge "${packages[@]}" >/dev/null 2>&1
[ ! -e "$state" ] || { echo "purge left $state"; left=1; }
rm -f "$listed"
[ "$left" -eq 0 ] && echo "packages installed, used, removed and purged cleanly"
exit "$left"
