#!/usr/bin/env bash
# Installs what programs in the browser need: Debian's em++ (emscripten, with node-acorn),
# Debian's chromium for the tests (headless, software WebGL), npm, and the npm packages of
# tools/web (the SoundFont synthesizer, the LZO sources, the browser driver of the
# tests, the debug client of the debugger's test) exactly as tools/web/package-lock.json fixes them. Nothing is downloaded when
# everything is there. No npm package's install script runs, and no tool fetches a
# browser of its own: the tests drive /usr/bin/chromium.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(emscripten node-acorn chromium)
# Debian's Node comes without npm; a Node that brings its own npm needs no package.
if ! command -v npm >/dev/null 2>&1; then PACKAGES+=(npm); fi
missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-web-deps: installing ${missing[*]}"
  SUDO=
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q >/dev/null
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

# The npm packages, once per change of the lock file.
if ! command -v npm >/dev/null 2>&1; then
  echo "install-web-deps: npm is missing; the browser build stays off" >&2
  exit 0
fi
stamp=tools/web/node_modules/.tolvane-lock
if [ ! -f "$stamp" ] || ! cmp -s tools/web/package-lock.json "$stamp"; then
  echo "install-web-deps: installing the npm packages of tools/web"
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --prefix tools/web --ignore-scripts --no-audit --no-fund >/dev/null
  cp tools/web/package-lock.json "$stamp"
fi
