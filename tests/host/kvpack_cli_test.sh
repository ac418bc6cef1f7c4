#!/usr/bin/env bash
# kvpack as its users call it: build, list and verify a package image, then the faults verify
# must catch and the bad input build must refuse without leaving an output file; then the two
# archives inside an image, as 7zz reports them, and the runtime files a package author replaces;
# last, a stub or runtime library of the other architecture, which build and verify refuse.
#   kvpack_cli_test.sh ARCH KVPACK STUB RUNTIME-FOLDER OTHER-STUB
# STUB is a program of ARCH (x86 or x64), OTHER-STUB one of the other architecture.
set -u
usage='usage: kvpack_cli_test.sh ARCH KVPACK STUB RUNTIME-FOLDER OTHER-STUB'
arch=${1:?$usage}
kvpack=${2:?$usage}
stub=${3:?$usage}
runtime=${4:?$usage}
other_stub=${5:?$usage}
kvbuild() { "$kvpack" build --arch "$arch" "$@"; }
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

check build 0 kvbuild --payload "$work/payload" --runtime "$work/runtime" --stub "$stub" --out "$img"
check list 0 "$kvpack" list "$img"
expect_output list-names 'docs/data.bin'
expect_output list-time '2011-04-05 06:07:08'
check verify-intact 0 "$kvpack" verify "$img"
expect_output verify-says-arch "intact $arch package image"
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
  check "build-$name" 1 kvbuild --payload "$dir" --runtime "$work/runtime" --stub "$stub" --out "$work/bad.exe"
  if [ -e "$work/bad.exe" ]; then
    echo "FAIL build-$name: left $work/bad.exe behind"
    failures=$((failures + 1))
  fi
done
mkdir -p "$work/emptypath"
check build-without-7zz 1 env PATH="$work/emptypath" "$kvpack" build --arch "$arch" --payload "$work/payload" --runtime "$work/runtime" --stub "$stub" --out "$work/bad.exe"
expect_output build-without-7zz '7zz'
[ -e "$work/bad.exe" ] && { echo "FAIL build-without-7zz: output left behind"; failures=$((failures + 1)); }

fail() {  # fail NAME MESSAGE
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

# split IMAGE: the image's payload archive into $work/payload.7z and its runtime archive into
# $work/runtime.7z, cut at the offsets of the package header behind the stub.
split() {
  local image=$1 end size
  end=$(sed -n 's/.*package image: stub \([0-9]*\) bytes.*/\1/p' <<<"$("$kvpack" verify "$image")")
  size=$(od -An -t u8 -j $((end + 2)) -N 8 "$image" | tr -d ' ')
  tail -c +$((end + 19)) "$image" | head -c "$size" >"$work/payload.7z"
  tail -c +$((end + 19 + size)) "$image" >"$work/runtime.7z"
}
# field ARCHIVE NAME: the values of one property of every entry, one per line, in archive order.
field() {
  7zz l -slt "$1" | sed -n "/^----------\$/,\$ s/^$2 = //p"
}
# dictionaries METHOD: the dictionary size in bytes of every LZMA coder of a method string as
# 7zz writes it ("LZMA:20" is 2^20 bytes, "LZMA:384k" 384 KiB), one per line.
dictionaries() {
  grep -Eo 'LZMA:[0-9]+[km]?' <<<"$1" | while read -r coder; do
    local size=${coder#LZMA:}
    case "$size" in
      *k) echo $((${size%k} * 1024)) ;;
      *m) echo $((${size%m} * 1024 * 1024)) ;;
      *) echo $((1 << size)) ;;
    esac
  done
}

