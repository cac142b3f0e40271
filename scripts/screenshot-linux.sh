#!/usr/bin/env bash
# Takes docs/brindle-linux.png: the real brindle window on a virtual X screen (1280x1024x24),
# after a small batch over a few class files with the recording fake engine as jad. The batch
# is driven through the window's own keys with xdotool: Alt+D and a typed path in the folder
# chooser, Alt+G to start, Enter on the completion message. Builds brindle and the fake engine
# in the build folder (by default build/linux, as `cmake --preset linux` makes it), configuring
# it first when nothing has.
#
#   bash scripts/screenshot-linux.sh [build folder] [picture]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/linux}")
picture=$(realpath -m "${2:-$root/docs/brindle-linux.png}")

for tool in xvfb-run xdotool import; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (apt-get install xvfb xdotool imagemagick)" >&2; exit 1; }
done
[[ -f $build/CMakeCache.txt ]] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target brindle fake_engine

work=$(mktemp -d /tmp/brindle-shot.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The program folder with the fake engine beside brindle, and a small source tree.
prog=$work/Brindle
mkdir -p "$prog"
cp "$build/frontend/app/brindle" "$prog/"
cp "$build/tests/fakes/fake_engine" "$prog/jad"
src=$work/servlets
mkdir -p "$src/com/example/util" "$src/org/demo"
for file in Hello.class com/example/App.class com/example/Main.class \
            'com/example/util/Strings.class' 'com/example/util/Strings$Cache.class' \
            org/demo/Servlet.class org/demo/readme.txt; do
  cp "$root/samples/Hello.class" "$src/$file"
done

export PROG=$prog SRC=$src PICTURE=$picture HOME=$work/home XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  "$PROG/brindle" &
  brindle=$!
  window=$(xdotool search --sync --onlyvisible --name "^VantryJAVA")
  sleep 1
  xdotool windowfocus --sync "$window"
  xdotool key alt+d
  chooser=$(xdotool search --sync --onlyvisible --name "^请选择要反编译")
  sleep 1
  xdotool windowfocus --sync "$chooser"
  xdotool key ctrl+a
  xdotool type --delay 20 "$SRC"
  xdotool key Return
  sleep 1
  xdotool windowfocus --sync "$window"
  xdotool key alt+g
  message=$(xdotool search --sync --onlyvisible --name "^系统提示")
  sleep 1
  xdotool windowfocus --sync "$message"
  xdotool key Return
  sleep 1
  import -window "$window" "$PICTURE"
  kill "$brindle"
'
echo "wrote $picture"
