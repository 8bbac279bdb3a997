#!/usr/bin/env bash
# Reads a built Quillbarrow.dll's export and import tables and fails on any
# export beyond the seven, a wrong library name, or a non-system import.
#   check-tables.sh OBJDUMP DLL
set -euo pipefail
objdump=$1 dll=$2
dump=$("$objdump" -p "$dll")

name=$(printf '%s\n' "$dump" | sed -n 's/^Name[[:space:]]*[0-9a-f]* //p' | head -n1)
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
  | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p' | sort | tr '\n' ' ')
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')

status=0
expected_exports="Get GetReadSize IsRun Post ReadString ReadStringUTF8ToSJIS Stop "
if [ "$exports" != "$expected_exports" ]; then
  echo "exports are '$exports', expected '$expected_exports'"; status=1
fi
if [ "$name" != "Quillbarrow.dll" ]; then
  echo "export directory names '$name', expected 'Quillbarrow.dll'"; status=1
fi
for import in $imports; do
  case "$import" in
    KERNEL32.DLL|USER32.DLL|WININET.DLL|MSVCRT.DLL|ADVAPI32.DLL) ;;
    *) echo "imports $import, which is not part of every Windows"; status=1 ;;
  esac
done
if [ "$status" -eq 0 ]; then
  echo "exports: $exports"
  echo "imports: $imports"
fi
exit "$status"
