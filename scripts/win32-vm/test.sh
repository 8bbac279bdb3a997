#!/usr/bin/env bash
# Runs the 32-bit Wine integration suite of a win32 build tree inside the
# test VM (built by setup.sh), with the tree shared into it read-only:
#   test.sh BUILD_DIR        (build/win32, as `scripts/build.sh win32` makes it)
# The entries are ctest's own (see entries.py): each gtest filter with its
# environment (LC_ALL among it) and the prefix set-up before them. Prints
# each entry's result, then "N tests passed, M tests failed out of T", and
# exits non-zero when an entry failed or the VM did not finish.
# Environment: QUILLBARROW_VM_TESTS          regular expression on entry names (all)
#              QUILLBARROW_VM_TIMEOUT        hard limit of the whole VM, seconds (1800)
#              QUILLBARROW_VM_ENTRY_TIMEOUT  limit of one entry, seconds (600)
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
vm="$root/build/win32-vm"

[ $# -eq 1 ] || { echo "usage: scripts/win32-vm/test.sh BUILD_DIR" >&2; exit 2; }
build_dir=$(realpath "$1") || exit 2
if [ ! -f "$vm/image.ok" ]; then
  echo "win32-vm/test.sh: no VM image in $vm; run scripts/win32-vm/setup.sh first" >&2
  exit 2
fi
export QUILLBARROW_VM_TIMEOUT=${QUILLBARROW_VM_TIMEOUT:-1800}

# One run at a time: runs share the run folder, and setup.sh replaces the image.
exec 9>"$vm/lock"
flock -w "$((QUILLBARROW_VM_TIMEOUT + 60))" 9 || { echo "win32-vm/test.sh: $vm is busy" >&2; exit 2; }

run_dir="$vm/run"
rm -rf "$run_dir"; mkdir -p "$run_dir"
if ! ctest --test-dir "$build_dir" --show-only=json-v1 >"$run_dir/ctest.json" 2>"$run_dir/ctest.err"; then
  cat "$run_dir/ctest.err" >&2
  echo "win32-vm/test.sh: ctest cannot list the tests of $build_dir" >&2
  exit 2
fi
python3 "$here/entries.py" "$build_dir" "${QUILLBARROW_VM_TESTS:-}" \
  <"$run_dir/ctest.json" >"$run_dir/entries.tsv" || exit 2
total=$(grep -c . "$run_dir/entries.tsv")
if [ "$total" -eq 0 ]; then
  echo "win32-vm/test.sh: no entries of the Wine suite in $build_dir (is tests/win configured?)" >&2
  exit 2
fi
cp "$here/suite-in-vm.sh" "$run_dir/run.sh"
echo "${QUILLBARROW_VM_ENTRY_TIMEOUT:-600}" >"$run_dir/entry-limit"

echo "== 32-bit Wine suite in the VM ($(cat "$vm/image.ok")): $total entries of $build_dir"
started=$(date +%s)
vm_status=0
bash "$here/boot.sh" "$run_dir" "$build_dir" || vm_status=$?
elapsed=$(( $(date +%s) - started ))

passed=0 failed=0 number=0
while IFS=$'\t' read -r name _; do
  number=$((number + 1))
  result=$(awk -v name="$name" '$1 == name && NF == 3' "$run_dir/results" 2>/dev/null | tail -n1)
  log="$run_dir/logs/$name.log"
  status=""
  if [ -z "$result" ]; then
    verdict="Not run (the VM did not finish)"
  else
    read -r _ status seconds <<<"$result"
    if [ "$status" -eq 0 ] && grep -aq '^\[==========\] 0 tests from' "$log" 2>/dev/null; then
      # gtest passes a filter that selects nothing; that is a broken entry.
      verdict="Failed: its filter selected no test"; status=1
    elif [ "$status" -eq 0 ]; then
      verdict="Passed  ${seconds} s"
    elif [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
      verdict="Timeout after ${seconds} s"
    else
      verdict="Failed (status $status)  ${seconds} s"
    fi
  fi
  if [ "$status" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  counts=""
  if [ -f "$log" ]; then
    ran=$(tr -d '\r' <"$log" | sed -nE 's/^\[==========\] ([0-9]+) tests? from .* ran.*/\1/p' | tail -n1)
    good=$(tr -d '\r' <"$log" | sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?.*/\1/p' | tail -n1)
    [ -n "$ran" ] && counts="  (gtest: ${good:-0} of $ran passed)"
  fi
  printf '%3d/%d %-24s %s%s\n' "$number" "$total" "$name" "$verdict" "$counts"
  if [ -n "$status" ] && [ "$status" != 0 ] && [ -f "$log" ]; then
    tr -d '\r' <"$log" | tail -n 200 | sed 's/^/      /'
  fi
done <"$run_dir/entries.tsv"

boot="?"
[ -f "$run_dir/uptime-at-init" ] && boot=$(cat "$run_dir/uptime-at-init")
echo "VM: its kernel reached init after ${boot} s; the whole VM took ${elapsed} s (logs in $run_dir)"
if [ "$vm_status" -eq 125 ]; then
  echo "the VM did not finish; the end of its console:"
  tail -n 30 "$run_dir/console.log" 2>/dev/null | tr -d '\r' | sed 's/^/      /'
fi
echo "$passed tests passed, $failed tests failed out of $total"
[ "$failed" -eq 0 ] && [ "$vm_status" -eq 0 ]
