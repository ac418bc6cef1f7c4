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
#   make-testdata.sh ARCH BIN HOSTBIN WINOUT OUT
set -u
src=$(cd "$(dirname "$0")/.." && pwd)
usage='usage: make-testdata.sh ARCH BIN HOSTBIN WINOUT OUT'
export ARCH=${1:?$usage}
export BIN=${2:?$usage}
export HOSTBIN=${3:?$usage}
export WINOUT=${4:?$usage}
out=${5:?$usage}
export KVPACK="$HOSTBIN/kvpack"
export SEVENZ=$(command -v 7zz || true)
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
