#!/usr/bin/env bash
# Installs the Debian packages the build (with Qt 5 and with Qt 6), the tests and the screenshots
# need, if any is missing; packages named as arguments are installed too.
set -euo pipefail
packages=(qtbase5-dev qtbase5-dev-tools libqt5websockets5-dev qttools5-dev qttools5-dev-tools
  qt6-base-dev qt6-base-dev-tools qt6-websockets-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-qpa-plugins
  libsystemd-dev prometheus-cpp-dev libssl-dev
  cmake g++ make pkg-config fonts-dejavu-core xvfb netcat-openbsd openssl mbpoll python3-pymodbus python3-serial-asyncio prometheus socat chromium
  systemd ccache "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
