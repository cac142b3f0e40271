#!/usr/bin/env bash
# Runs every Brindle test: the native tests (also under ASan+UBSan, and the batch under
# ThreadSanitizer), the Linux screenshot script, and the Windows build's tests under Wine in a
# throw-away prefix.
# Installs the Debian packages it needs when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
brindle_install_packages "${brindle_demo_packages[@]}" "${brindle_test_packages[@]}"
brindle_make_chinese_locale

jobs=$(nproc)

echo "== The cores include no platform header"
if grep -rnE '#include *<(windows\.h|unistd\.h|dirent\.h|spawn\.h|fcntl\.h|signal\.h|poll\.h|sys/|Q)' \
     frontend/core frontend/archive engine/core common --exclude-dir=posix --exclude-dir=win32; then
  echo "frontend/core, frontend/archive, engine/core and common (outside posix/ and win32/) must stay free of platform headers" >&2
  exit 1
fi

echo "== No CMake file passes over a folder it does not find"
if grep -rnE --include=CMakeLists.txt --exclude-dir=build 'if *\(.*EXISTS' .; then
  echo "a missing or renamed folder must stop the build, not drop its targets and tests" >&2
  exit 1
fi

run_native() {  # build dir, extra cmake options..., then ctest arguments after --
  local dir=$1; shift
  local options=()
  while (($#)) && [[ $1 != -- ]]; do options+=("$1"); shift; done
  (($#)) && shift
  cmake -S . -B "$dir" -DBRINDLE_WERROR=ON "${options[@]}" >/dev/null
  cmake --build "$dir" -j"$jobs" ${BRINDLE_TARGET:+--target "$BRINDLE_TARGET"}
  ctest --test-dir "$dir" --output-on-failure "$@"
}

echo "== Linux build and tests"
run_native build/linux -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== The Linux screenshot script, run as the README runs it"
shot=$(mktemp -d)
bash scripts/screenshot-linux.sh "" "$shot/brindle-linux.png" >/dev/null
[[ -s $shot/brindle-linux.png ]] || { echo "scripts/screenshot-linux.sh took no picture" >&2; exit 1; }
rm -rf "$shot"
echo "== Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
run_native build/asan -DCMAKE_BUILD_TYPE=Debug -DBRINDLE_SANITIZE=ON
echo "== Batch tests under ThreadSanitizer"
BRINDLE_TARGET=batch_tests run_native build/tsan -DCMAKE_BUILD_TYPE=Debug -DBRINDLE_TSAN=ON -- -R batch

echo "== Windows cross build"
cmake --preset windows -DBRINDLE_WERROR=ON >/dev/null
cmake --build build/windows -j"$jobs"
cmake --build build/windows --target brindle_zip

echo "== Install layouts"
layout=$(mktemp -d)
trap 'rm -rf "$layout"' EXIT
cmake --install build/linux --prefix "$layout/linux" >/dev/null
cmake --install build/windows --prefix "$layout/windows" >/dev/null
for file in linux/brindle linux/typebind linux/jad linux/jad-service.jar linux/brindle.png linux/classfile.png \
            linux/vineflower/vineflower.mjs linux/vineflower/node_modules/@run-slicer/vf/vf.runtime.js \
            windows/Brindle.exe windows/Typebind.exe windows/README.txt windows/engine/Jad.exe \
            windows/engine/licenses/Apache-2.0.txt windows/engine/licenses/procyon-copyright.txt \
            windows/engine/licenses/jcommander-copyright.txt \
            windows/engine/licenses/run-slicer-vf-LICENSE.txt windows/engine/licenses/vineflower-LICENSE.txt; do
  [[ -f $layout/$file ]] || { echo "missing from the install: $file" >&2; exit 1; }
done

[[ -f build/windows/Brindle.zip ]] || { echo "missing: build/windows/Brindle.zip" >&2; exit 1; }
# The zip holds the program folder as installed, the engine and its licences included.
zipped=$(unzip -Z1 build/windows/Brindle.zip)
for file in Brindle.exe Typebind.exe README.txt engine/Jad.exe engine/licenses/Apache-2.0.txt \
            engine/licenses/procyon-copyright.txt engine/licenses/jcommander-copyright.txt \
            engine/licenses/run-slicer-vf-LICENSE.txt engine/licenses/vineflower-LICENSE.txt; do
  grep -qx "Brindle/$file" <<<"$zipped" || { echo "missing from Brindle.zip: $file" >&2; exit 1; }
done
# Jad.exe carries the service jar, the Procyon jars and Vineflower's JavaScript build (its tests
# unpack and compare them).
carried=$(stat -L -c %s /usr/share/java/procyon-{decompiler,compilertools,core,expressions,reflection}.jar \
          /usr/share/java/jcommander.jar build/windows/engine/jad-service.jar \
          build/windows/engine/vineflower/node_modules/@run-slicer/vf/vf.runtime.js | awk '{s += $1} END {print s}')
(( $(stat -c %s build/windows/engine/Jad.exe) > carried )) \
  || { echo "Jad.exe is smaller than the jars it must carry" >&2; exit 1; }

echo "== Windows tests under Wine, on a virtual display"
export WINEPREFIX="$layout/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
       LC_ALL=zh_CN.UTF-8
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
  'wineboot -i >/dev/null 2>&1; ctest --test-dir build/windows --output-on-failure'
wineserver -k 2>/dev/null || true
