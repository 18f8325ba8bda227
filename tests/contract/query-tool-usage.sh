#!/bin/sh
# tempomere-query's command line where it is built without Qt: its version, the usage errors
# of numbers it cannot use (read without Qt's number parsing), an nts:// host where the build
# has no NTS, a host that cannot be resolved, and the JSON document that says so, read back
# with a JSON parser. No server is asked.
#
#   query-tool-usage.sh VERSION NTS TOOL [RUNNER...]     (NTS: ON or OFF, as the build has it)
set -u
version=$1
nts=$2
tool=$3
shift 3
failed=0

# expect STATUS TEXT ARGS...: the tool run with ARGS exits with STATUS and says TEXT.
expect() {
  want_status=$1 want_text=$2
  shift 2
  said=$("$@" 2>&1)
  status=$?
  if [ "$status" -ne "$want_status" ] || ! printf '%s\n' "$said" | grep -qF -- "$want_text"; then
    echo "FAILED: '$*' exited with $status (not $want_status) and said:"
    printf '%s\n' "$said"
    failed=1
  else
    echo "ok: '$*' -> $status, '$want_text'"
  fi
}

expect 0 "tempomere-query $version" "$@" "$tool" --version
expect 2 "PORT must be a whole number from 1 to 65535, not '0'" "$@" "$tool" -p 0 127.0.0.1
expect 2 "TIMEOUT_MS must be a whole number from 1 to 86400000, not '5s'" \
  "$@" "$tool" -t 5s 127.0.0.1
expect 2 "SECONDS must be a number of seconds from 0.001 to 86400, not '1.2.3'" \
  "$@" "$tool" -i 1.2.3 127.0.0.1
expect 2 "SECONDS must be a number of seconds from 0.001 to 86400, not '0.0005'" \
  "$@" "$tool" -i 0.0005 127.0.0.1
expect 2 "SECONDS must be a number of seconds from 0.001 to 86400, not '1e3'" \
  "$@" "$tool" -i 1e3 127.0.0.1
expect 2 "unknown option --bogus" "$@" "$tool" --bogus 127.0.0.1
expect 2 "HOST is missing" "$@" "$tool" -p 123
# A label longer than 63 characters: the resolver refuses it without asking a name server. The
# failure is said in words on one line.
long=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.invalid
expect 2 "Socket Error # 11001: host not found: $long" "$@" "$tool" "$long"
# The same as JSON: one document that a JSON parser reads, naming the host and its error.
json=$("$@" "$tool" --json -c 2 "$long" 2>/dev/null)
status=$?
if [ "$status" -eq 2 ] && printf '%s' "$json" | /usr/bin/python3 -c '
import json, sys
host = json.load(sys.stdin)["hosts"][0]
sys.exit(not (host["host"] == sys.argv[1] and host["valid"] is False and host["samples"] == []
              and host["error"] == "Socket Error # 11001: host not found: " + sys.argv[1]))
' "$long"; then
  echo "ok: '--json -c 2 $long' -> $status, a document that parses"
else
  echo "FAILED: '--json -c 2 $long' exited with $status and wrote no such document:"
  printf '%s\n' "$json"
  failed=1
fi
if [ "$nts" = OFF ]; then
  expect 2 "NTS is not available in this build" "$@" "$tool" -t 200 nts://127.0.0.1
  expect 2 "NTS is not available in this build" "$@" "$tool" -t 200 --nts 127.0.0.1
fi
exit $failed
