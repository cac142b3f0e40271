#!/usr/bin/env bash
# Takes docs/brindle-windows.png: the real Brindle.exe under Wine on a virtual X screen
# (1280x1024x24), after a small batch over a few class files with the recording fake engine.
# Runs in a throw-away Wine prefix with a Chinese locale; needs a built Windows tree.
#
#   bash scripts/screenshot-windows.sh [build folder] [picture]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/windows}")
picture=$(realpath -m "${2:-$root/docs/brindle-windows.png}")

cmake --build "$build" --target brindle fake_engine win32_window_driver

work=$(mktemp -d /tmp/brindle-shot.XXXXXX)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=zh_CN.UTF-8
wineboot -i >/dev/null 2>&1
# A Wine desktop of the screen's size: Wine then draws the frames and captions itself, which no
# window manager does on the bare X screen.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
wineserver -w

# The program folder, the engine in the Windows folder, and a source tree at the default
# source folder C:\Tarnwick\Servlets.
prog=$WINEPREFIX/drive_c/Brindle
mkdir -p "$prog"
cp "$build/frontend/app/Brindle.exe" "$prog/"
cp "$build/tests/fakes/fake_engine.exe" "$WINEPREFIX/drive_c/windows/Jad.exe"
src=$WINEPREFIX/drive_c/Tarnwick/Servlets
mkdir -p "$src/com/example/util" "$src/org/demo"
for file in Hello.class com/example/App.class com/example/Main.class \
            'com/example/util/Strings.class' 'com/example/util/Strings$Cache.class' \
            org/demo/Servlet.class org/demo/readme.txt; do
  printf 'class' > "$src/$file"
done

export PROG=$prog PICTURE=$picture DRIVER=$build/tests/win32/win32_window_driver.exe
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  wine "$PROG/Brindle.exe" &
  read -r x y width height < <(wine "$DRIVER" | tr -d "\r")
  sleep 1
  import -window root -crop "${width}x${height}+${x}+${y}" +repage "$PICTURE"
  wineserver -k || true
'
echo "wrote $picture"
