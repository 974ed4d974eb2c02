#!/usr/bin/env bash
# The download benchmark: how fast the web stub downloads its setup file from
# a loopback server under Wine, next to curl fetching the same URL natively,
# and how much memory the stub needs for it (a 20 MiB and a 200 MiB package,
# so one sees whether the peak grows with the file).
#
#   bench/download.sh                  3 runs
#   BENCH_RUNS=5 bench/download.sh     more runs
#   BENCH_SIZES=20,200,1000 bench/download.sh
#                                      other package sizes (MiB of payload)
#   BENCH_BUILD=1 bench/download.sh    rebuild the programs it uses first
#                                      (otherwise only missing ones are built)
#
# Installs what it lacks (as root), builds what is missing: the stub and the
# debug viewer as shipped (build/ship), the launcher and the benchmark's
# engine from the Windows tree, varnix-pack from the host tree
# (VARNIX_SHIP_BUILD / VARNIX_WIN_BUILD / VARNIX_HOST_BUILD choose other
# trees); brings up a private Wine environment in build/wine-dlbench, makes
# the packages in build/bench-download (once; about 250 MB), then runs
# download_bench.py, which serves them, packs the web stubs for the server's
# port and prints the table. On a machine whose kernel runs no 32-bit code the
# stub runs only with VARNIX_WINE_EMULATION=qemu (emulated, so slow); without
# it only curl's figures are taken.
set -euo pipefail

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$REPO"
# shellcheck source=../tests/lib/wine-env.sh
source tests/lib/wine-env.sh

RUNS="${BENCH_RUNS:-3}"
SIZES="${BENCH_SIZES:-20,200}"
HOST_BUILD="$(realpath -m "${VARNIX_HOST_BUILD:-build/host}")"
WIN_BUILD="$(realpath -m "${VARNIX_WIN_BUILD:-build/win}")"
SHIP_BUILD="$(realpath -m "${VARNIX_SHIP_BUILD:-build/ship}")"
WORK="$REPO/build/bench-download"
PYTHON=/usr/bin/python3

log() { printf 'bench: %s\n' "$*" >&2; }

varnix_install_deps
if ! command -v curl >/dev/null; then
  log "installing curl"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends curl </dev/null >/dev/null
fi

PACK="$HOST_BUILD/tools/pack/varnix-pack"
STUB="$SHIP_BUILD/src/varnix-stub.exe"
VIEWER="$SHIP_BUILD/tools/vdebug-viewer/vdebug-viewer.exe"
LAUNCHER="$WIN_BUILD/tools/test-helpers/launcher.exe"
ENGINE="$WIN_BUILD/tools/bench-baseline/bench-engine.exe"

build() {  # TREE TOOLCHAIN TARGET...
  local tree="$1" toolchain="$2"
  shift 2
  log "building $* in $tree"
  if [[ ! -f "$tree/CMakeCache.txt" ]]; then
    cmake -S . -B "$tree" ${toolchain:+-DCMAKE_TOOLCHAIN_FILE=$toolchain} >/dev/null
  fi
  cmake --build "$tree" -j2 --target "$@" >/dev/null
}
[[ -x "$PACK" && -z "${BENCH_BUILD:-}" ]] || build "$HOST_BUILD" "" varnix-pack
ship_targets=()
[[ -f "$STUB" && -z "${BENCH_BUILD:-}" ]] || ship_targets+=(varnix-stub)
[[ -f "$VIEWER" && -z "${BENCH_BUILD:-}" ]] || ship_targets+=(vdebug-viewer)
((${#ship_targets[@]} == 0)) || build "$SHIP_BUILD" cmake/mingw-i686-ship.cmake "${ship_targets[@]}"
win_targets=()
[[ -f "$LAUNCHER" && -z "${BENCH_BUILD:-}" ]] || win_targets+=(launcher)
[[ -f "$ENGINE" && -z "${BENCH_BUILD:-}" ]] || win_targets+=(bench-engine)
((${#win_targets[@]} == 0)) || build "$WIN_BUILD" cmake/mingw-i686.cmake "${win_targets[@]}"

stub_args=(--launcher "$LAUNCHER" --viewer "$VIEWER")
if varnix_i386_native; then
  windows="native"
elif [[ "${VARNIX_WINE_EMULATION:-}" == qemu ]] && varnix_i386_emulation; then
  windows="emulated by qemu-user: the stub's figures include the emulator"
else
  windows=""
  stub_args=(--no-stub)
  log "NOTICE: this machine's kernel runs no 32-bit x86 code: the stub is NOT run, only curl" \
    "(VARNIX_WINE_EMULATION=qemu runs the stub under qemu-user)"
fi
if [[ -n "$windows" ]]; then
  # The prefix is a fresh copy of the template each time: drop it afterwards.
  trap 'varnix_wine_down; rm -rf "$REPO/build/wine-dlbench"' EXIT
  varnix_wine_up "$REPO/build/wine-dlbench" 2>/dev/null
  log "stub: $STUB ($(stat -c '%s bytes, built %y' "$STUB" | cut -d. -f1)); $(wine --version) ($windows)"
fi
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY
export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost
log "$(curl --version | head -1 | cut -d' ' -f1-2), $(nproc) cores; $RUNS runs of $SIZES MiB"
"$PYTHON" bench/download_bench.py --runs "$RUNS" --sizes "$SIZES" --work "$WORK" \
  --stub "$STUB" --pack "$PACK" --engine "$ENGINE" "${stub_args[@]}"
