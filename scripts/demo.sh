#!/usr/bin/env bash
# Installs what the Linux programs need and is missing (none of the test tools), builds them
# without the tests, lays out a program folder in build/demo, and decompiles the bundled
# samples/Hello.class in single-file mode. With a display the source opens in the desktop's
# viewer; without one it is shown in the terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
brindle_install_packages "${brindle_demo_packages[@]}"

# A build of the programs alone, without the tests.
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLE_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
program=build/demo
rm -rf "$program"
cmake --install build/release --prefix "$program" >/dev/null
program=$(cd "$program" && pwd)

if [[ -z ${DISPLAY:-}${WAYLAND_DISPLAY:-} ]]; then
  # No desktop: the viewer is cat, so the source lands in this terminal.
  printf '%s\r\n' "$(command -v cat)" > "$program/ShellApp.ini"
fi

echo "Decompiling samples/Hello.class into $program/JavaSourceCode ..."
"$program/brindle" "$PWD/samples/Hello.class"
# brindle does not wait for its viewer; give it a moment to print.
sleep 1
