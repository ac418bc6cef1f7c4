#!/usr/bin/env bash
# kvpack as its users call it: build, list and verify a package image, then the faults verify
# must catch and the bad input build must refuse without leaving an output file.
#   kvpack_cli_test.sh KVPACK STUB
set -u
kvpack=${1:?usage: kvpack_cli_test.sh KVPACK STUB}
stub=${2:?usage: kvpack_cli_test.sh KVPACK STUB}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0
check() {  # check NAME EXPECTED-EXIT COMMAND... ; output in $work/out
  local name=$1 expected=$2
  shift 2
  "$@" >"$work/out" 2>&1
  local rc=$?
  if { [ "$expected" = 0 ] && [ $rc -eq 0 ]; } || { [ "$expected" != 0 ] && [ $rc -ne 0 ]; }; then
    passes=$((passes + 1))
  else
    echo "FAIL $name: exit $rc, expected $expected"
    sed 's/^/    /' "$work/out"
    failures=$((failures + 1))
  fi
}
expect_output() {  # expect_output NAME PATTERN
  if grep -q -- "$2" "$work/out"; then
    passes=$((passes + 1))
  else
    echo "FAIL $1: output lacks \"$2\""
    sed 's/^/    /' "$work/out"
    failures=$((failures + 1))
  fi
}

mkdir -p "$work/payload/docs" "$work/runtime"
printf 'hello\r\n' >"$work/payload/readme.txt"
head -c 300000 /dev/urandom >"$work/payload/docs/data.bin"
touch -d '2011-04-05 06:07:08 UTC' "$work/payload/readme.txt"
cp "$stub" "$work/runtime/ZUDada.dll"
printf 'x\r\n' >"$work/runtime/kvdlg.dat"
img="$work/package.exe"

check build 0 "$kvpack" build --payload "$work/payload" --runtime "$work/runtime" --stub "$stub" --out "$img"
check list 0 "$kvpack" list "$img"
expect_output list-names 'docs/data.bin'
expect_output list-time '2011-04-05 06:07:08'
check verify-intact 0 "$kvpack" verify "$img"
# Without package texts the stub goes in unchanged, up to its image end.
if ! cmp -s -n "$(stat -c %s "$stub")" "$stub" "$img"; then
  echo "FAIL stub-unchanged: the image does not begin with the stub's own bytes"
  failures=$((failures + 1))
fi

# Faults in a copy of the image: each must make verify fail with a reason.
size=$(stat -c %s "$img")
cp "$img" "$work/longer.exe"; printf 'x' >>"$work/longer.exe"
check verify-one-byte-more 1 "$kvpack" verify "$work/longer.exe"
expect_output verify-one-byte-more 'declares'
head -c $((size - 1)) "$img" >"$work/shorter.exe"
check verify-one-byte-less 1 "$kvpack" verify "$work/shorter.exe"
cp "$img" "$work/flipped.exe"
printf '\xff' | dd of="$work/flipped.exe" bs=1 seek=$((size - 300)) conv=notrunc status=none
check verify-damaged-runtime 1 "$kvpack" verify "$work/flipped.exe"
head -c 2000 "$img" >"$work/cut.exe"
check verify-cut 1 "$kvpack" verify "$work/cut.exe"
check verify-missing 1 "$kvpack" verify "$work/none.exe"

# Bad input to build: a clear refusal and no output file left behind.
# A name of 259 units, over the 258 a package can carry, made of two components (Linux limits a
# single component to 255 bytes).
mkdir -p "$work/longname/$(printf 'd%.0s' $(seq 1 200))"
touch "$work/longname/$(printf 'd%.0s' $(seq 1 200))/$(printf 'f%.0s' $(seq 1 58))"
mkdir -p "$work/badchar"; touch "$work/badchar/a:b.txt"
mkdir -p "$work/device"; touch "$work/device/CON.txt"
for case in "missing-folder:$work/nothing-here" "long-name:$work/longname" "bad-char:$work/badchar" \
            "device-name:$work/device"; do
  name=${case%%:*}
  dir=${case#*:}
  rm -f "$work/bad.exe"
  check "build-$name" 1 "$kvpack" build --payload "$dir" --runtime "$work/runtime" --stub "$stub" --out "$work/bad.exe"
  if [ -e "$work/bad.exe" ]; then
    echo "FAIL build-$name: left $work/bad.exe behind"
    failures=$((failures + 1))
  fi
done
mkdir -p "$work/emptypath"
check build-without-7zz 1 env PATH="$work/emptypath" "$kvpack" build --payload "$work/payload" --runtime "$work/runtime" --stub "$stub" --out "$work/bad.exe"
expect_output build-without-7zz '7zz'
[ -e "$work/bad.exe" ] && { echo "FAIL build-without-7zz: output left behind"; failures=$((failures + 1)); }

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
