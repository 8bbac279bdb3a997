#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix:
#   wine-exec.sh win64|win32 PROGRAM [ARGS...]
# WINEPREFIX may be set by the caller; by default build/wineprefix-<arch>.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
arch=$1; shift
case "$arch" in
  win64) loader=/usr/lib/wine/wine64 ;;
  win32) loader=/usr/lib/wine/wine ;;
  *) echo "wine-exec.sh: first argument must be win64 or win32" >&2; exit 2 ;;
esac
export WINEARCH=$arch
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix-$arch}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINELOADER=$loader
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$loader" wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
exec "$loader" "$@"
