# Copies of the resource subject (a program with the extractor's resources) with package texts
# written by kvtexts, for stub_resources_test: default.exe untouched, texts.exe with every text,
# longtitle.exe with a 300-unit title, grown.exe with version texts that grow the resources by
# pages, so that the base relocations behind them move. When the extractor stub is built, kvsfx_texts.exe is the
# stub with the same texts.
set -eu
subject="$WINOUT/resources_subject.exe"
cp "$subject" "$OUT/default.exe"
texts=(--title "Acme Tools — Setup" --label "Acme Wizard" --description "Acme tool installer"
       --company "Acme Ünited" --product "Acme Tools" --copyright "© 2026 Acme & Co"
       --trademarks "Acme™" --web-address "https://acme.example/"
       --assembly-name "Acme.Tools.Setup" --assembly-description "Acme <Tools> & more")
"$HOSTBIN/kvtexts" "$subject" "$OUT/texts.exe" "${texts[@]}"
long=$(printf 'x%.0s' $(seq 300))
"$HOSTBIN/kvtexts" "$subject" "$OUT/longtitle.exe" --title "$long" 2>"$OUT/longtitle.log"
grep -q "warning: --title" "$OUT/longtitle.log"
big=$(printf 'd%.0s' $(seq 1000))
"$HOSTBIN/kvtexts" "$subject" "$OUT/grown.exe" --description "$big" --copyright "$big" --trademarks "$big"
# The steps over other parts' products record a failure in NAME.failed for the test to report,
# so that it does not stop the test data of everyone else.
if [ -f "$BIN/kvsfx.exe" ]; then
  "$HOSTBIN/kvtexts" "$BIN/kvsfx.exe" "$OUT/kvsfx_texts.exe" "${texts[@]}" \
    2>"$OUT/kvsfx_texts.failed" && rm -f "$OUT/kvsfx_texts.failed"
fi
# A package image built by kvpack with the same texts, which kvpack verify must still accept.
if [ -x "$KVPACK" ] && [ -f "$BIN/kvsfx.exe" ] && [ -d "$BIN/runtime" ]; then
  mkdir -p "$OUT/payload/docs"
  printf 'hello\r\n' >"$OUT/payload/readme.txt"
  printf 'notes\r\n' >"$OUT/payload/docs/notes.txt"
  if { "$KVPACK" build --arch "$ARCH" --payload "$OUT/payload" --out "$OUT/package.exe" "${texts[@]}" &&
       "$KVPACK" verify "$OUT/package.exe"; } >"$OUT/package.failed" 2>&1; then
    rm -f "$OUT/package.failed"
  else
    rm -f "$OUT/package.exe"
  fi
  rm -rf "$OUT/payload"
fi
