#!/usr/bin/env bash
# Builds the 64-bit DLL and the benchmark host (scripts/build.sh win64), builds
# the loopback server natively, and runs the bench under Wine:
#   bash bench/run.sh [BENCH OPTIONS]      e.g. --rounds 7 --transfer-rounds 5
# Prints the machine, the Wine version and the table; a copy goes to
# build/bench/results.md. The server runs outside Wine so that its socket calls
# do not queue at the same wineserver as the client's; it listens on a free
# port of 127.0.0.1 and ends by itself (idle limit, overall limit), and is
# stopped by its process id when the bench ends.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out="$root/build/bench"
mkdir -p "$out"

# Everything else in the tree is built too; when some other part fails to
# build, the bench still runs if the DLL and the bench host build.
if ! bash scripts/build.sh win64 >"$out/build.log" 2>&1; then
  echo "note: the full win64 build failed (build/bench/build.log); building the DLL and the bench only" >&2
  cmake --build build/win64 --target quillbarrow_bench >>"$out/build.log" 2>&1 ||
    { tail -n 30 "$out/build.log"; exit 1; }
fi
cmake -S bench/server -B build/bench-server >>"$out/build.log" 2>&1
cmake --build build/bench-server >>"$out/build.log" 2>&1 || { tail -n 30 "$out/build.log"; exit 1; }

export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix-bench}
# WinINet keeps a copy of every response in the prefix's URL cache, even with
# INTERNET_FLAG_RELOAD; each run starts with an empty one.
rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Microsoft/Windows/INetCache
server_out="$out/server.out"
build/bench-server/quillbarrow_bench_server 900 >"$server_out" 2>"$out/server.err" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true' EXIT
port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/^port \([0-9]*\)$/\1/p' "$server_out")
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "bench server did not start" >&2; exit 1; }

dll=build/win64/src/Quillbarrow.dll
{
  echo "Command: bash bench/run.sh $*"
  echo "Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1), kernel $(uname -r)"
  echo "Wine: $(/usr/lib/wine/wine64 --version 2>/dev/null || wine64 --version)"
  echo "Compiler: $(x86_64-w64-mingw32-g++-posix --version | head -n1)"
  echo "DLL imports: $(x86_64-w64-mingw32-objdump -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')"
  echo "Date: $(date -u +%Y-%m-%dT%H:%MZ), load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee "$out/results.md"
start=$(date +%s)
status=0
# Code page 932, so that the Japanese text converts to Shift-JIS.
LC_ALL=ja_JP.UTF-8 xvfb-run -a scripts/wine-exec.sh win64 build/win64/bench/quillbarrow_bench.exe --port "$port" "$@" \
  2>"$out/wine.err" | tee -a "$out/results.md" || status=$?
echo "Bench time: $(( $(date +%s) - start )) s, load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)" \
  | tee -a "$out/results.md"
exit "$status"
