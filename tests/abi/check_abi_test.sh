#!/usr/bin/env bash
# check_abi.sh on a small library and changed builds of it: a changed public
# struct and a removed function fail; an added function, a changed internal
# type and any change with a new SONAME pass.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p include/kzrqo317 src
cat >include/kzrqo317/t.h <<'H'
#include <stddef.h>
typedef struct t_settings { size_t struct_size; int quality; } t_settings;
struct t_job;
int t_use(const t_settings* s);
struct t_job* t_open(void);
H
cat >src/job.h <<'H'
struct t_job { int lines; };
H
cat >t.c <<'C'
#include "kzrqo317/t.h"
#include "job.h"
static struct t_job job;
int t_use(const t_settings* s) { return s->quality; }
struct t_job* t_open(void) { return &job; }
C
build() {  # build NAME SONAME [sed script for the sources]
  mkdir -p "$1"; cp -r include src t.c "$1/"
  [ -z "${3:-}" ] || sed -i "$3" "$1/include/kzrqo317/t.h" "$1/src/job.h" "$1/t.c"
  gcc -g -shared -fPIC -I"$1/include" -I"$1/src" -Wl,-soname,"$2" -o "$1/libt.so" "$work/$1/t.c"
}
build v1 libt.so.1
abidw --exported-interfaces-only --no-corpus-path --no-comp-dir-path --out-file v1.abi v1/libt.so
expect() {  # expect pass|fail NAME SONAME SED
  local verdict=pass
  build "$2" "$3" "$4"
  "$here/check_abi.sh" "$2/libt.so" v1.abi >"$2.log" 2>&1 || verdict=fail
  [ "$verdict" = "$1" ] || { cat "$2.log"; echo "FAIL: $2 should $1"; exit 1; }
  echo "ok: $2: $1"
}
expect pass same libt.so.1 ''
expect fail public-member libt.so.1 's/int quality;/long quality;/'
expect fail removed libt.so.1 '/t_open/d; /struct t_job job/d'
expect pass added libt.so.1 '/return &job/a int t_new(void) { return 0; }'
expect pass internal libt.so.1 's/int lines;/long lines; int pages;/'
expect pass new-soname libt.so.2 's/int quality;/long quality;/'
