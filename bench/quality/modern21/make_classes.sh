#!/usr/bin/env bash
# Compiles the Java 21 part of the quality benchmark's modern fixture into classes/, which is
# committed: the build's JDK 17 cannot compile pattern-matching switch or record patterns.
# Needs a javac of JDK 21 or later: JAVAC21=/path/to/javac, or the newest one below /usr/lib/jvm.
set -euo pipefail
cd "$(dirname "$0")"
javac=${JAVAC21:-}
if [[ -z $javac ]]; then
  for candidate in /usr/lib/jvm/*/bin/javac; do
    version=$("$candidate" -version 2>&1 | sed -n 's/^javac \([0-9]*\).*/\1/p')
    if [[ -n $version ]] && ((version >= 21)); then javac=$candidate; fi
  done
fi
[[ -n $javac ]] || { echo "no javac of JDK 21 or later; set JAVAC21" >&2; exit 1; }
rm -rf classes
"$javac" --release 21 -encoding UTF-8 -d classes $(find src -name '*.java' | sort)
echo "compiled with $("$javac" -version 2>&1)"
