#!/bin/sh
# tempomere-query's command line where it is built without Qt: its version, the usage errors
# of numbers it cannot use (read without Qt's number parsing), and --json, refused with a clear
# message since the build has no JSON writer, an nts:// host where the build has no NTS, and a
# host that cannot be resolved. No server is asked.
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
expect 2 "--json is not available in this build" "$@" "$tool" --json 127.0.0.1
expect 2 "--json is not available in this build" "$@" "$tool" -c 2 --json localhost
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
if [ "$nts" = OFF ]; then
  expect 2 "NTS is not available in this build" "$@" "$tool" -t 200 nts://127.0.0.1
  expect 2 "NTS is not available in this build" "$@" "$tool" -t 200 --nts 127.0.0.1
fi
exit $failed
