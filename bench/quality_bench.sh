#!/usr/bin/env bash
# The quality benchmark: how much of what each engine writes compiles again with javac, on
# four Debian jars and the project's modern-Java fixture (bench/quality). Installs what is
# missing (the jars with their dependencies), builds jad and the Vineflower engine, and prints
# one table. Arguments go to bench/quality/quality_bench.mjs (--subjects, --engines,
# --cold N|all, --keep).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
brindle_install_packages "${brindle_demo_packages[@]}" unzip libcommons-lang3-java \
  libcommons-collections4-java libjackson2-databind-java libguava-java
cmake --preset linux >/dev/null
cmake --build build/linux -j"$(nproc)" --target jad vineflower >/dev/null
exec node bench/quality/quality_bench.mjs --jad build/linux/engine/jad \
  --vineflower build/linux/engine/vineflower "$@"
