#!/usr/bin/env bash
# Renders the main window in each link state, the About and exit dialogs and the editing dialogs to PNG files
# under ./screenshots/ (Russian) and ./screenshots/en/ (English), on a virtual X display with real fonts,
# and the device list and the modem picker at two screen sizes under ./screenshots/device_list/.
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
# The device list and the modem picker as they open on a 1280x1024 monitor and on 1920x1080 at 150 % scaling, in both
# languages; these are kept in the repository, under screenshots/device_list/.
for screen in "1280x1024 1 1280x1024" "1920x1080 1.5 1920x1080_150"; do
  read -r size scale name <<<"$screen"
  for lang in ru en; do
    tmp="$(mktemp -d)"
    QT_SCALE_FACTOR="$scale" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 ${size}x24" "$tool" "$tmp" "$lang"
    mkdir -p "screenshots/device_list/$name"
    cp "$tmp/dialog_devices.png" "screenshots/device_list/$name/$lang.png"
    cp "$tmp/dialog_modems.png" "screenshots/device_list/$name/${lang}_picker.png"
    rm -rf "$tmp"
  done
done
ls -1 screenshots/*.png screenshots/en/*.png screenshots/device_list/*/*.png
