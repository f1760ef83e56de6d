#!/usr/bin/env bash
# Installs, by Debian package name, everything the build, the tests and the game need.
# Packages already present are skipped; nothing is downloaded when all are there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  libsdl2-dev libsdl2-mixer-dev timgm6mb-soundfont
  liblzo2-dev libenet-dev libboost-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libgl1-mesa-dev libgl1-mesa-dri libglu1-mesa-dev libgles-dev libegl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang
  console-setup-linux gzip
  zenity
  nlohmann-json3-dev neovim dpkg-dev file git gdb
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Programs in the browser: em++, chromium and the npm packages, by a script of their own.
web() { bash "$(dirname "$0")/install-web-deps.sh"; }

if [ ${#missing[@]} -eq 0 ]; then
  web
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=sudo; else
    echo "install-deps: missing packages (${missing[*]}) and not root; install them as root and try again" >&2
    exit 1
  fi
else
  SUDO=
fi

export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get update -q >/dev/null; then
  echo "install-deps: 'apt-get update' failed; check the network and the package sources" >&2
  exit 1
fi
if ! $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null; then
  echo "install-deps: could not install: ${missing[*]}" >&2
  exit 1
fi
echo "install-deps: done"
web
