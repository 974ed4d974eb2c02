#!/usr/bin/env bash
# Shows the stub at work under Wine on a private X display, unattended. What
# the stub traced is in build/demo/vdebug.log, screens in build/demo/*.png.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=tests/lib/wine-env.sh
source tests/lib/wine-env.sh

DEMO=build/demo
STUB=build/win/src/varnix-stub.exe
VIEWER=build/win/tools/vdebug-viewer/vdebug-viewer.exe
# shellcheck disable=SC2034 # for the scenario below
PACK_TOOL=build/host/tools/pack/varnix-pack

say() { printf '\ndemo: %s\n' "$*"; }
# shellcheck disable=SC1003 # a single backslash for tr
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
shot() { import -window root "$DEMO/$1.png" && echo "screen saved: $DEMO/$1.png"; }

say "installing what is missing"
varnix_install_deps

say "building"
cmake -S . -B build/host >/dev/null
cmake --build build/host -j2
trap varnix_wine_down EXIT
trap 'exit 130' INT TERM
varnix_wine_up build/wine-demo
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win -j2

rm -rf "$DEMO"
mkdir -p "$DEMO"

say "starting the debug viewer"
wine "$VIEWER" "/log=$(winpath "$DEMO/vdebug.log")" "/ready=$(winpath "$DEMO/viewer.ready")" \
  </dev/null >/dev/null 2>&1 &
for _ in $(seq 200); do
  [[ -f "$DEMO/viewer.ready" ]] && break
  sleep 0.05
done
[[ -f "$DEMO/viewer.ready" ]] || { echo "demo: the debug viewer did not start" >&2; exit 1; }

if [[ ! -f "$STUB" ]]; then
  say "the stub is not ready yet"
  exit 0
fi

# Scenario 1: a package built with the authoring tool.
#   Write a project and its files under $DEMO/project, then
#   "$PACK_TOOL" build "$DEMO/project/project.ini" "$DEMO/setup.exe"

# Scenario 2: run it as a user would and show what happened.
#   wine "$DEMO/setup.exe" ... ; shot setup-window ; report its exit code
#   (tools/test-helpers/launcher.exe prints the full 32-bit code).

say "what the stub traced"
cat "$DEMO/vdebug.log" 2>/dev/null || echo "(nothing)"
shot final
