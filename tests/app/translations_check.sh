#!/usr/bin/env bash
# Every text of the interface has its English translation: the sources are read again into a
# copy of the catalogue, which must then hold no text without one.
#   translations_check.sh SOURCE_DIR
set -euo pipefail
src=$1/src/app
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
work=$(mktemp -d "${TMPDIR:-/tmp}/stereolux-ts.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$src/stereolux_en.ts" "$work/"
"$lupdate" -no-obsolete -locations none "$src"/*.cpp "$src"/*.h -ts "$work/stereolux_en.ts" >"$work/log" 2>&1 ||
  { cat "$work/log"; exit 1; }
if grep -B2 'type="unfinished"' "$work/stereolux_en.ts"; then
  echo "FAIL: texts above have no English translation in src/app/stereolux_en.ts"
  exit 1
fi
echo "every text has its English translation"
