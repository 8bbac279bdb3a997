#!/usr/bin/env bash
# Succeeds when this machine can run 32-bit Windows programs under Wine:
# wine32 is installed and the kernel executes 32-bit x86 programs.
[ -x /usr/lib/wine/wineserver32 ] || exit 1
timeout 20 /usr/lib/wine/wineserver32 --version >/dev/null 2>&1
