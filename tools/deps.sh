#!/usr/bin/env bash
# Installs what the build and the tests need, once: Debian packages (both mingw-w64 cross
# compilers, 32-bit and 64-bit Wine), the i386 architecture for 32-bit Wine, and the LZMA SDK
# sources from Debian's 7zip source package. Quiet when all is there. 32-bit Wine is installed
# on every machine, also where it cannot run; the tests find out which Wine runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
sdkdir="$root/build/_deps/lzma-sdk"
packages=(cmake make g++ g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64
          mingw-w64-x86-64-dev wine wine32:i386 wine64 xvfb xauth 7zip googletest dpkg-dev xz-utils)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

updated=0
apt_update() {
  if [ "$updated" -eq 0 ]; then
    as_root apt-get update -qq >/dev/null
    updated=1
  fi
}

# deb-src entries for the suites already configured, so that "apt-get source 7zip" works.
add_deb_src() {
  local list=/etc/apt/sources.list.d/kvsfx-deb-src.sources
  [ -f "$list" ] && return 0
  local tmp
  tmp=$(mktemp)
  if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
    for f in /etc/apt/sources.list.d/*.sources; do
      grep -q 'debian' "$f" || continue
      sed -e 's/^Types:.*/Types: deb-src/' "$f" >>"$tmp"
      printf '\n' >>"$tmp"
    done
  fi
  if [ ! -s "$tmp" ] && [ -f /etc/apt/sources.list ]; then
    # One-line format: turn each "deb URI SUITE COMPONENTS" into a deb822 deb-src stanza.
    grep -E '^deb ' /etc/apt/sources.list | grep -v 'deb-src' | while read -r _ rest; do
      rest=${rest#\[*\] }
      set -- $rest
      printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n' "$1" "$2" "${*:3}"
      printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n'
    done >>"$tmp"
  fi
  if [ ! -s "$tmp" ]; then
    rm -f "$tmp"
    echo "deps: no Debian suites configured in apt; cannot add deb-src entries" >&2
    return 1
  fi
  as_root install -m 644 "$tmp" "$list"
  rm -f "$tmp"
  updated=0
}

if [ "${#missing[@]}" -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    updated=0
  fi
  echo "deps: installing ${missing[*]}"
  apt_update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# The LZMA SDK: the newest 7zip source package the configured suites offer.
if [ ! -f "$sdkdir/.complete" ]; then
  add_deb_src
  apt_update
  rm -rf "$sdkdir"
  mkdir -p "$sdkdir"
  if ! (cd "$sdkdir" && apt-get source -qq --download-only 7zip >/dev/null 2>&1); then
    echo "deps: cannot download the 7zip source package (apt-get source 7zip failed)" >&2
    exit 1
  fi
  (cd "$sdkdir" && dpkg-source --no-check -x ./*.dsc src >/dev/null 2>&1) || {
    echo "deps: cannot unpack the 7zip source package" >&2
    exit 1
  }
  touch "$sdkdir/.complete"
fi

# The decoder must know every filter the extractor reads; ARM64 and RISCV came late to the SDK.
ver=$(sed -n 's/^#define MY_VERSION_NUMBERS "\(.*\)"/\1/p' "$sdkdir/src/C/7zVersion.h")
if [ -z "$ver" ] || ! grep -q 'k_RISCV' "$sdkdir/src/C/7zDec.c" || ! grep -q 'k_ARM64' "$sdkdir/src/C/7zDec.c"; then
  echo "deps: the LZMA SDK in the 7zip source package (version ${ver:-unknown}) is too old: its 7z decoder lacks the ARM64 or RISCV filter" >&2
  exit 1
fi
if [ -n "${KV_DEPS_VERBOSE:-}" ] || [ ! -f "$sdkdir/.announced" ]; then
  echo "deps: LZMA SDK $ver from Debian's 7zip source package"
  touch "$sdkdir/.announced"
fi
