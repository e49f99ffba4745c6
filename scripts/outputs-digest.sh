#!/usr/bin/env bash
# Runs a fixed list of commands with one teravox2-cli and prints a digest of everything they wrote
# (stdout, stderr, files, the images an instrument stored), one line per item. Two builds whose
# digests are the same behave the same on this list: the check for a change that must not change
# behaviour. Usage: scripts/outputs-digest.sh path/to/teravox2-cli > digest.txt
set -uo pipefail
cli=$(realpath "$1")
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
export TERAVOX_HOME="$work/home" LC_ALL=C
mkdir -p home out
n=0
run() {  # run NAME ARGS...: keep stdout, stderr and the exit status
  n=$((n + 1))
  "$cli" "${@:2}" >"out/$1.stdout" 2>"out/$1.stderr"
  echo $? >"out/$1.status"
}
run cable cable create c.cbl --name Line48 --segment S1:1-24:5 --segment S2:25-48:5:rev
run cableshow cable show c.cbl --json
for a in dd pd pp wenner ws; do
  run gen-$a generate --cable c.cbl --array $a --spacing 5 --levels 1-8 --name ${a^^}1 -o $a.sqx
  run show-$a show $a.sqx --json
done
run gen-dd3 generate --cable c.cbl --array dd --spacing 2.5 --levels 1-6 --spacing2 2 --levels2 1-4 \
  --spacing3 3 --levels3 1-3 --name DDk --time 250 --stack 2:6 --mode ip -o dd3.sqx
run gen-mg generate --cable c.cbl --array mg --spacing 5 --separations 1-6 --name MG1 -o mg.sqx
run gen-grad generate --cable c.cbl --array gradient --spacing 5 --electrodes 32 --name GR1 -o grad.sqx
run show-mg show mg.sqx --json
run show-grad show grad.sqx --json
run roll generate --roll-along dd.sqx --name DD2 -o roll.sqx
run move generate --move-along dd.sqx --start-x 60 --name DD3 -o move.sqx
run recip reciprocal dd3.sqx -o recip.sqx
run order order recip.sqx -o order.sqx --ip --window 4
run orderc order recip.sqx -o orderc.sqx --channels 8
run plan plan recip.sqx --channels 8 --json
run check1 check --family 1 dd.sqx pd.sqx mg.sqx
run check2 check --family 2 dd.sqx pd.sqx mg.sqx
run res resolution ws.sqx --json
mkdir -p ss pel py pr
run ss export spreadsheet dd.sqx ws.sqx --to ss --separator tab
run pel export pelmar dd.sqx ws.sqx --to pel
run py export pygimli dd3.sqx --to py
run pr export protocol dd3.sqx --to pr
run imp-py import py/DDk.ohm -o imp-py.sqx
run set-add set add set1 dd.sqx ws.sqx mg.sqx
run set-comment set comment set1 "A comment"
run set-show set show set1 --json
# Uploads to the virtual instruments; each stores the images it received.
for fam in 1 2; do
  mkdir -p store$fam
  "$cli" simulate --family $fam --store store$fam >sim$fam.out 2>&1 &
  pid=$!
  for _ in $(seq 100); do grep -q 'ready on' sim$fam.out && break; sleep 0.05; done
  dev=$(sed -n 's/.*ready on \(\S*\).*/\1/p' sim$fam.out)
  run upload$fam upload --family $fam --device "$dev" dd.sqx ws.sqx
  kill $pid; wait $pid 2>/dev/null
done
# The results: every file written, by its path, then the digest; messages name the work folder.
sed -i "s|$work|WORK|g" out/*
find . -type f ! -name 'sim*.out' ! -path './home/.*' | LC_ALL=C sort | while read -r f; do
  printf '%s  %s\n' "$(sha256sum <"$f" | cut -c1-16)" "$f"
done | sed "s|$work|WORK|g"
