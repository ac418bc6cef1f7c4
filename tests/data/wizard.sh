#!/usr/bin/env bash
# Package images for the wizard and extraction tests, built by kvpack as an author builds them:
#   tree.exe          a payload with nested folders, non-ASCII names, spaces, an empty file, an
#                     empty folder, a name of 258 characters, a read-only file and known times;
#                     tree_reference/ is the same payload as 7zz extracts it, for comparison
#   relay.exe         a small payload over the relay runtime (tests/fake_runtime/relay_runtime),
#                     through which the tests set variables and watch the extraction
#   props.exe         relay.exe with a file-property list that names sub/skipped.txt under the
#                     condition %KVTESTSKIP%
#   missing_page.exe  a dialog file without the readme page
#   off_by_one.exe    relay.exe with one byte more than its header declares
#   crc.exe           tree.exe with one byte of a stored file's data flipped
#   percent.exe       a file whose name holds "%d" and "%s", over the relay runtime
#   runtime.7z        the runtime archive of relay.exe, for images the tests put together
#   stub.exe          the stub, for the same
#   fulldisk/         a file system of 64 KiB of its own (mounted as root only; otherwise
#                     fulldisk.skip says why); make-testdata.sh release unmounts it
set -euo pipefail
: "${OUT:?}" "${BIN:?}" "${KVPACK:?}" "${WINOUT:?}" "${ARCH:?}" "${SEVENZ:?7zz is needed}"
work="$OUT/work"
rm -rf "$work"
mkdir -p "$work"

# Repeatable bytes that do not compress (LZMA2 then stores them as they are).
noise() {  # noise SEED BYTES
  LC_ALL=C awk -v s="$1" -v n="$2" 'BEGIN { for (i = 0; i < n; i++) { s = (s * 16807) % 2147483647;
    printf "%c", int(s / 128) % 256 } }'
}

# The package image's payload archive, cut out at the offsets verify reports.
payload_of() {  # payload_of IMAGE OUT.7z
  local end size
  end=$(sed -n 's/.*package image: stub \([0-9]*\) bytes.*/\1/p' <<<"$("$KVPACK" verify "$1")")
  size=$(od -An -t u8 -j $((end + 2)) -N 8 "$1" | tr -d ' ')
  dd if="$1" of="$2" bs=64K iflag=skip_bytes,count_bytes skip=$((end + 18)) count="$size" status=none
  echo "$end $size"
}

# The payload tree.
tree="$work/tree"
mkdir -p "$tree/Docs/Übersicht" "$tree/with space/inner folder" "$tree/empty folder" "$tree/日本語"
printf 'plain text\r\n' >"$tree/readme.txt"
printf 'überall\r\n' >"$tree/Docs/Übersicht/Prüfung — ñ.txt"
printf 'spaces\r\n' >"$tree/with space/inner folder/a file.txt"
printf 'kanji\r\n' >"$tree/日本語/ファイル.txt"
: >"$tree/empty.txt"
noise 4711 300000 >"$tree/Docs/data.bin"
long="$tree/$(printf 'd%.0s' $(seq 200))"
mkdir -p "$long"
printf 'long name\r\n' >"$long/$(printf 'f%.0s' $(seq 57))"  # 200 + 1 + 57 = 258 characters
printf 'do not change\r\n' >"$tree/Docs/locked.txt"
find "$tree" -type f -exec touch -d '2019-06-15 08:30:00 UTC' {} +
touch -d '2001-02-03 04:05:06 UTC' "$tree/readme.txt"
touch -d '2024-12-31 23:59:58 UTC' "$tree/Docs/data.bin"
chmod a-w "$tree/Docs/locked.txt"
"$KVPACK" build --arch "$ARCH" --payload "$tree" --out "$OUT/tree.exe" --title "Tree Package" \
  --label "Tree Setup" >/dev/null
payload_of "$OUT/tree.exe" "$work/tree.7z" >/dev/null
rm -rf "$OUT/tree_reference"
"$SEVENZ" x -bd -y -o"$OUT/tree_reference" "$work/tree.7z" >/dev/null
chmod -R u+w "$tree"

# The relay runtime: the real library renamed, the relay in its place, the real data set.
rt="$work/relay_runtime"
mkdir -p "$rt"
cp "$BIN/runtime/"* "$rt/"
mv "$rt/ZUDada.dll" "$rt/ZUDadaReal.dll"
cp "$WINOUT/relay_runtime/ZUDada.dll" "$rt/ZUDada.dll"

