#!/usr/bin/env bash
# Screenshots of the console for docs/images/: builds the console, makes a
# demo machine with two Domino servers, snapshots and reports, starts an X
# server of its own (Xvfb) and has omb-console-tour open every tab, wizard
# page and dialog on it and save what the screen shows; the configuration
# wizard walks a freshly installed machine of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
# OMB_SHOTS_BUILD names a build folder that already holds the programs.
bin=${OMB_SHOTS_BUILD:-build-shots}
if [ -z "${OMB_SHOTS_BUILD:-}" ]; then
  scripts/setup.sh
  scripts/build.sh "$bin" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMB_TESTS=OFF -DOMB_BENCH=OFF
fi
sim=$bin/tools/dominosim/dominosim
omb=$bin/cli/omb
out="$PWD/docs/images"
export OMB_MACHINE
OMB_MACHINE="$(mktemp -d /tmp/omb-shots-XXXXXX)"
export OMB_CLOSE_DELAY=0
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$OMB_MACHINE" "${fresh:-}"
}
trap cleanup EXIT

# The configuration wizard first, on a machine as installed before any
# configuration, in a root of its own.
fresh="$(mktemp -d /tmp/omb-shots-fresh-XXXXXX)"
rmdir "$fresh"
OMB_MACHINE="$fresh" $sim init --servers 2 --fresh --computer DOMSRV01 >/dev/null

# Two servers, documents, two backups a second apart and a restore: the
# tabs then show servers, snapshots and reports of every kind.
rmdir "$OMB_MACHINE"
$sim init --servers 2 --computer DOMSRV01 >/dev/null
$sim write --server 1 --db mail/mail1.nsf --docs 400 >/dev/null
$sim write --server 2 --db mail/mail1.nsf --docs 200 >/dev/null
$omb --backup=1:2 --del=10 >/dev/null
sleep 1
$sim write --server 1 --db mail/mail1.nsf --docs 300 >/dev/null
$omb --backup=1:2 --del=1 >/dev/null
sleep 1
$omb --restore=2 --snapshot=1 --nr >/dev/null

# The manual goes where the console looks for it: beside the program.
help_dir="$OMB_MACHINE/drives/C/Program Files/Ombrel"
mkdir -p "$help_dir"
cp "docs/manual/Ombrel for Lotus Domino Help.html" "$help_dir/"

# An X server on a display number it chooses itself.
exec 3< <(Xvfb -displayfd 1 -screen 0 1280x900x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xvfb_pid <&3
read -r display <&3
export DISPLAY=":$display"
unset QT_QPA_PLATFORM

mkdir -p "$out"
OMB_MACHINE="$fresh" $bin/console/omb-console-tour "$out" configuration
$bin/console/omb-console-tour "$out"
echo "screenshots in $out"
