#!/usr/bin/env bash
# The batch time of jad's engines: a Brindle batch over commons-lang3 (Debian's jar, extracted),
# one jad run per class file in the order the walk meets them, first with Procyon alone (jad
# without Node, as it was before it had Vineflower) and then with the default engine
# (Vineflower, Procyon where Vineflower's source is not whole). Each engine runs two batches in
# a fresh service folder: the first starts the services, the second finds them warm. Prints
# wall time and CPU time (user+sys of the jad runs and of the services they started, read from
# /proc before the services are ended) per batch, and the ratio of the default to Procyon.
#   bash bench/jad_engine_batch_bench.sh [jar]
set -euo pipefail
cd "$(dirname "$0")/.."
jar=${1:-/usr/share/java/commons-lang3.jar}
source scripts/packages.sh
brindle_install_packages unzip libcommons-lang3-java
cmake --preset linux >/dev/null
cmake --build build/linux -j"$(nproc)" --target jad jad_service vineflower >/dev/null
jad=$PWD/build/linux/engine/jad

work=$(mktemp -d)
trap 'for p in $(services); do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
unzip -q "$jar" -d "$work/classes"
mapfile -t files < <(find "$work/classes" -name '*.class')  # readdir's order, as the walk
ticks=$(getconf CLK_TCK)

services() {  # the services started from this benchmark's socket folders, still running
  local file
  for file in $(grep -lsa -- "$work/sockets" /proc/[0-9]*/cmdline 2>/dev/null); do
    [[ $(awk '{print $3}' "${file%/cmdline}/stat" 2>/dev/null) == Z ]] || echo "${file#/proc/}" | cut -d/ -f1
  done
}
service_ticks() {  # user+sys clock ticks of those services
  local sum=0 pid
  for pid in $(services); do
    read -r -a stat < "/proc/$pid/stat" || continue
    sum=$((sum + stat[13] + stat[14]))
  done
  echo "$sum"
}

batch() {  # engine label, node setting, batch number
  local out=$work/out/$1-$3 start end cpu before after
  mkdir -p "$out"
  before=$(service_ticks)
  start=$(date +%s.%N)
  cpu=$( { /usr/bin/time -f '%U %S' bash -c '
      jad=$1 out=$2; shift 2
      fails=0
      for f in "$@"; do "$jad" -sjava -8 -ff -d"$out" "$f" 2>>"$out.err" || fails=$((fails + 1)); done
      echo "$fails" > "$out.fails"' _ "$jad" "$out" "${files[@]}" ; } 2>&1 >/dev/null | tail -1)
  end=$(date +%s.%N)
  after=$(service_ticks)
  awk -v l="$1" -v n="$3" -v w="$(echo "$end - $start" | bc)" -v c="$cpu" -v s="$((after - before))" \
      -v t="$ticks" -v f="$(cat "$out.fails")" -v k="${#files[@]}" 'BEGIN {
    split(c, u, " "); total = u[1] + u[2] + s / t
    printf "%-10s batch %d  %4d files  %3d failed  wall %7.1f s  cpu %7.1f s\n", l, n, k, f, w, total
    print l, n, w, total > "/dev/stderr" }'
}

run_engine() {  # label, BRINDLE_JAD_NODE or empty for node on PATH
  export XDG_RUNTIME_DIR=$work/sockets/$1
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  if [[ -n $2 ]]; then export BRINDLE_JAD_NODE=$2; else unset BRINDLE_JAD_NODE; fi
  batch "$1" "$2" 1
  batch "$1" "$2" 2
  local p
  for p in $(services); do kill "$p" 2>/dev/null || true; done
  # Gone before the next engine's batches count their services' time.
  for _ in $(seq 100); do [[ -z $(services) ]] && break; sleep 0.1; done
}

echo "jad batches over $(basename "$jar") ($(nproc) cores; the machine may be busy)"
{ run_engine procyon /nonexistent/node; run_engine default ""; } 2> "$work/figures"
awk '{ wall[$1 $2] = $3; cpu[$1 $2] = $4 } END {
  for (n = 1; n <= 2; n++)
    printf "batch %d: default / Procyon  wall %.2fx  cpu %.2fx\n", n,
           wall["default" n] / wall["procyon" n], cpu["default" n] / cpu["procyon" n] }' "$work/figures"
