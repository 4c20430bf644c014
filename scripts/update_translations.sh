#!/usr/bin/env bash
# Brings the translation source file up to date with the program's texts: lupdate adds every new or
# changed text as an unfinished entry and drops the texts that are gone. Translate the unfinished entries
# (linguist, or any editor), then rebuild: lrelease runs at build time. With an argument, updates that
# file instead of translations/ruvo_bridge_en.ts (the translation test checks a copy that way).
set -euo pipefail
cd "$(dirname "$0")/.."
ts="${1:-translations/ruvo_bridge_en.ts}"
# Qt 5's lupdate is on the PATH; a system with Qt 6 alone keeps it in Qt's own folder. Both write the same file.
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
# TR_TEXT and TR_HINT (common/err.h) mark the context and source text of the Tr holders.
"$lupdate" -silent -no-obsolete -locations none -source-language ru -target-language en \
  -tr-function-alias QT_TRANSLATE_NOOP+=TR_TEXT,QT_TRANSLATE_NOOP+=TR_HINT \
  -I . app common core desktop link metrics tcp text ui -ts "$ts"
