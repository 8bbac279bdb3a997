#!/usr/bin/env bash
# Installs what building and testing Quillbarrow need on a Debian 12 machine.
# Installs only what is missing; safe to run again.
set -euo pipefail

packages=(cmake make g++ libgtest-dev googletest
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
          wine wine64 xvfb xauth python3 openssl clang libclang-rt-14-dev
          libcurl4-openssl-dev)
# wine32 runs 32-bit Windows programs; it only works where the kernel can
# execute 32-bit x86 programs, but it is harmless elsewhere.
i386_packages=(wine32:i386)

missing=()
for package in "${packages[@]}" "${i386_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
