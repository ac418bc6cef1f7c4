#!/usr/bin/env bash
# Package images for the start-up tests: a good package whose runtime archive holds the logging
# stand-in runtime library (tests/fake_runtime) and a few data files with known times and
# attributes, and images with one fault each. Good images are built by kvpack; the faulty ones
# are put together here from the stub, a package header and archives made by 7zz.
set -euo pipefail
stub="$BIN/kvsfx.exe"
fake="$WINOUT/fake_runtime/ZUDada.dll"
work="$OUT/work"
rm -rf "$work"
mkdir -p "$work"

# A 64-bit little-endian value as 8 raw bytes.
le64() {
  local value=$1 i
  for i in 0 1 2 3 4 5 6 7; do
    printf "\\$(printf '%03o' $(( (value >> (8 * i)) & 255 )))"
  done
}

# assemble STUB PAYLOAD.7z RUNTIME.7z OUT: stub, package header, payload archive, runtime archive.
assemble() {
  local payload_size total
  payload_size=$(stat -c %s "$2")
  total=$(( $(stat -c %s "$1") + 18 + payload_size + $(stat -c %s "$3") ))
  { cat "$1"; printf 'KV'; le64 "$payload_size"; le64 "$total"; cat "$2" "$3"; } >"$4"
}

# archive OUT.7z DIR: every file of DIR, stored with times and attributes.
archive() {
  rm -f "$1"
  (cd "$2" && "$SEVENZ" a -t7z -mx=5 -bd -bso0 "$1" . >/dev/null)
}

# The payload: one small file.
mkdir -p "$work/payload"
echo "payload file" >"$work/payload/readme.txt"
archive "$work/payload.7z" "$work/payload"

# The runtime folder of the good package.
rt="$work/runtime"
mkdir -p "$rt/dlg"
cp "$fake" "$rt/ZUDada.dll"
printf 'dialog definitions\n' >"$rt/dlg/welcome.txt"
printf 'locked\n' >"$rt/locked.dat"
head -c 20000 /dev/zero | tr '\0' 'k' >"$rt/big.dat"
touch -d '2001-02-03 04:05:06 UTC' "$rt/dlg/welcome.txt"
touch -d '2010-11-12 13:14:15 UTC' "$rt/locked.dat" "$rt/ZUDada.dll" "$rt/big.dat"
chmod 444 "$rt/locked.dat"
archive "$work/runtime.7z" "$rt"

# kvpack carries a flat runtime folder only; this one has a subfolder, to show that members in
# folders are unpacked with their folders, so the image is put together here.
assemble "$stub" "$work/payload.7z" "$work/runtime.7z" "$OUT/good.exe"

# The same stand-in library in a flat runtime folder, packed by kvpack the way a user packs one.
mkdir -p "$work/flat_runtime" "$work/flat_payload"
cp "$fake" "$work/flat_runtime/ZUDada.dll"
printf 'flat data\n' >"$work/flat_runtime/data.txt"
echo "payload file" >"$work/flat_payload/readme.txt"
"$KVPACK" build --arch "$ARCH" --stub "$stub" --payload "$work/flat_payload" \
  --runtime "$work/flat_runtime" --title "Packed Bootstrap Test" --out "$OUT/packed.exe" >/dev/null

# The stub alone: no package data behind its image.
cp "$stub" "$OUT/no_data.exe"

# The package header cut short after the payload size.
{ cat "$stub"; printf 'KV'; le64 1234; } >"$OUT/cut_header.exe"

# A runtime archive whose packed data is damaged (its headers stay intact).
cp "$work/runtime.7z" "$work/damaged.7z"
printf '\x55\xAA\x55\xAA' | dd of="$work/damaged.7z" bs=1 seek=100 conv=notrunc status=none
assemble "$stub" "$work/payload.7z" "$work/damaged.7z" "$OUT/damaged_runtime.exe"

# Two members whose names differ only in case: one path on Windows.
mkdir -p "$work/duplicate"
cp "$fake" "$work/duplicate/ZUDada.dll"
echo upper >"$work/duplicate/A.dat"
echo lower >"$work/duplicate/a.dat"
archive "$work/duplicate.7z" "$work/duplicate"
assemble "$stub" "$work/payload.7z" "$work/duplicate.7z" "$OUT/duplicate.exe"

# A member name of 259 units (a 200-unit folder, a slash, a 58-unit file name).
mkdir -p "$work/longname/$(printf 'd%.0s' $(seq 200))"
echo long >"$work/longname/$(printf 'd%.0s' $(seq 200))/$(printf 'f%.0s' $(seq 58))"
cp "$fake" "$work/longname/ZUDada.dll"
archive "$work/longname.7z" "$work/longname"
assemble "$stub" "$work/payload.7z" "$work/longname.7z" "$OUT/long_name.exe"

# A runtime archive without the runtime library.
mkdir -p "$work/nolib"
echo "data only" >"$work/nolib/data.txt"
archive "$work/nolib.7z" "$work/nolib"
assemble "$stub" "$work/payload.7z" "$work/nolib.7z" "$OUT/no_library.exe"

rm -rf "$work/payload" "$rt" "$work/flat_runtime" "$work/flat_payload" "$work/duplicate" "$work/longname" "$work/nolib"
