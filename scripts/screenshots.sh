#!/usr/bin/env bash
# Renders the main window in each link state, the About and exit dialogs and the editing dialogs to PNG files
# under ./screenshots/ (Russian) and ./screenshots/en/ (English), on a virtual X display with real fonts.
# BUILD_DIR picks the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target ruvo_screenshots
tool="$(find "$build" -name ruvo_screenshots -type f -perm -u+x | head -n 1)"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" "$tool" "$PWD/screenshots"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" "$tool" "$PWD/screenshots/en" en
ls -1 screenshots/*.png screenshots/en/*.png
