#!/usr/bin/env bash
# The toolchain as people install it. `cmake --install` into a fresh prefix, which is
# then moved elsewhere (the build tree's paths must not be in the binaries); from an
# unrelated folder, with the installed tolvanec only: hello.bas built and run, an
# installed example run, a new game made and run; the installed first page and manual
# page; the session host tolvane-host and its example unit. Then `cpack -G DEB`: the package's control fields and files, and its files
# unpacked (dpkg-deb -x, no system-wide install) building and running hello.bas again,
# and, where the build has the browser kit, building hello.bas's page with the packaged
# kit and the system's em++.
#   install_test.sh BUILD_DIR SOURCE_DIR [web]
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
web=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy TOLVANE_NO_WAIT=1 XDG_CACHE_HOME="$work/cache"
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
mv "$work/prefix" "$work/moved"
p="$work/moved"
for f in bin/tolvanec bin/shoebox lib/libtolvane.a include/tolvane/tolvane.h include/tolvane/core/dqstr.h \
         share/tolvane/Smalfont.bmp share/tolvane/editors/tolvane.tmLanguage.json share/doc/tolvane/language.md \
         share/doc/tolvane/examples/sprites.bas share/doc/tolvane/examples/assets/Gfx/Back.bmp \
         share/nvim/site/syntax/tolvane.vim share/vim/vimfiles/ftdetect/tolvane.vim \
         share/doc/tolvane/README.md share/man/man1/tolvanec.1.gz bin/tolvane-host share/doc/tolvane/hosting.md \
         share/doc/tolvane/examples/tolvane-host.service; do
  [ -e "$p/$f" ] || fail "$f is not installed"
done
# The first page is the package's own, not the developers' README of the source tree.
readme="$p/share/doc/tolvane/README.md"
grep -q 'tolvanec new' "$readme" || fail "the installed README does not say how to start a game"
if grep -q -e 'scripts/' -e 'build/' "$readme"; then fail "the installed README speaks of the source tree"; fi
# The manual page reads with man, and names every command.
if command -v man >/dev/null; then
  man -l "$p/share/man/man1/tolvanec.1.gz" > "$work/man.txt" 2>&1 || fail "man cannot read tolvanec.1.gz"
else
  zcat "$p/share/man/man1/tolvanec.1.gz" | sed 's/\\f[BIRP]//g; s/\\-/-/g' > "$work/man.txt"
fi
for word in check cpp build run new lsp help; do
  grep -q "tolvanec $word" "$work/man.txt" || fail "the manual page lacks tolvanec $word"
done
# Only the public header and what it includes; no internal header.
while IFS= read -r h; do
  head -1 "$h" | grep -q '^// Internal' && fail "internal header installed: $h"
done < <(find "$p/include" -name '*.h')
[ "$(find "$p/include" -name '*.h' | wc -l)" -lt 40 ] || fail "too many headers installed"
# No path of the build or source tree in the programs (their debugging notes aside).
for exe in tolvanec shoebox tolvane-host; do
  strip -o "$work/$exe.stripped" "$p/bin/$exe"
  if grep -aq -e "$build" -e "$src" "$work/$exe.stripped"; then fail "$exe names the build tree"; fi
done
# The session host runs from the moved tree, without the window and sound libraries.
"$p/bin/tolvane-host" --help | grep -q -- '--name SESSION' || fail "tolvane-host --help does not run"
if ldd "$p/bin/tolvane-host" | grep -q -i -e sdl -e libGL; then fail "tolvane-host links the window or sound"; fi

# From an unrelated folder, with the installed tolvanec only.
mkdir "$work/elsewhere"
cd "$work/elsewhere"
cat > hello.bas <<'BAS'
SETTINGS TITLE "Hello", WIDTH 640, HEIGHT 480
x = 0
WHILE 1
    x = MOD(x + 2, 640)
    FILLRECT x, 200, x + 32, 232, 0x1A99E6
    PRINT "Hello - Escape ends", 8, 8
    SHOWSCREEN
WEND
BAS
"$p/bin/tolvanec" build hello.bas -o hello
TOLVANE_FRAMES=5 ./hello || fail "hello did not run"
# An installed example that uses the game's pictures and sounds beside the examples.
TOLVANE_FRAMES=30 "$p/bin/tolvanec" run "$p/share/doc/tolvane/examples/sprites.bas" || fail "sprites.bas did not run"
# A new game, played headless; a screenshot of it.
"$p/bin/tolvanec" new starter >/dev/null
grep -q "$p/share/doc/tolvane/language.md" starter/README.md || fail "the new game's README does not name the installed docs"
(cd starter && TOLVANE_FRAMES=20 TOLVANE_SHOTS="$work/shots:20" "$p/bin/tolvanec" run) || fail "the new game did not run"
[ -s "$work/shots/frame-000020.bmp" ] || fail "no screenshot of the new game"

