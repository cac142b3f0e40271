#!/usr/bin/env bash
# What scripts/demo.sh and scripts/test.sh ask apt-get to install on a machine that has none of
# the packages: the demo only what the Linux programs need, the tests that and their own tools.
# apt-get, dpkg-query, sudo and the locale tools are recording stand-ins; cmake is one that
# fails, so each script stops right after its installing.
#
#   bash tests/scripts/packages_test.sh <source folder>
set -uo pipefail
root=$(cd "${1:?source folder}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/bin"
cat > "$work/bin/apt-get" <<'FAKE'
#!/bin/sh
[ "$1" = install ] && shift 3 && printf '%s\n' "$@" | sort > "$FAKE_LOG"
exit 0
FAKE
printf '#!/bin/sh\nexit 1\n' > "$work/bin/dpkg-query"
printf '#!/bin/sh\nexit 1\n' > "$work/bin/cmake"
printf '#!/bin/sh\necho zh_CN.utf8\n' > "$work/bin/locale"
printf '#!/bin/sh\nexec "$@"\n' > "$work/bin/sudo"
chmod +x "$work/bin/"*

# The packages that scripts/<name> asks for, one a line, sorted.
asked() {
  FAKE_LOG="$work/$1.asked" PATH="$work/bin:$PATH" bash "$root/scripts/$1" >/dev/null 2>&1
  cat "$work/$1.asked" 2>/dev/null
}
listed() {
  (source "$root/scripts/packages.sh" && eval 'printf "%s\n" "${'"$1"'[@]}"') | sort
}

failed=0 passed=0
check() {  # name, then a command that must succeed
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else echo "FAILED: $name"; failed=$((failed + 1)); fi
}

demo=$(asked demo.sh)
tests=$(asked test.sh)
check "the demo asks for the demo's packages" test "$demo" = "$(listed brindle_demo_packages)"
for tool in wine wine64 g++-mingw-w64-x86-64-posix xvfb imagemagick xdotool libgtest-dev; do
  check "the demo does not ask for $tool" bash -c '! grep -qx -- "$1" <<<"$2"' _ "$tool" "$demo"
done
check "the tests ask for both lists" \
  test "$tests" = "$(sort <(listed brindle_demo_packages) <(listed brindle_test_packages))"

echo "$passed passed, $failed failed"
((failed == 0))
