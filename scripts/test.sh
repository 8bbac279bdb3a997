#!/usr/bin/env bash
# Installs what is missing, builds every flavour and runs every test:
# the native unit tests (plain, ASan+UBSan, TSan) and the Wine suites.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh || exit 1

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

passed=0 failed=0 broken=()
# ctest_in FLAVOUR [ctest args...]: runs one build tree's tests and counts them.
ctest_in() {
  local flavour=$1; shift
  local log="$root/build/$flavour-ctest.log"
  echo "== tests: $flavour"
  "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
  if [ -z "$line" ]; then
    broken+=("$flavour (no test result)"); failed=$((failed + 1)); return
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad)); failed=$((failed + bad))
  [ "$status" -eq 0 ] || broken+=("$flavour")
}

build_or_note() {
  if ! bash scripts/build.sh "$1"; then broken+=("$1 (build)"); failed=$((failed + 1)); return 1; fi
}

for flavour in native asan tsan; do
  build_or_note "$flavour" && ctest_in "$flavour" ctest --test-dir "build/$flavour" --output-on-failure
done

# Fuzzing: each libFuzzer target for a bounded time (QUILLBARROW_FUZZ_SECONDS).
if build_or_note fuzz; then
  ctest_in fuzz ctest --test-dir build/fuzz --output-on-failure -R '^fuzz_'
fi

run_wine_suite() {
  local flavour=$1 arch=$2
  export WINEPREFIX="$root/build/wineprefix-$arch"
  ctest_in "$flavour" xvfb-run -a ctest --test-dir "build/$flavour" --output-on-failure
  wineserver -k 2>/dev/null || true
  unset WINEPREFIX
}

if build_or_note win64; then
  run_wine_suite win64 win64
fi
if build_or_note win32; then
  if bash scripts/can-run-win32.sh; then
    run_wine_suite win32 win32
  else
    echo "note: this kernel cannot execute 32-bit x86 programs, so 32-bit Wine cannot run here;"
    echo "      the 32-bit DLL is built and its tables checked, and the Wine suites run on the 64-bit DLL."
    ctest_in win32 ctest --test-dir build/win32 --output-on-failure -R '^dll-tables$'
    # QUILLBARROW_WIN32_VM=1: the 32-bit Wine suite in an emulated VM instead
    # (scripts/win32-vm/README.md; the first run builds the VM image).
    if [ "${QUILLBARROW_WIN32_VM:-0}" = 1 ]; then
      if bash scripts/win32-vm/setup.sh; then
        ctest_in win32-vm bash scripts/win32-vm/test.sh build/win32
      else
        broken+=("win32-vm (setup)"); failed=$((failed + 1))
      fi
    fi
  fi
fi

if [ ${#broken[@]} -gt 0 ]; then
  echo "failing: ${broken[*]}"
fi
echo "Summary: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ ${#broken[@]} -eq 0 ]