# The Debian package.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >/dev/null 2>&1 || fail "cpack failed"
deb=$(ls "$work"/pkg/tolvane_*.deb)
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tolvane ] || fail "Package: $(field Package)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for need in "g++ | c++-compiler" libsdl2-2.0-0 libsdl2-mixer-2.0-0 liblzo2-2 libenet7 libavformat libgles2 libc6 libstdc++6; do
  grep -q -- "$need" <<<"$depends" || fail "Depends lacks $need: $depends"
done
grep -q -- "-dev" <<<"$depends" && fail "Depends names a development package: $depends"
dpkg-deb -c "$deb" > "$work/contents"
for f in usr/bin/tolvanec usr/share/man/man1/tolvanec.1.gz usr/share/doc/tolvane/README.md usr/bin/tolvane-host \
         usr/share/doc/tolvane/examples/tolvane-host.service; do
  grep -q "\./$f\$" "$work/contents" || fail "the package has no /$f"
done
dpkg-deb -x "$deb" "$work/root"
grep -q '^ExecStart=/usr/bin/tolvane-host --name ' "$work/root/usr/share/doc/tolvane/examples/tolvane-host.service" ||
  fail "the example unit does not start the packaged tolvane-host"
mkdir "$work/again" && cd "$work/again" && cp ../elsewhere/hello.bas .
"$work/root/usr/bin/tolvanec" build hello.bas || fail "the packaged tolvanec cannot build"
TOLVANE_FRAMES=5 ./hello || fail "hello from the packaged tolvanec did not run"
# The debugger for editors from the package: a launch, a stop at a breakpoint in the loop,
# and the program's end when the editor lets it go.
dap() {  # one message of the debug protocol, framed
  printf 'Content-Length: %d\r\n\r\n%s' "${#1}" "$1"
}
{
  dap '{"seq":1,"type":"request","command":"initialize","arguments":{"adapterID":"tolvane"}}'
  dap '{"seq":2,"type":"request","command":"launch","arguments":{"program":"'"$PWD"'/hello.bas"}}'
  dap '{"seq":3,"type":"request","command":"setBreakpoints","arguments":{"source":{"path":"'"$PWD"'/hello.bas"},"breakpoints":[{"line":5}]}}'
  dap '{"seq":4,"type":"request","command":"configurationDone"}'
  for _ in $(seq 300); do grep -q '"reason":"breakpoint"' dap.out 2>/dev/null && break; sleep 0.1; done
  dap '{"seq":5,"type":"request","command":"disconnect","arguments":{"terminateDebuggee":true}}'
  for _ in $(seq 100); do grep -q '"command":"disconnect"' dap.out 2>/dev/null && break; sleep 0.1; done
} | SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 60 "$work/root/usr/bin/tolvanec" dap > dap.out ||
  fail "the packaged tolvanec dap did not end cleanly: $(cat dap.out)"
grep -q '"reason":"breakpoint"' dap.out || fail "the packaged debugger did not stop at the breakpoint: $(cat dap.out)"
if [ "$web" = web ]; then
  grep -q -- "emscripten" <<<"$depends" || fail "Depends lacks emscripten: $depends"
  for f in usr/share/tolvane/web/libtolvane.a usr/share/tolvane/web/page.html usr/share/tolvane/web/tolvane_web.js \
           usr/share/tolvane/web/synth/js-synthesizer.min.js usr/lib/tolvane/webmovie; do
    grep -q "\./$f\$" "$work/contents" || fail "the package has no /$f"
  done
  "$work/root/usr/bin/tolvanec" build --web hello.bas || fail "the packaged tolvanec cannot make a page"
  for f in index.html hello.js hello.wasm hello.sbx synth/libfluidsynth.js; do
    [ -s "hello-web/$f" ] || fail "the page has no $f"
  done
  [ "$(head -c 4 hello-web/hello.wasm | od -An -tx1 | tr -d ' ')" = 0061736d ] || fail "hello.wasm is no WebAssembly"
  grep -q '<script src="hello.js">' hello-web/index.html || fail "the page does not load hello.js"
  grep -q 'hello.wasm' hello-web/hello.js || fail "hello.js does not load hello.wasm"
fi
echo "install test: installed tree and Debian package work${web:+, with the browser kit}"
