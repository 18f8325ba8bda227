#!/bin/sh
# tempomere-query against a real NTP server on the loopback: chronyd on a free port of
# 127.0.0.1, with a configuration, pid file and drift file of its own in a scratch folder, never
# touching the clock (-x) and with no command port. The tool must print "Valid: Yes" and exit 0,
# also for three samples with their summary, for two as CSV and for two as JSON (read back with
# a JSON parser); asked again while the server is stopped (its port held, nothing answering) it
# must exit 1.
#
#   query-against-chronyd.sh CHRONYD TOOL [RUNNER...]
#
# RUNNER is what starts the tool (wine64 for the Windows build; nothing for a native one).
# Exits 77, which CTest counts as skipped, when CHRONYD is not there. The tool's output is
# printed, so the test's log shows what it said.
set -u

chronyd=$1
tool=$2
shift 2

if [ ! -x "$chronyd" ]; then
  echo "SKIPPED: chronyd was not found at '$chronyd': scripts/install-deps.sh --tests unpacks it"
  echo "into the Linux build folder (build/chrony), and scripts/test.sh passes its path on."
  exit 77
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/tempomere-chronyd.XXXXXX") || exit 1
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill -CONT "$pid" 2>/dev/null
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAILED: $*"
  if [ -s "$dir/chronyd.log" ]; then
    echo "--- chronyd's log"
    cat "$dir/chronyd.log"
  fi
  exit 1
}

# Whether a UDP port is held on this machine, by any address (the kernel's socket tables).
port_in_use() {
  hex=$(printf '%04X' "$1")
  cat /proc/net/udp /proc/net/udp6 2>/dev/null | awk -v p=":$hex" '$2 ~ p"$" { found = 1 }
    END { exit !found }'
}

# A port from the dynamic range that nobody holds right now.
free_port() {
  tries=0
  while [ $tries -lt 200 ]; do
    tries=$((tries + 1))
    candidate=$((49152 + $(od -An -N2 -tu2 /dev/urandom) % 16000))
    if ! port_in_use "$candidate"; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

port=$(free_port) || fail "no free UDP port was found"
chmod 755 "$dir"
cat >"$dir/chrony.conf" <<EOF
port $port
bindaddress 127.0.0.1
cmdport 0
local stratum 3
allow 127.0.0.1
pidfile $dir/chronyd.pid
driftfile $dir/chronyd.drift
EOF

# As root chronyd keeps root rather than switch to a user that cannot read the scratch folder.
if [ "$(id -u)" -eq 0 ]; then
  user_flags="-u root"
else
  user_flags="-U"
fi
# shellcheck disable=SC2086 # the flags are two words or one
"$chronyd" -f "$dir/chrony.conf" -x -d $user_flags 2>"$dir/chronyd.log" &
pid=$!

# The first answers can take a moment: chronyd is asked until it answers, for up to 20 s.
output=
status=
attempt=0
while [ $attempt -lt 20 ]; do
  attempt=$((attempt + 1))
  kill -0 "$pid" 2>/dev/null || fail "chronyd ended before it answered"
  output=$("$@" "$tool" -p "$port" -t 1000 127.0.0.1 2>&1)
  status=$?
  [ $status -eq 0 ] && break
  sleep 1
done
echo "--- the tool against chronyd on 127.0.0.1:$port (attempt $attempt, exit $status)"
echo "$output"
[ "$status" -eq 0 ] || fail "the tool exited with $status, not 0"
echo "$output" | grep -qx 'Valid: Yes' || fail "no 'Valid: Yes' in the tool's output"
echo "$output" | grep -qx 'Stratum: 3' || fail "chronyd answers with its local stratum, 3"

# Two hosts in one run: each is asked on a socket of its own, the second as well as the first.
output=$("$@" "$tool" -p "$port" -t 1000 127.0.0.1 127.0.0.1 2>&1)
status=$?
echo "--- two hosts (exit $status)"
echo "$output"
[ "$status" -eq 0 ] || fail "two hosts: the tool exited with $status, not 0"
[ "$(echo "$output" | grep -cx 'Valid: Yes')" -eq 2 ] || fail "two hosts: not two valid replies"

# Three samples a fifth of a second apart: each one valid, then the summary of the three.
output=$("$@" "$tool" -p "$port" -t 1000 -c 3 -i 0.2 127.0.0.1 2>&1)
status=$?
echo "--- three samples (exit $status)"
echo "$output"
[ "$status" -eq 0 ] || fail "three samples: the tool exited with $status, not 0"
[ "$(echo "$output" | grep -cx 'Valid: Yes')" -eq 3 ] || fail "not three valid samples"
echo "$output" | grep -qx 'Count: 3' || fail "no summary of three samples"
echo "$output" | grep -q '^Drift Per Day: ' || fail "the summary has no drift per day"

# The same as CSV: a header and a record per sample, every one ended by CR LF.
"$@" "$tool" -p "$port" -t 1000 -c 2 -i 0.1 --csv 127.0.0.1 >"$dir/samples.csv" 2>&1
status=$?
echo "--- two samples as CSV (exit $status)"
cat "$dir/samples.csv"
[ "$status" -eq 0 ] || fail "CSV: the tool exited with $status, not 0"
[ "$(wc -l <"$dir/samples.csv")" -eq 3 ] || fail "CSV: not a header and two records"
[ "$(grep -c "$(printf '\r')\$" "$dir/samples.csv")" -eq 3 ] ||
  fail "CSV: not every record ends with CR LF"
grep -q "$(printf '\r\r')" "$dir/samples.csv" && fail "CSV: a record ends with CR CR LF"
head -n 1 "$dir/samples.csv" | grep -q '^host,sample,sampled_at,' || fail "CSV: no header"
# The "valid" column is found by its name: columns added after it must not hide it.
[ "$(tr -d '\r' <"$dir/samples.csv" | awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == "valid") v = i; next }
  $1 == "127.0.0.1" && ($2 == 1 || $2 == 2) && $v == "true"' | wc -l)" -eq 2 ] ||
  fail "CSV: not two valid records of 127.0.0.1"

# The same as JSON: one document that a JSON parser reads, with both samples and their summary.
"$@" "$tool" -p "$port" -t 1000 -c 2 -i 0.1 --json 127.0.0.1 >"$dir/samples.json" 2>&1
status=$?
echo "--- two samples as JSON (exit $status)"
cat "$dir/samples.json"
[ "$status" -eq 0 ] || fail "JSON: the tool exited with $status, not 0"
/usr/bin/python3 -c '
import json, sys
host = json.load(open(sys.argv[1]))["hosts"][0]
samples = host["samples"]
sys.exit(not (host["host"] == "127.0.0.1" and host["valid"] is True and len(samples) == 2
              and all(s["valid"] and s["stratum"] == 3 for s in samples)
              and all(isinstance(s["computerError"], (int, float)) for s in samples)
              and host["summary"]["count"] == 2))
' "$dir/samples.json" || fail "JSON: no document of two valid samples and their summary"

# The same port with the server stopped: the port is held, nothing answers.
kill -STOP "$pid"
output=$("$@" "$tool" -p "$port" -t 500 127.0.0.1 2>&1)
status=$?
echo "--- the tool against the stopped server (exit $status)"
echo "$output"
[ "$status" -eq 1 ] || fail "without a reply the tool exited with $status, not 1"
echo "$output" | grep -qx 'Valid: No' || fail "no 'Valid: No' in the tool's output"
echo "PASSED"
