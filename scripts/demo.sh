#!/usr/bin/env bash
# The main job on a demo machine: builds omb, ombctl and dominosim, makes a
# freshly installed Domino machine with two servers in ./demo-machine,
# configures it (data and log directories onto virtual disks, the Vaultinfo
# directory), writes documents, backs both servers up twice, damages a
# database and restores it up to the minute, showing the documents before
# and after.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMB_TEST_HOOKS=ON -DOMB_TESTS=OFF -DOMB_BENCH=OFF

export OMB_MACHINE="$PWD/demo-machine"
export OMB_CLOSE_DELAY=0
omb=build-demo/cli/omb
ctl=build-demo/tools/ombctl/ombctl
sim=build-demo/tools/dominosim/dominosim
rm -rf "$OMB_MACHINE"

step() { printf '\n=== %s\n' "$*"; }

step "A freshly installed machine: two Domino servers with everything on C:"
$sim init --servers 2 --fresh
$sim info

step "ombctl configure: data and logs of both servers onto virtual disks"
$ctl configure --data 1=E: --log 1=F: --data 2=G: --log 2=H: --vaultinfo 'V:\vaultinfo'
$sim info

step "Documents written by the running servers"
$sim write --server 1 --db mail/mail1.nsf --docs 400
$sim write --server 2 --db mail/mail1.nsf --docs 400

step "omb --backup=1:2 --del=10"
$omb --backup=1:2 --del=10

step "More documents, a second backup, and more documents after it"
$sim write --server 1 --db mail/mail1.nsf --docs 3000
sleep 1  # snapshot time/date names carry seconds
$omb --backup=1:2 --del=10
$sim write --server 1 --db mail/mail1.nsf --docs 500
$sim write --server 1 --db mail/user1.nsf --docs 200
$sim checksum --server 1 | tee "$OMB_MACHINE/before.txt"

step "A failed disk damages mail/mail1.nsf of server 1"
$sim damage --server 1 --db mail/mail1.nsf
$sim checksum --server 1

step "omb --restore=1 --snapshot=1 (up to the minute from the most recent snapshot)"
$omb --restore=1 --snapshot=1
$sim checksum --server 1 | tee "$OMB_MACHINE/after.txt"

step "Documents before the damage and after the restore"
if diff "$OMB_MACHINE/before.txt" "$OMB_MACHINE/after.txt"; then
  echo "Every document is back."
else
  echo "The restored documents differ." >&2
  exit 1
fi

step "The reports"
find "$OMB_MACHINE/drives/C/temp" -type f | sort
latest=$(ls -t "$OMB_MACHINE"/drives/C/temp/Restore/* | head -1)
echo "--- $latest"
tr -d '\r' < "$latest"