# The runtime archive of a real runtime folder: the members in case-insensitive order, each in a
# block of its own, LZMA with a 1 MiB dictionary, and BCJ2 in front of the library's coders.
# 7zz shrinks a dictionary to the size of a smaller member, so a member over 1 MiB shows the size
# asked for.
mkdir -p "$work/realruntime"
cp "$runtime"/* "$work/realruntime/"
head -c 1500000 /dev/urandom >"$work/realruntime/large.bin"
check build-real-runtime 0 kvbuild --payload "$work/payload" --runtime "$work/realruntime" --stub "$stub" --out "$work/real.exe"
split "$work/real.exe"
members=$(field "$work/runtime.7z" Path | tr '\n' ' ')
expected="kvdlg.dat kvfinEnglish.md kvfprop.dat kvheader.png kvlng.dat kvsreadEnglish.md kvwaterm.png kvwelcEnglish.md large.bin ZUDada.dll "
[ "$members" = "$expected" ] || fail runtime-order "members are \"$members\""
blocks=$(field "$work/runtime.7z" Block | tr '\n' ' ')
[ "$blocks" = "0 1 2 3 4 5 6 7 8 9 " ] || fail runtime-blocks "blocks are \"$blocks\""
paste -d '|' <(field "$work/runtime.7z" Path) <(field "$work/runtime.7z" Method) >"$work/methods"
while IFS='|' read -r member method; do
  case "$member" in
    ZUDada.dll) pattern='^BCJ2 LZMA:' ;;
    *) pattern='^LZMA:[0-9]+[km]?$' ;;
  esac
  grep -Eq "$pattern" <<<"$method" || fail runtime-method "$member is coded \"$method\""
  for size in $(dictionaries "$method"); do
    [ "$size" -le 1048576 ] || fail runtime-dictionary "$member has a dictionary of $size bytes"
    if [ "$member" = large.bin ] && [ "$size" -ne 1048576 ]; then
      fail runtime-dictionary "large.bin has a dictionary of $size bytes, not 1 MiB"
    fi
  done
done <"$work/methods"
7zz t "$work/runtime.7z" >/dev/null 2>&1 || fail runtime-test "7zz t fails on the runtime archive"

# The payload keeps its attributes, so that a file without write permission is extracted
# read-only; the runtime members carry none.
mkdir -p "$work/attrs/docs"
printf 'locked\r\n' >"$work/attrs/docs/locked.txt"
printf 'open\r\n' >"$work/attrs/open.txt"
chmod 444 "$work/attrs/docs/locked.txt"
check build-attributes 0 kvbuild --payload "$work/attrs" --runtime "$work/runtime" --stub "$stub" --out "$work/attrs.exe"
split "$work/attrs.exe"
paste -d '|' <(field "$work/payload.7z" Path) <(field "$work/payload.7z" Attributes) >"$work/attributes"
while IFS='|' read -r entry attributes; do
  letters=${attributes%% *}  # the Windows bits, before the Unix mode
  case "$entry" in
    docs/locked.txt) [[ "$letters" == *R* ]] || fail attributes-read-only "$entry is stored as \"$attributes\"" ;;
    open.txt) [[ "$letters" != *R* ]] || fail attributes-writable "$entry is stored as \"$attributes\"" ;;
    docs) [[ "$letters" == *D* ]] || fail attributes-folder "$entry is stored as \"$attributes\"" ;;
    *) fail attributes-entries "unexpected entry $entry" ;;
  esac
done <"$work/attributes"
[ "$(wc -l <"$work/attributes")" -eq 3 ] || fail attributes-entries "$(wc -l <"$work/attributes") entries with attributes, not 3"
[ -z "$(field "$work/runtime.7z" Attributes)" ] || fail attributes-runtime "the runtime archive stores attributes"

# Solid blocks of the payload: one block by default, several under a 1 MiB cap.
mkdir -p "$work/big"
for i in 1 2 3; do head -c 700000 /dev/urandom >"$work/big/part$i.bin"; done
for case in "default::1" "capped:--max-block 1:2"; do
  name=${case%%:*}; rest=${case#*:}; option=${rest%%:*}; least=${rest#*:}
  # shellcheck disable=SC2086  # the option is two words
  check "max-block-$name" 0 kvbuild --payload "$work/big" --runtime "$work/runtime" --stub "$stub" $option --out "$work/big.exe"
  split "$work/big.exe"
  count=$(field "$work/payload.7z" Block | sort -u | wc -l)
  if [ "$name" = default ] && [ "$count" -ne 1 ]; then fail "max-block-$name" "$count blocks"; fi
  if [ "$count" -lt "$least" ]; then fail "max-block-$name" "$count blocks, expected at least $least"; fi
done
for value in 0 abc; do
  check "max-block-refused-$value" 2 kvbuild --payload "$work/big" --runtime "$work/runtime" --stub "$stub" --max-block "$value" --out "$work/bad.exe"
done

# An empty payload makes a package that installs nothing, and says so.
mkdir -p "$work/empty"
check build-empty 0 kvbuild --payload "$work/empty" --runtime "$work/runtime" --stub "$stub" --out "$work/empty.exe"
check list-empty 0 "$kvpack" list "$work/empty.exe"
expect_output list-empty '^0 files, 0 folders, 0 bytes'
check verify-empty 0 "$kvpack" verify "$work/empty.exe"

# A file over 1 GiB is refused before anything is compressed (a sparse file: no disk is used).
mkdir -p "$work/huge"
truncate -s $((1024 * 1024 * 1024 + 1)) "$work/huge/disk.img"
rm -f "$work/bad.exe"
check build-over-1gib 1 kvbuild --payload "$work/huge" --runtime "$work/runtime" --stub "$stub" --out "$work/bad.exe"
expect_output build-over-1gib '1 GiB'
[ -e "$work/bad.exe" ] && fail build-over-1gib "output left behind"
rm -f "$work/huge/disk.img"

# Replacements of the runtime files: the right formats go in as given, wrong ones are refused
# with the option named and nothing written.
bmp() {  # bmp FILE WIDTH HEIGHT BITS [TOP-DOWN]: a BMP as the package carries it, or not quite
  local file=$1 w=$2 h=$3 bits=$4 height=$3 pixels
  [ "${5:-}" = top-down ] && height=$((-h))
  pixels=$((w * h * bits / 8))
  {
    printf 'BM'; le32 $((54 + pixels + 2)); le32 0; le32 54
    le32 40; le32 "$w"; le32 "$height"; printf '\x01\x00'; printf "\\x$(printf %02x "$bits")\\x00"
    le32 0; le32 $((pixels + 2)); le32 2834; le32 2834; le32 0; le32 0
    head -c "$pixels" /dev/urandom
    printf '\x00\x00'
  } >"$file"
}
le32() {
  local v=$(( $1 & 0xFFFFFFFF ))
  printf "\\x$(printf %02x $((v & 255)))\\x$(printf %02x $(((v >> 8) & 255)))\\x$(printf %02x $(((v >> 16) & 255)))\\x$(printf %02x $(((v >> 24) & 255)))"
}
mkdir -p "$work/art"
bmp "$work/art/header.bmp" 90 58 32
bmp "$work/art/watermark.bmp" 176 346 32
printf '\xef\xbb\xbf**Welcome**\r\n\r\nAnother package.\r\n' >"$work/art/welcome.md"
printf 'Main\\a.txt\r\n\r\n\r\n%%VCOMPMAIN%%\r\n0\r\n' >"$work/art/props.dat"
check build-replaced 0 kvbuild --payload "$work/payload" --runtime "$runtime" --stub "$stub" \
  --header-image "$work/art/header.bmp" --watermark "$work/art/watermark.bmp" \
  --welcome "$work/art/welcome.md" --file-props "$work/art/props.dat" --out "$work/art.exe"
split "$work/art.exe"
mkdir -p "$work/members"
7zz e -y -o"$work/members" "$work/runtime.7z" >/dev/null 2>&1 || fail replaced-extract "7zz e fails"
for pair in kvheader.png:header.bmp kvwaterm.png:watermark.bmp kvwelcEnglish.md:welcome.md kvfprop.dat:props.dat \
            kvlng.dat:@kvlng.dat; do
  member=${pair%%:*}; source=${pair#*:}
  if [ "${source#@}" != "$source" ]; then source="$runtime/${source#@}"; else source="$work/art/$source"; fi
  cmp -s "$source" "$work/members/$member" || fail "replaced-$member" "the member differs from $source"
done

bmp "$work/art/bits24.bmp" 90 58 24
bmp "$work/art/topdown.bmp" 90 58 32 top-down
printf '\x89PNG\r\n\x1a\n' >"$work/art/real.png"
head -c 20935 "$work/art/header.bmp" >"$work/art/short.bmp"
printf 'Main\\a.txt\r\n\r\n\r\n%%VCOMPMAIN%%\r\n' >"$work/art/four-lines.dat"
printf 'Main\\a.txt\n\n\n%%VCOMPMAIN%%\n0\n' >"$work/art/lf.dat"
for case in "header-24-bit:--header-image:bits24.bmp:32 are needed" \
            "header-top-down:--header-image:topdown.bmp:bottom-up" \
            "header-png:--header-image:real.png:BM" \
            "header-short:--header-image:short.bmp:bytes long" \
            "watermark-of-header-size:--watermark:header.bmp:176x346" \
            "props-four-lines:--file-props:four-lines.dat:five lines" \
            "props-lf:--file-props:lf.dat:CR LF" \
            "welcome-missing:--welcome:nothing.md:--welcome"; do
  IFS=: read -r name option file message <<<"$case"
  rm -f "$work/bad.exe"
  check "refuse-$name" 1 kvbuild --payload "$work/payload" --runtime "$runtime" --stub "$stub" "$option" "$work/art/$file" --out "$work/bad.exe"
  expect_output "refuse-$name" "$option"
  expect_output "refuse-$name" "$message"
  [ -e "$work/bad.exe" ] && fail "refuse-$name" "output left behind"
done

# The other architecture: a stub or a runtime library of it is refused by build, with no output,
# and verify refuses an image whose runtime library is not of the stub's architecture.
case "$arch" in x86) other=x64 ;; *) other=x86 ;; esac
rm -f "$work/bad.exe"
check other-arch-stub 1 kvbuild --payload "$work/payload" --runtime "$work/runtime" \
  --stub "$other_stub" --out "$work/bad.exe"
expect_output other-arch-stub "is an $other program"
[ -e "$work/bad.exe" ] && fail other-arch-stub "output left behind"
mkdir -p "$work/otherruntime"
cp "$work/runtime"/* "$work/otherruntime/"
cp "$other_stub" "$work/otherruntime/ZUDada.dll"
check other-arch-library 1 kvbuild --payload "$work/payload" --runtime "$work/otherruntime" \
  --stub "$stub" --out "$work/bad.exe"
expect_output other-arch-library "is an $other library"
[ -e "$work/bad.exe" ] && fail other-arch-library "output left behind"
printf 'text\r\n' >"$work/otherruntime/ZUDada.dll"
check not-a-library 1 kvbuild --payload "$work/payload" --runtime "$work/otherruntime" \
  --stub "$stub" --out "$work/bad.exe"
expect_output not-a-library "not a Windows library"

le64() {
  local value=$1 i
  for i in 0 1 2 3 4 5 6 7; do
    printf "\\$(printf '%03o' $(( (value >> (8 * i)) & 255 )))"
  done
}
split "$img"
cp "$other_stub" "$work/otherruntime/ZUDada.dll"
rm -f "$work/mixed.7z"
(cd "$work/otherruntime" && 7zz a -bd "$work/mixed.7z" . >/dev/null)
end=$(sed -n 's/.*package image: stub \([0-9]*\) bytes.*/\1/p' <<<"$("$kvpack" verify "$img")")
payload_size=$(stat -c %s "$work/payload.7z")
total=$((end + 18 + payload_size + $(stat -c %s "$work/mixed.7z")))
{ head -c "$end" "$img"; printf 'KV'; le64 "$payload_size"; le64 "$total"
  cat "$work/payload.7z" "$work/mixed.7z"; } >"$work/mixed.exe"
check verify-other-arch-library 1 "$kvpack" verify "$work/mixed.exe"
expect_output verify-other-arch-library "is an $other library, but the stub is an $arch program"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
