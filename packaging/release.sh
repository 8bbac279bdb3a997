#!/usr/bin/env bash
# Builds Quillbarrow.dll for 32- and 64-bit Windows and packs the host
# developer kit from the 32-bit tree, with the 64-bit tree's files added:
#   bash packaging/release.sh   ->  build/win32/Quillbarrow-<version>-win.zip
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/build.sh" win64
bash "$root/scripts/build.sh" win32
cmake -S "$root" -B "$root/build/win32" -DQUILLBARROW_OTHER_ARCH_DIR="$root/build/win64" >/dev/null
(cd "$root/build/win32" && cpack -G ZIP)
