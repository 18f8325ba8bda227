#!/bin/sh
# How close the query tool's precise figure comes to the truth, quiet and under load, beside
# ntpdig and chronyd -Q. Run by hand, never by the test command (it takes a minute or two and
# its figures depend on the machine):
#
#   build/bin/precision-under-load.sh            (the build copies it beside the tool)
#   benchmarks/precision-under-load.sh [BUILD]   (BUILD: the build folder, default build)
#
# chronyd serves this machine's own clock on 127.0.0.1 (a free port; for ntpdig, which can ask
# no other port, also port 123 when this runs as root and the port is free), never touching the
# clock (-x), from a configuration in a folder of its own: the true offset is 0, so each figure
# is the error itself. Each tool is asked QUERIES times (tempomere-query precise, with -b 8, its
# millisecond figure, ntpdig, chronyd -Q with 6 samples a run), first on a quiet machine, then
# with two busy processes per core... two in all, as the benchmark is written for a 2-core
# machine; BUSY overrides the count. Each table gives the median, the 95th percentile and the
# maximum of |error| in microseconds, with the load average (1 minute) when the phase ended.
#
# Environment: CHRONYD (default: BUILD/chrony/usr/sbin/chronyd, else chronyd on PATH),
# QUERIES (40), BUSY (2), SETTLE (seconds the load runs before measuring, 20).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
if [ -x "$here/tempomere-query" ]; then
  tool=$here/tempomere-query
  build=$here/..
else
  build=${1:-build}
  tool=$build/bin/tempomere-query
fi
[ -x "$tool" ] || { echo "no query tool at $tool: build the tempomere-query target" >&2; exit 2; }
chronyd=${CHRONYD:-$build/chrony/usr/sbin/chronyd}
[ -x "$chronyd" ] || chronyd=$(command -v chronyd || true)
[ -n "$chronyd" ] && [ -x "$chronyd" ] ||
  { echo "no chronyd: scripts/install-deps.sh --tests unpacks it into the build" >&2; exit 2; }
queries=${QUERIES:-40}
busy=${BUSY:-2}
settle=${SETTLE:-20}
python=/usr/bin/python3

dir=$(mktemp -d)
server_pids=
load_pids=
# Whatever happens, the servers and the busy processes stop and the folder goes.
cleanup() {
  for pid in $load_pids $server_pids; do kill "$pid" 2>/dev/null || true; done
  for pid in $load_pids $server_pids; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

free_udp_port() {
  $python -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

user_option() {
  if [ "$(id -u)" -eq 0 ]; then echo "-u root"; else echo "-U"; fi
}

# start_server NAME PORT: chronyd serving this machine's clock at stratum 3 on 127.0.0.1:PORT.
start_server() {
  cat >"$dir/$1.conf" <<EOF
port $2
bindaddress 127.0.0.1
cmdport 0
local stratum 3
allow 127.0.0.1
pidfile $dir/$1.pid
EOF
  # shellcheck disable=SC2046
  "$chronyd" -f "$dir/$1.conf" -x -d $(user_option) >"$dir/$1.log" 2>&1 &
  server_pids="$server_pids $!"
  # Up to ten seconds to answer.
  for _ in $(seq 50); do
    "$tool" -t 200 -p "$2" 127.0.0.1 >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "chronyd on port $2 never answered:" >&2
  cat "$dir/$1.log" >&2
  exit 2
}

port=$(free_udp_port)
start_server main "$port"
ntpdig=$(command -v ntpdig || true)
if [ -n "$ntpdig" ]; then
  if [ "$(id -u)" -eq 0 ] && ! "$tool" -t 200 127.0.0.1 >/dev/null 2>&1; then
    start_server port123 123
  else
    echo "ntpdig asks port 123 only, and this benchmark cannot serve there: left out" >&2
    ntpdig=
  fi
fi

# Each measurement writes one error in seconds a line to its file.
measure_tool() {  # FILE FIELD [OPTIONS...]: QUERIES samples of the tool, FIELD of each
  file=$1 field=$2
  shift 2
  "$tool" --json -c "$queries" -i 0.05 -t 1000 -p "$port" "$@" 127.0.0.1 |
    $python -c 'import json, sys
for s in json.load(sys.stdin)["hosts"][0]["samples"]:
    if s["valid"]: print(s[sys.argv[1]])' "$field" >"$file"
}

measure_ntpdig() {
  : >"$1"
  for _ in $(seq "$queries"); do
    "$ntpdig" -j -t 1 127.0.0.1 2>/dev/null |
      $python -c 'import json, sys; print(json.load(sys.stdin)["offset"])' >>"$1" || true
  done
}

measure_chronyd() {
  : >"$1"
  for _ in $(seq "$queries"); do
    # shellcheck disable=SC2046
    "$chronyd" -Q $(user_option) "server 127.0.0.1 port $port minpoll -6 maxpoll -6 maxsamples 6" \
      "pidfile $dir/q.pid" "cmdport 0" 2>&1 |
      sed -n 's/.*System clock wrong by \([-0-9.e+]*\) seconds.*/\1/p' >>"$1" || true
  done
}

# table TITLE: the phase's table from the files its measurements wrote.
table() {
  load=$(cut -d' ' -f1 /proc/loadavg)
  echo
  echo "$1 ($(nproc) cores, load average $load, $queries queries each)"
  $python - "$dir" "$ntpdig" <<'EOF'
import math, os, sys
folder, ntpdig = sys.argv[1], sys.argv[2]
rows = [("tempomere-query precise figure", "precise"),
        ("tempomere-query precise, -b 8", "burst"),
        ("tempomere-query millisecond figure", "millisecond"),
        ("ntpdig (ntpsec-ntpdig)", "ntpdig"),
        ("chronyd -Q (6 samples each)", "chronyd")]
print("| tool | median error | 95th percentile | max | n |")
print("|---|---|---|---|---|")
for title, name in rows:
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        continue
    errors = sorted(abs(float(line)) * 1e6 for line in open(path) if line.strip())
    if not errors:
        print(f"| {title} | no answer | | | 0 |")
        continue
    def at(q):  # nearest rank
        return errors[min(len(errors) - 1, max(0, math.ceil(q * len(errors)) - 1))]
    median = (errors[(len(errors) - 1) // 2] + errors[len(errors) // 2]) / 2
    def us(v):  # one decimal where whole microseconds would hide the difference
        return f"{v:.1f} µs" if v < 10 else f"{v:,.0f} µs"
    print(f"| {title} | {us(median)} | {us(at(0.95))} | {us(errors[-1])} | {len(errors)} |")
EOF
}

run_phase() {
  rm -f "$dir/precise" "$dir/burst" "$dir/millisecond" "$dir/ntpdig" "$dir/chronyd"
  measure_tool "$dir/precise" preciseComputerError
  measure_tool "$dir/burst" preciseComputerError -b 8
  measure_tool "$dir/millisecond" computerError
  [ -z "$ntpdig" ] || measure_ntpdig "$dir/ntpdig"
  measure_chronyd "$dir/chronyd"
  table "$1"
}

run_phase "Quiet"

for _ in $(seq "$busy"); do
  sh -c 'while :; do :; done' &
  load_pids="$load_pids $!"
done
sleep "$settle"
run_phase "Loaded with $busy busy processes"
