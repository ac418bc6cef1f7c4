#!/usr/bin/env bash
# Checks the built Windows products of one architecture: each is a PE of that architecture (x86:
# PE32 with the 224-byte optional header; x64: PE32+ with the 240-byte one), and imports only
# libraries that every Windows system has (no mingw runtime DLLs, nothing of ours), so that a
# package runs on a bare machine.
#   check-imports.sh ARCH BIN PRODUCT...
set -u
usage='usage: check-imports.sh x86|x64 BIN PRODUCT...'
arch=${1:?$usage}
bin=${2:?$usage}
shift 2
case "$arch" in
  x86) objdump=i686-w64-mingw32-objdump; format=pei-i386; optional=224 ;;
  x64) objdump=x86_64-w64-mingw32-objdump; format=pei-x86-64; optional=240 ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
system_dlls=' advapi32.dll comctl32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msimg32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll riched20.dll setupapi.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll version.dll winmm.dll '
status=0
for product in "$@"; do
  bad=0
  file="$bin/$product"
  if [ ! -f "$file" ]; then
    echo "FAIL $product: not built"
    status=1
    continue
  fi
  headers=$("$objdump" -p "$file" 2>&1)
  if ! grep -q "file format $format\$" <<<"$headers"; then
    echo "FAIL $product: not a $arch PE ($format)"
    bad=1
  fi
  optsize=$(od -An -tu2 -j $(( $(od -An -tu4 -j 60 -N4 "$file") + 20 )) -N2 "$file" | tr -d ' ')
  if [ "$optsize" != "$optional" ]; then
    echo "FAIL $product: optional header is $optsize bytes, not $optional"
    bad=1
  fi
  while read -r dll; do
    lower=$(tr 'A-Z' 'a-z' <<<"$dll")
    if [[ "$system_dlls" != *" $lower "* ]]; then
      echo "FAIL $product: imports $dll, which is not a system library"
      bad=1
    fi
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
  if [ $bad -ne 0 ]; then
    status=1
    continue
  fi
  echo "ok $arch $product: $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort -u | tr '\n' ' ')"
done
exit $status
