#!/usr/bin/env bash
# Installs what is missing, builds Quillbarrow.dll and the sample host, and
# runs the host's demo under Wine: it starts its embedded loopback server
# and fetches a page from it through the library. Extra arguments go to the
# host (for example: --post "a=1&b=2", or --ansi).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
if bash scripts/can-run-win32.sh; then flavour=win32; else flavour=win64; fi
bash scripts/build.sh "$flavour" >/dev/null
if [ "$flavour" = win64 ]; then
  echo "note: this kernel cannot execute 32-bit x86 programs; running the 64-bit build of the DLL." >&2
fi
export WINEPREFIX="$root/build/wineprefix-$flavour"
status=0
xvfb-run -a scripts/wine-exec.sh "$flavour" "build/$flavour/host/quillbarrow-host.exe" --dismiss-messages "$@" || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
