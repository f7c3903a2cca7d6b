#!/usr/bin/env bash
# Brings translations/*.ts up to date with the texts in the sources (Qt's lupdate): new texts
# appear unfinished, texts no longer used are dropped. Translate them in Qt Linguist
# (linguist translations/quilo_hu.ts) or by hand; the build compiles them.
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=$(command -v lupdate || true)
[[ -n $lupdate ]] || lupdate=/usr/lib/qt6/bin/lupdate
"$lupdate" -no-obsolete -locations none -extensions cpp,h,ui res src -ts translations/*.ts