# A small payload: files in the top folder and below it, enough of them that a slowed-down
# extraction gives time to act on the progress box.
small="$work/small"
mkdir -p "$small/sub"
for i in $(seq -w 1 24); do printf 'file %s\r\n' "$i" >"$small/sub/part$i.txt"; done
printf 'first\r\n' >"$small/first.txt"
printf 'skip me\r\n' >"$small/sub/skipped.txt"
printf 'last\r\n' >"$small/zlast.txt"
find "$small" -type f -exec touch -d '2020-01-02 03:04:05 UTC' {} +
"$KVPACK" build --arch "$ARCH" --payload "$small" --runtime "$rt" --out "$OUT/relay.exe" \
  --title "Relay Package" --label "Relay Setup" >/dev/null

# The same with a file-property list that names one file under a condition the test sets.
printf 'sub\\skipped.txt\r\n\r\n\r\n%%KVTESTSKIP%%\r\n0\r\n' >"$work/props.dat"
"$KVPACK" build --arch "$ARCH" --payload "$small" --runtime "$rt" --file-props "$work/props.dat" \
  --out "$OUT/props.exe" --title "Props Package" >/dev/null

# File names with conversion specifications in them.
pct="$work/percent"
mkdir -p "$pct"
printf 'percent\r\n' >"$pct/50%d %s done.txt"
touch -d '2020-01-02 03:04:05 UTC' "$pct/50%d %s done.txt"
"$KVPACK" build --arch "$ARCH" --payload "$pct" --runtime "$rt" --out "$OUT/percent.exe" \
  --title "Percent Package" >/dev/null

# A small file system of its own, for a disk that fills up.
mkdir -p "$OUT/fulldisk"
if [ "$(id -u)" -ne 0 ]; then
  echo "mounting a file system of its own needs root, and the tests run as $(id -un)" >"$OUT/fulldisk.skip"
elif ! mount -t tmpfs -o size=64k,mode=0777 kvfulldisk "$OUT/fulldisk" 2>"$work/mount.log"; then
  echo "this machine refuses to mount a tmpfs: $(tr '\n' ' ' <"$work/mount.log")" >"$OUT/fulldisk.skip"
fi

# A dialog file without the readme page.
norm="$work/missing_runtime"
mkdir -p "$norm"
cp "$BIN/runtime/"* "$norm/"
awk 'BEGIN { skip = 0 } /^\[/ { skip = ($0 ~ /^\[dlgwizreadme\]/) } !skip' "$BIN/runtime/kvdlg.dat" \
  >"$norm/kvdlg.dat"
if grep -q dlgwizreadme "$norm/kvdlg.dat"; then echo "the readme page is still there" >&2; exit 1; fi
"$KVPACK" build --arch "$ARCH" --payload "$small" --runtime "$norm" --out "$OUT/missing_page.exe" \
  --title "Missing Page Package" >/dev/null

# One byte more than declared.
cp "$OUT/relay.exe" "$OUT/off_by_one.exe"
printf 'x' >>"$OUT/off_by_one.exe"

# A flipped byte in the middle of the stored data.bin: the archive's headers stay intact, the
# file's CRC does not.
read -r end size < <(payload_of "$OUT/tree.exe" "$work/tree.7z")
cp "$OUT/tree.exe" "$OUT/crc.exe"
at=$((end + 18 + 32 + 150000))
byte=$(od -An -tu1 -j "$at" -N1 "$OUT/crc.exe" | tr -d ' ')
printf "\\$(printf '%03o' $(( byte ^ 0x40 )))" | dd of="$OUT/crc.exe" bs=1 seek="$at" conv=notrunc status=none
if "$KVPACK" verify "$OUT/crc.exe" >"$work/crc.log" 2>&1 || ! grep -q 'CRC' "$work/crc.log"; then
  echo "crc.exe does not fail on a CRC:" >&2
  cat "$work/crc.log" >&2
  exit 1
fi

# Parts for images the tests put together themselves.
read -r end size < <(payload_of "$OUT/relay.exe" "$work/relay.7z")
tail -c +$((end + 19 + size)) "$OUT/relay.exe" >"$OUT/runtime.7z"
head -c "$end" "$OUT/relay.exe" >"$OUT/stub.exe"

rm -rf "$work"
