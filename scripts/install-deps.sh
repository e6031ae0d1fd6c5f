#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, when they are missing.
# Needs root for apt-get; without it, says what is missing and goes on.
#
#   install-deps.sh          everything `make check` needs
#   install-deps.sh --demo   only what `make demo` needs (compiler, CMake, Ninja, libpng)
#   install-deps.sh --package  what `make package` needs
#
# qemu-user is added only where the kernel cannot run 32-bit programs (or with
# KZ_FORCE_EMULATOR=ON): the 32-bit tests then run under qemu-i386.
set -euo pipefail
demo_packages=(cmake ninja-build g++ libpng-dev)
# make package: dpkg-buildpackage and debian/control's Build-Depends
package_packages=(dpkg-dev debhelper file pkgconf liblcms2-dev libjpeg-dev libpixman-1-dev
                  libcups2-dev cups-ppdc libpappl-dev)
check_packages=(g++-multilib clang googletest libgtest-dev libgmock-dev libbenchmark-dev binutils pkgconf
                liblcms2-dev
                # kzrqo317-print's inputs and scaling; Ghostscript draws and renders its test files
                libjpeg-dev libpixman-1-dev libcups2-dev ghostscript
                # the CUPS driver and its tests: a private cupsd, cupsfilter, ppdc
                cups cups-client cups-filters cups-ppdc jq
                # the printer application and its end-to-end tests
                libpappl-dev cups-ipp-utils chromium curl
                # the libraries' recorded ABI, compared with abidiff
                abigail-tools
                # the package test: lintian, a clean root made by mmdebstrap, the unit
                # checked by systemd-analyze
                lintian mmdebstrap systemd systemd-container)

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages (install them as root): ${missing[*]}" >&2
    return 0
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# 0 when a -m32 program builds but the kernel will not run it.
needs_emulator() {
  local dir status=1
  dir=$(mktemp -d)
  echo 'int main(void) { return 0; }' >"$dir/probe.c"
  if gcc -m32 -o "$dir/probe" "$dir/probe.c" 2>/dev/null && ! "$dir/probe" 2>/dev/null; then
    status=0
  fi
  rm -rf "$dir"
  return $status
}

case ${1:-} in
  --demo) install_missing "${demo_packages[@]}"; exit 0 ;;
  --package) install_missing "${demo_packages[@]}" "${package_packages[@]}"; exit 0 ;;
esac
install_missing "${demo_packages[@]}" "${package_packages[@]}" "${check_packages[@]}"
if [ "${KZ_FORCE_EMULATOR:-OFF}" = ON ] || needs_emulator; then
  install_missing qemu-user
fi
