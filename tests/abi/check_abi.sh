#!/usr/bin/env bash
# Compares a library's ABI with the recorded one (abidw's XML, written by
# scripts/record-abi.sh).  Any change to what callers see fails, unless the
# library's SONAME is no longer the recorded one: added functions pass, types
# defined outside the public headers are not compared
# (tests/abi/private_types.suppr).
# Usage: check_abi.sh <library> <recorded .abi>
set -euo pipefail
lib=$1 recorded=$2
here=$(cd "$(dirname "$0")" && pwd)
soname=$(objdump -p "$lib" | awk '$1 == "SONAME" {print $2}')
recorded_soname=$(grep -o -m1 "soname='[^']*'" "$recorded" | cut -d"'" -f2)
status=0
report=$(abidiff --fail-no-debug-info --no-added-syms --suppressions "$here/private_types.suppr" \
           "$recorded" "$lib" 2>&1) || status=$?
if (( status & 3 )); then
  echo "$report"
  echo "FAIL: abidiff could not compare $lib with $recorded (status $status)"
  exit 1
elif (( status & 12 )); then
  echo "$report"
  if [ "$soname" != "$recorded_soname" ]; then
    echo "the ABI of $recorded_soname changed with the SONAME ($soname): record it anew (scripts/record-abi.sh)"
    exit 0
  fi
  echo "FAIL: $soname changed its ABI. An incompatible change needs a new SONAME; a compatible"
  echo "one by design (a member appended to a struct that carries struct_size) is recorded"
  echo "anew with scripts/record-abi.sh"
  exit 1
fi
added=$(abidiff --suppressions "$here/private_types.suppr" "$recorded" "$lib" | grep -c "^  \[A\]" || true)
echo "$soname: the recorded ABI, and $added functions added"
