#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, when they are missing.
# Needs root for apt-get; without it, says what is missing and goes on.
set -euo pipefail
packages=(cmake ninja-build g++ g++-multilib clang googletest libgtest-dev libgmock-dev
          libbenchmark-dev binutils libpng-dev liblcms2-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages (install them as root): ${missing[*]}" >&2
  exit 0
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
