#!/usr/bin/env bash
# Kills `teravox2-cli set add` at random moments, runs pairs of them at once, and saves on a nearly full
# disk, then counts what is left: the figures behind the set's whole-or-nothing saves and its lock.
#   scripts/probe-durability.sh [CLI] [KILLS] [PAIRS]      (the full-disk part needs root for a tmpfs)
set -uo pipefail
CLI=${1:-build/dev/cli/teravox2-cli}
KILLS=${2:-200}
PAIRS=${3:-100}
CLI=$(readlink -f "$CLI")
work=$(mktemp -d)
trap 'umount "$work/small" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"

"$CLI" cable create l.cbl --name L --segment R1:1-48:1 >/dev/null
for i in $(seq 1 45); do "$CLI" generate --cable l.cbl --array dd --spacing 1 --levels 1-6 --name "S$i" -o "s$i.sqx" >/dev/null; done
base=(s41.sqx s42.sqx s43.sqx s44.sqx s45.sqx)
add=(); for i in $(seq 1 40); do add+=("s$i.sqx"); done
"$CLI" set add base "${base[@]}" >/dev/null
"$CLI" set comment base "before" >/dev/null

count() { "$CLI" set show "$1" --json 2>/dev/null | grep -c '"name"'; }

# One save's duration, so the kills spread over all of it.
rm -rf t; cp -a base t
start=$(date +%s%N); "$CLI" set add t "${add[@]}" >/dev/null; took=$(( ($(date +%s%N) - start) / 1000 ))
echo "one set add of 40 sequences: ${took} us"

mixes=0; killed=0; old=0; new=0
for k in $(seq 1 "$KILLS"); do
  rm -rf t; cp -a base t
  "$CLI" set add t "${add[@]}" >/dev/null 2>&1 &
  pid=$!
  sleep "$(awk -v m="$took" -v r="$RANDOM" 'BEGIN{printf "%.6f", m*1.2*r/32767/1e6}')"
  kill -9 "$pid" 2>/dev/null && killed=$((killed+1))
  wait "$pid" 2>/dev/null
  n=$(count t)
  case "$n" in 5) old=$((old+1));; 45) new=$((new+1));; *) mixes=$((mixes+1)); echo "mix: $n sequences after kill $k";; esac
done
echo "kills during set add: $KILLS runs, $killed killed; old set $old, new set $new, mixes $mixes"

# Pairs at once: each adds 20 others; both land, or one says the set is busy.
pairmix=0; both=0; busy=0
for p in $(seq 1 "$PAIRS"); do
  rm -rf t; cp -a base t
  "$CLI" set add t "${add[@]:0:20}" >/dev/null 2>e1 & a=$!
  "$CLI" set add t "${add[@]:20:20}" >/dev/null 2>e2 & b=$!
  wait $a; ra=$?; wait $b; rb=$?
  want=$(( 5 + (ra == 0 ? 20 : 0) + (rb == 0 ? 20 : 0) ))
  n=$(count t)
  [ "$n" = "$want" ] || { pairmix=$((pairmix+1)); echo "pair $p: $n sequences, expected $want"; }
  [ $ra = 0 ] && [ $rb = 0 ] && both=$((both+1))
  if [ $ra != 0 ] || [ $rb != 0 ]; then busy=$((busy+1)); cat e1 e2 | head -1; fi
done
echo "pairs of set add at once: $PAIRS pairs; both saved $both, one refused $busy, mixes or losses $pairmix"

# A nearly full disk: 8 MB holding a set of 5 (1.1 MB); twenty adds of 10 sequences (2.3 MB each) killed
# at random moments, then one add that must succeed. An add that was not killed is taken back.
mkdir small
if mount -t tmpfs -o size=8m tmpfs small 2>/dev/null; then
  cp -a base small/set
  ten=("${add[@]:0:10}"); names=(); for i in $(seq 1 10); do names+=("S$i"); done
  kills=0; most=0; least=99999999
  while [ $kills -lt 20 ]; do
    "$CLI" set add small/set "${ten[@]}" >/dev/null 2>&1 &
    pid=$!
    sleep "$(awk -v m="$took" -v r="$RANDOM" 'BEGIN{printf "%.6f", m*0.5*r/32767/1e6}')"
    if kill -9 "$pid" 2>/dev/null; then kills=$((kills+1)); fi
    wait "$pid" 2>/dev/null
    left=$(ls -A small/set | grep -c '~[to]'); [ "$left" -gt "$most" ] && most=$left
    free=$(df -k small | awk 'NR==2{print $4}'); [ "$free" -lt "$least" ] && least=$free
    [ "$(count small/set)" = 15 ] && "$CLI" set remove small/set "${names[@]}" >/dev/null
  done
  echo "nearly full disk: at most $most hidden leftovers and $least KB free just after a kill; $(ls -A small/set | grep -c '~[to]') leftovers, $(df -k small | awk 'NR==2{print $4}') KB free after 20 kills"
  if "$CLI" set add small/set "${ten[@]}" >/dev/null; then
    echo "nearly full disk: the save after the kills succeeded ($(count small/set) sequences, $(ls -A small/set | grep -c '~[to]') leftovers)"
  else
    echo "nearly full disk: the save after the kills FAILED"
  fi
else
  echo "nearly full disk: skipped (no tmpfs without root)"
fi
