#!/usr/bin/env bash
# check_units.sh SOURCE_DIR BIN_DIR: systemd-analyze accepts every packaged
# unit, and the service's exposure is at most 4.0. The units name the
# installed programs; here they are pointed at the built ones, so that the
# check runs before anything is installed.
set -euo pipefail
src=$1 bin=$2
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for unit in "$src"/packaging/systemd/*; do
  sed -e "s|/usr/bin/omb |$bin/cli/omb |" -e "s|/usr/bin/ombsvc |$bin/tools/ombsvc/ombsvc |" \
    -e "s|/usr/bin/ombctl |$bin/tools/ombctl/ombctl |" \
    "$unit" > "$work/$(basename "$unit")"
done
# The backup template reads its options from a file that the
# administrator writes; the check must not depend on one being there.
grep -q '^EnvironmentFile=/etc/omb/backup/%i.conf$' "$work/omb-backup@.service"
(cd "$work" && systemd-analyze verify --man=no ./ombsvc.service ./omb-backup@.service ./omb-backup@.timer \
  ./omb-archive-logs@.service ./omb-archive-logs@.timer)
# A unit pointing at a program that is not there must fail the check,
# or the check above proves nothing.
sed -e "s|^ExecStart=[^ ]*|ExecStart=$work/no-such-program|" "$work/ombsvc.service" > "$work/broken.service"
if (cd "$work" && systemd-analyze verify --man=no ./broken.service >/dev/null 2>&1); then
  echo "systemd-analyze verify accepted a unit without its program"; exit 1
fi
report=$(systemd-analyze security --offline=true --threshold=40 "$work/ombsvc.service" 2>&1) || {
  echo "$report" | tail -30; echo "exposure of ombsvc.service above 4.0"; exit 1; }
echo "$report" | grep 'Overall exposure level'
