#!/bin/sh
# Runs inside the 32-bit test VM as /vm/run/run.sh (test.sh copies it there).
# Reads entries.tsv (written by entries.py): one entry a line, tab-separated
#   NAME  DIR  VAR=VALUE...  wine  PROGRAM  ARGS...
# and runs each in DIR under env(1), all under one X server and one
# wineserver. Writes logs/NAME.log and appends "NAME STATUS SECONDS" to
# results; a last line "done" tells that the list was finished.
cd /vm/run || exit 1
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
limit=$(cat entry-limit)
tab=$(printf '\t')
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
mkdir -p logs
: > results
# Keep the wineserver, and with it Wine's own services, from one entry to
# the next: starting them costs half a minute under emulation.
wineserver -p
set -f
while IFS= read -r line; do
  [ -n "$line" ] || continue
  saved_ifs=$IFS; IFS=$tab; set -- $line; IFS=$saved_ifs
  name=$1 dir=$2; shift 2
  echo "== $name: $*"
  start=$(date +%s)
  (cd "$dir" && exec timeout -k 10 "$limit" env "$@") > "logs/$name.log" 2>&1 < /dev/null
  status=$?
  seconds=$(( $(date +%s) - start ))
  echo "$name $status $seconds" >> results
  echo "   status $status after $seconds s"
done < entries.tsv
echo done >> results
wineserver -k
exit 0
