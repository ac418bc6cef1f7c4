#!/usr/bin/env bash
# Makes the test data that one architecture's Windows-side tests read: runs every tests/data/*.sh
# with
#   ARCH     x86 or x64
#   OUT      the folder to write into (made empty first)
#   BIN      the architecture's product folder (kvsfx.exe, ZUDada.dll, runtime/)
#   HOSTBIN  the host tools' folder (kvpack, kvtexts)
#   WINOUT   the architecture's test programs and stand-in libraries
#   KVPACK   the kvpack program
#   SEVENZ   the 7zz program
# Each script writes below "$OUT/<its own name>". A script that fails is reported here and its
# log kept; the tests that read its data then fail on their own, while the others still run.
# A script may mount a small file system below OUT (as root only); "make-testdata.sh release OUT"
# unmounts whatever is mounted there, and so does every new run before it empties OUT.
#   make-testdata.sh ARCH BIN HOSTBIN WINOUT OUT
#   make-testdata.sh release OUT
set -u
src=$(cd "$(dirname "$0")/.." && pwd)
usage='usage: make-testdata.sh ARCH BIN HOSTBIN WINOUT OUT | release OUT'

# Unmounts every file system mounted below the folder given.
release() {
  local folder target
  folder=$(cd "$1" 2>/dev/null && pwd) || return 0
  findmnt -rn -o TARGET 2>/dev/null | sed 's/\\x20/ /g' | while read -r target; do
    case "$target" in "$folder"/*) umount "$target" || echo "test data: cannot unmount $target" >&2 ;; esac
  done
}

if [ "${1:-}" = release ]; then
  release "${2:?$usage}"
  exit 0
fi
export ARCH=${1:?$usage}
export BIN=${2:?$usage}
export HOSTBIN=${3:?$usage}
export WINOUT=${4:?$usage}
out=${5:?$usage}
export KVPACK="$HOSTBIN/kvpack"
export SEVENZ=$(command -v 7zz || true)
release "$out"
rm -rf "$out"
mkdir -p "$out"
status=0
for script in "$src"/tests/data/*.sh; do
  [ -f "$script" ] || continue
  name=$(basename "$script" .sh)
  export OUT="$out/$name"
  mkdir -p "$OUT"
  if ! bash "$script" >"$out/$name.log" 2>&1; then
    echo "test data: $name failed:" >&2
    cat "$out/$name.log" >&2
    status=1
  fi
done
[ $status -eq 0 ] || echo "test data: some scripts failed; the tests reading their data will fail" >&2
exit 0
