#!/usr/bin/env bash
# Writes tests/golden/streams.sha256 anew from the golden jobs, after a
# reviewed, intended change of the output streams, and lists the jobs whose
# checksum changed.  With --dump DIR the new streams are also written to DIR
# (one .prn per job) for a look with kzrqo317-inspect.
set -euo pipefail
cd "$(dirname "$0")/.."
file=tests/golden/streams.sha256
cmake --preset default >/dev/null
cmake --build --preset default --target golden_streams
fresh=$(mktemp)
trap 'rm -f "$fresh"' EXIT
build/default/tests/golden_streams "$@" >"$fresh"
if [ -f "$file" ]; then
  changed=$(diff <(grep -v '^#' "$file") <(grep -v '^#' "$fresh") | sed -n 's/^> [0-9a-f]*  //p' || true)
  if [ -z "$changed" ]; then
    echo "golden streams unchanged"
  else
    echo "golden streams changed:"
    echo "$changed" | sed 's/^/  /'
  fi
fi
cp "$fresh" "$file"
