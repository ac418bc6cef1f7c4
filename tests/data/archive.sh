#!/usr/bin/env bash
# 7z archives for the archive reader's tests, made by 7zz from source files written beside them
# (src/), so that the tests can compare every decoded entry with its source bytes.
#   method-<name>.7z  a.txt and b.bin in one block, coded with one method or filter
#   ppmd.7z           a coder the extractor does not carry
#   embedded.bin      method-lzma.7z behind 4099 junk bytes and followed by more junk
#   stamped.7z        one file with a known modification time and the read-only attribute
set -euo pipefail
: "${OUT:?}" "${SEVENZ:?7zz is needed}"
src="$OUT/src"
mkdir -p "$src"

seq 1 40000 | sed 's/$/ entry of a text that compresses well/' >"$src/a.txt"
# Bytes with every value (branch opcodes of each architecture among them), made repeatable.
# (A multiplier small enough for awk's doubles to stay exact.)
LC_ALL=C awk 'BEGIN { s = 12345; for (i = 0; i < 98304; i++) { s = (s * 16807) % 2147483647;
     printf "%c", int(s / 128) % 256 } }' >"$src/b.bin"
[ "$(stat -c %s "$src/b.bin")" -eq 98304 ] || { echo "b.bin has the wrong size" >&2; exit 1; }

# make NAME "EXPECTED METHODS" SWITCHES...: the archive, and a check that 7zz used the methods.
make() {
  local name=$1 expected=$2
  shift 2
  rm -f "$OUT/$name.7z"
  (cd "$src" && "$SEVENZ" a -bd -ms=on -mtm=on -mta=off -mtc=off "$@" "$OUT/$name.7z" a.txt b.bin >/dev/null)
  local methods
  methods=$("$SEVENZ" l -slt "$OUT/$name.7z" | sed -n 's/^Method = //p' | sort -u | tr '\n' ' ')
  for m in $expected; do
    if ! printf ' %s' "$methods" | grep -Eq " $m(:| |$)"; then
      echo "$name: expected method $m, 7zz used: $methods" >&2
      exit 1
    fi
  done
}

make method-copy "Copy" -mf=off -m0=Copy
make method-lzma "LZMA" -mf=off -m0=LZMA
make method-lzma2 "LZMA2" -mf=off -m0=LZMA2
make method-bcj2 "BCJ2 LZMA" -mf=BCJ2
make method-x86 "BCJ LZMA2" -mf=BCJ
make method-ppc "PPC LZMA2" -mf=PPC
make method-ia64 "IA64 LZMA2" -mf=IA64
make method-arm "ARM LZMA2" -mf=ARM
make method-armt "ARMT LZMA2" -mf=ARMT
make method-arm64 "ARM64 LZMA" -mf=ARM64 -m0=LZMA
make method-sparc "SPARC LZMA2" -mf=SPARC
make method-riscv "RISCV LZMA2" -mf=RISCV
make method-delta "Delta:4 LZMA2" -mf=Delta:4
make ppmd "PPMD" -mf=off -m0=PPMd

{
  head -c 4099 "$src/b.bin"
  cat "$OUT/method-lzma.7z"
  head -c 777 "$src/a.txt"
} >"$OUT/embedded.bin"

mkdir -p "$OUT/stamp"
printf 'stamped contents\n' >"$OUT/stamp/stamped.txt"
touch -d '2011-04-05 06:07:08 UTC' "$OUT/stamp/stamped.txt"
chmod a-w "$OUT/stamp/stamped.txt"
(cd "$OUT/stamp" && "$SEVENZ" a -bd -mtm=on "$OUT/stamped.7z" stamped.txt >/dev/null)
"$SEVENZ" l -slt "$OUT/stamped.7z" | grep -q '^Attributes = R' || { echo "stamped.7z lacks R" >&2; exit 1; }
