#!/usr/bin/env bash
# Compiles the header's string object for 32-bit x86 three ways (C with
# __attribute__((thiscall)), C with the __fastcall form MSVC needs, C++
# class) and reads the code: each GetText must take the object in ECX and
# nothing from the stack, each SetText must return with "ret $0x4" (the
# callee pops the text pointer), as thiscall member functions do.
#   check-thiscall.sh I686_GCC I686_GXX I686_OBJDUMP INCLUDE_DIR WORK_DIR
set -euo pipefail
cc=$1 cxx=$2 objdump=$3 include=$4 work=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$work"
status=0

# body OBJECT NAME: the disassembly of the one function whose symbol holds NAME.
body() {
  "$objdump" -d --no-show-raw-insn "$1" |
    awk -v name="$2" '/^[0-9a-f]+ <.*>:$/ { inside = index($0, name) > 0; next } inside && NF { print }'
}

# check LABEL OBJECT GETNAME SETNAME
check() {
  local label=$1 object=$2 get set failed=0
  get=$(body "$object" "$3")
  set=$(body "$object" "$4")
  if [ -z "$get" ] || [ -z "$set" ]; then
    echo "$label: functions $3/$4 not found"; status=1; return
  fi
  if ! grep -q '%ecx' <<<"$get" || grep -q '(%esp)' <<<"$get"; then
    echo "$label: GetText does not take the object from ECX alone:"; echo "$get"; failed=1
  fi
  if [ "$(grep -E '\sret' <<<"$get" | tail -n1 | awk '{print $NF}')" != "ret" ]; then
    echo "$label: GetText does not return with a plain ret:"; echo "$get"; failed=1
  fi
  if ! grep -qE '\sret +\$0x4$' <<<"$set"; then
    echo "$label: SetText does not pop its one stack argument (ret \$0x4):"; echo "$set"; failed=1
  fi
  if [ "$failed" -eq 0 ]; then echo "$label: thiscall layout"; else status=1; fi
}

flags=(-O2 -c -I"$include" -Wall -Wextra -Werror)
"$cc" "${flags[@]}" -std=c99 "$here/c_object.c" -o "$work/c_thiscall.o"
"$cc" "${flags[@]}" -std=c99 -DQUILLBARROW_THIS_VIA_FASTCALL "$here/c_object.c" -o "$work/c_fastcall.o"
"$cxx" "${flags[@]}" -std=c++98 -pedantic "$here/cpp_object.cpp" -o "$work/cpp.o"

check "C, thiscall attribute" "$work/c_thiscall.o" KitGetText KitSetText
check "C, __fastcall form" "$work/c_fastcall.o" KitGetText KitSetText
check "C++ class" "$work/cpp.o" _ZN7KitText7GetTextEv _ZN7KitText7SetTextEPKc
exit "$status"
