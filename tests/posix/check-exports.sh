#!/usr/bin/env bash
# Fails unless the shared object exports exactly the seven functions.
set -euo pipefail
library=$1
expected=$(printf '%s\n' Get GetReadSize IsRun Post ReadString ReadStringUTF8ToSJIS Stop)
actual=$(nm -D --defined-only "$library" | awk '{print $NF}' | sort)
if [ "$actual" != "$expected" ]; then
  echo "exported symbols of $library differ:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
# Every export is a function (T), none carries a version node of its own.
if nm -D --defined-only "$library" | awk '{print $2}' | grep -qv '^T$'; then
  echo "an export is not a text symbol:"; nm -D --defined-only "$library"; exit 1
fi
echo "exports of $(basename "$library"): $(echo $actual)"
