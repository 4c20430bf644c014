#!/usr/bin/env bash
# Renders the main window in each link state, the About dialog and the exit dialog to PNG files
# under ./screenshots/, on a virtual X display with real fonts. BUILD_DIR picks the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for p in xvfb fonts-dejavu-core; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target ruvo_screenshots
tool="$(find "$build" -name ruvo_screenshots -type f -perm -u+x | head -n 1)"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" "$tool" "$PWD/screenshots"
ls -1 screenshots/*.png
