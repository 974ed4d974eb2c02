#!/usr/bin/env bash
# The download benchmark: a web stub under Wine downloads a setup package
# from a loopback server, next to curl fetching the same URL, for a 200 MB
# and a 20 MB package; prints the times, the rate ratio to curl and the
# stub's peak working set (bench/download_bench.py).
#
#   bench/download.sh                3 runs
#   BENCH_RUNS=5 bench/download.sh   more runs
#
# Installs what it lacks (as root), builds the programs when they are
# missing (the stub and the viewer as shipped, the launcher and the
# benchmark's engine from the Windows tree, varnix-pack from the host tree),
# makes the two packages in build/bench-download once (random data, stored,
# so the files are as large as their content) and brings up a private Wine
# environment in build/wine-bench-download.
set -euo pipefail

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$REPO"
# shellcheck source=../tests/lib/wine-env.sh
source tests/lib/wine-env.sh

RUNS="${BENCH_RUNS:-3}"
WORK="$REPO/build/bench-download"
PACK=build/host/tools/pack/varnix-pack
STUB=build/ship/src/varnix-stub.exe
VIEWER=build/ship/tools/vdebug-viewer/vdebug-viewer.exe
LAUNCHER=build/win/tools/test-helpers/launcher.exe
ENGINE=build/win/tools/bench-baseline/bench-engine.exe
log() { printf 'bench: %s\n' "$*" >&2; }

varnix_install_deps
if ! command -v curl >/dev/null; then
  log "installing curl"
  apt-get update -q </dev/null >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends curl </dev/null >/dev/null
fi
if ! varnix_i386_native; then
  log "this machine runs no 32-bit x86 code natively: Wine runs under qemu-user (slow; figures inflated)"
  varnix_i386_emulation
fi

[[ -x "$PACK" ]] || { cmake -S . -B build/host >/dev/null && cmake --build build/host -j2 --target varnix-pack >/dev/null; }
if [[ ! -f "$STUB" || ! -f "$VIEWER" ]]; then
  [[ -f build/ship/CMakeCache.txt ]] || cmake -S . -B build/ship -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686-ship.cmake >/dev/null
  cmake --build build/ship -j2 --target varnix-stub vdebug-viewer >/dev/null
fi
if [[ ! -f "$LAUNCHER" || ! -f "$ENGINE" ]]; then
  [[ -f build/win/CMakeCache.txt ]] || cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
  cmake --build build/win -j2 --target launcher bench-engine >/dev/null
fi

mkdir -p "$WORK"
make_package() {  # NAME MEGABYTES
  local name="$1" megabytes="$2" files="$WORK/$1-files"
  [[ -f "$WORK/$name.exe" && "$WORK/$name.exe" -nt "$STUB" ]] && return
  rm -rf "$files" && mkdir -p "$files"
  cp "$ENGINE" "$files/engine.exe"
  head -c "$((megabytes * 1024 * 1024))" /dev/urandom >"$files/data.bin"
  cat >"$WORK/$name.ini" <<INI
; Made by bench/download.sh.
[Package]
Type = setup
Stub = $REPO/$STUB
Output = $WORK/$name.exe
Files = $files
Launch = engine.exe
Compression = 0

[Web]
Folder = http://127.0.0.1/unused
FileName = $name.exe
Token = bench-token
Size = 1
INI
  "$PACK" build "$WORK/$name.ini" --seed 1 >/dev/null
  rm -rf "$files"
}
make_package setup200 200
make_package setup20 20

trap 'varnix_wine_down; rm -rf "$REPO/build/wine-bench-download"' EXIT
varnix_wine_up "$REPO/build/wine-bench-download" 2>/dev/null
log "stub: $STUB ($(stat -c %s "$STUB") bytes); $(wine --version); $(nproc) cores; $RUNS runs"
/usr/bin/python3 bench/download_bench.py --runs "$RUNS" --work "$WORK" --stub "$REPO/$STUB" --pack "$PACK" \
  --launcher "$LAUNCHER" --viewer "$VIEWER" --package "$WORK/setup200.exe" --package "$WORK/setup20.exe"
