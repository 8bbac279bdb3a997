#!/usr/bin/env bash
# Configures and builds one flavour of the project into build/<flavour>:
#   win32    Quillbarrow.dll for 32-bit Windows (the product), with its tests
#   win64    the same for 64-bit Windows
#   native   the core on Linux with the fake platform and unit tests
#   asan     native, with AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan     native, with ThreadSanitizer
#   fuzz     native with clang: libFuzzer targets under ASan and UBSan
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
flavour=$1
targets=()
case "$flavour" in
  win32)  args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release) ;;
  win64)  args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release) ;;
  native) args=(-DCMAKE_BUILD_TYPE=Debug) ;;
  asan)   args=(-DCMAKE_BUILD_TYPE=Debug -DQUILLBARROW_SANITIZE=address,undefined) ;;
  tsan)   args=(-DCMAKE_BUILD_TYPE=Debug -DQUILLBARROW_SANITIZE=thread) ;;
  fuzz)   args=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
                -DQUILLBARROW_SANITIZE=address,undefined -DQUILLBARROW_FUZZ=ON)
          targets=(--target fuzz_split_url fuzz_utf8_to_ansi) ;;
  *) echo "build.sh: unknown flavour '$flavour'" >&2; exit 2 ;;
esac
cmake -S "$root" -B "$root/build/$flavour" "${args[@]}" >/dev/null
cmake --build "$root/build/$flavour" -j"$(nproc)" "${targets[@]}"
