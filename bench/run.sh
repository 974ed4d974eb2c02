#!/usr/bin/env bash
# The unpack benchmark: how fast and in how much memory the stub unpacks a
# reference payload under Wine, next to a minimal streaming unpacker built the
# same way (the baseline) and, for context, unzip and 7z natively.
#
#   bench/run.sh                 5 runs
#   BENCH_RUNS=9 bench/run.sh    more runs
#   BENCH_BUILD=1 bench/run.sh   rebuild the programs it uses first (otherwise
#                                only missing ones are built)
#   BENCH_NICE=-10 bench/run.sh  run everything at that niceness (root), which
#                                steadies the figures on a busy machine
#   BENCH_HUGE=1 bench/run.sh    instead the large-file row: the stub alone, once
#                                (BENCH_RUNS for more), on one file of 4.5 GiB of
#                                zeros (packed to a few MB) beside the 100 MB
#                                file, to show that neither time per byte nor
#                                memory grows with the file. The unpacked copy is
#                                real data: it needs about 5 GB free and the stub
#                                removes it at the end of each run
#
# Installs what it lacks (as root), builds the programs when they are missing:
# the stub, the debug viewer and the baseline as shipped (build/ship), the
# launcher and the engine from the Windows tree, varnix-pack from the host
# tree (VARNIX_SHIP_BUILD / VARNIX_WIN_BUILD / VARNIX_HOST_BUILD choose other
# trees); brings up a private Wine environment in build/wine-bench, makes the
# payloads in build/bench (once; about 300 MB, see make_corpus.py), packs them
# with varnix-pack, zips them (once), then runs bench.py, which prints the
# table. Takes about 4 minutes for 5 runs once the corpus exists (making the
# corpus and the zips the first time adds about a minute). Wall times follow
# the load of the machine: compare figures taken on a quiet one, or read the
# paired ratios, which compare runs made moments apart.
set -euo pipefail

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$REPO"
# shellcheck source=../tests/lib/wine-env.sh
source tests/lib/wine-env.sh

RUNS="${BENCH_RUNS:-5}"
HOST_BUILD="$(realpath -m "${VARNIX_HOST_BUILD:-build/host}")"
WIN_BUILD="$(realpath -m "${VARNIX_WIN_BUILD:-build/win}")"
SHIP_BUILD="$(realpath -m "${VARNIX_SHIP_BUILD:-build/ship}")"
WORK="$REPO/build/bench"
PYTHON=/usr/bin/python3

log() { printf 'bench: %s\n' "$*" >&2; }

if [[ -n "${BENCH_NICE:-}" ]]; then
  renice -n "$BENCH_NICE" -p $$ >/dev/null  # inherited by Wine, its server and the native tools
fi

# --- packages -------------------------------------------------------------
varnix_install_deps
bench_packages=(zip unzip p7zip-full)
missing=()
for pkg in "${bench_packages[@]}"; do
  [[ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)" == "install ok installed" ]] || missing+=("$pkg")
done
if ((${#missing[@]})); then
  log "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q </dev/null >/dev/null
  apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null >/dev/null
fi

# --- programs -------------------------------------------------------------
PACK="$HOST_BUILD/tools/pack/varnix-pack"
# The stub, the viewer and the baseline as shipped: the baseline is built as
# the stub is (compiler, thread model, LTO), so the two compare like for like.
STUB="$SHIP_BUILD/src/varnix-stub.exe"
VIEWER="$SHIP_BUILD/tools/vdebug-viewer/vdebug-viewer.exe"
BASELINE="$SHIP_BUILD/tools/bench-baseline/varnix-baseline.exe"
LAUNCHER="$WIN_BUILD/tools/test-helpers/launcher.exe"
FAKE_ENGINE="$WIN_BUILD/tools/test-helpers/fake-engine.exe"
OWN_ENGINE="$WIN_BUILD/tools/bench-baseline/bench-engine.exe"

if [[ ! -x "$PACK" || -n "${BENCH_BUILD:-}" ]]; then
  log "building varnix-pack in $HOST_BUILD"
  cmake -S . -B "$HOST_BUILD" >/dev/null
  cmake --build "$HOST_BUILD" -j2 --target varnix-pack >/dev/null
fi
# Build what is missing (everything with BENCH_BUILD): the stub, the debug
# viewer and the baseline as shipped, the launcher (full exit codes) and an
# engine.
ship_targets=()
[[ -f "$STUB" && -z "${BENCH_BUILD:-}" ]] || ship_targets+=(varnix-stub)
[[ -f "$VIEWER" && -z "${BENCH_BUILD:-}" ]] || ship_targets+=(vdebug-viewer)
[[ -f "$BASELINE" && -z "${BENCH_BUILD:-}" ]] || ship_targets+=(varnix-baseline)
if ((${#ship_targets[@]})); then
  log "building ${ship_targets[*]} in $SHIP_BUILD"
  if [[ ! -f "$SHIP_BUILD/CMakeCache.txt" ]]; then
    cmake -S . -B "$SHIP_BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686-ship.cmake >/dev/null
  fi
  cmake --build "$SHIP_BUILD" -j2 --target "${ship_targets[@]}" >/dev/null
fi
win_targets=()
[[ -f "$LAUNCHER" && -z "${BENCH_BUILD:-}" ]] || win_targets+=(launcher)
[[ ( -f "$FAKE_ENGINE" || -f "$OWN_ENGINE" ) && -z "${BENCH_BUILD:-}" ]] || win_targets+=(fake-engine bench-engine)
if ((${#win_targets[@]})); then
  log "building ${win_targets[*]} in $WIN_BUILD"
  if [[ ! -f "$WIN_BUILD/CMakeCache.txt" ]]; then
    cmake -S . -B "$WIN_BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
  fi
  for target in "${win_targets[@]}"; do
    if [[ "$target" == fake-engine ]]; then
      # Written by another part of the project; the benchmark's own engine stands in.
      cmake --build "$WIN_BUILD" -j2 --target fake-engine >/dev/null 2>&1 || log "no fake-engine; using bench-engine"
    else
      cmake --build "$WIN_BUILD" -j2 --target "$target" >/dev/null
    fi
  done
fi
# The engine the packages launch: the tests' fake engine (exits at once by
# default), else the benchmark's own.
ENGINE="$FAKE_ENGINE"
[[ -f "$ENGINE" ]] || ENGINE="$OWN_ENGINE"

# --- Wine -----------------------------------------------------------------
# The prefix is a fresh copy of the template each time: drop it afterwards.
trap 'varnix_wine_down; rm -rf "$REPO/build/wine-bench"' EXIT
varnix_wine_up "$REPO/build/wine-bench" 2>/dev/null

# --- corpus, packages, zips -----------------------------------------------
mkdir -p "$WORK"
"$PYTHON" bench/make_corpus.py "$WORK" --engine "$ENGINE" ${BENCH_HUGE:+--huge}

pack_corpus() {  # NAME FOLDER
  local name="$1" folder="$2"
  cat >"$WORK/$name.ini" <<EOF
; Made by bench/run.sh.
[Package]
Type = setup
Stub = $STUB
Output = $WORK/$name.exe
Files = $folder
Launch = engine.exe
Compression = 6
EOF
  "$PACK" build "$WORK/$name.ini" --seed 1 >/dev/null
}
zip_corpus() {  # NAME FOLDER
  local name="$1" folder="$2"
  if [[ ! -f "$WORK/$name.zip" || "$WORK/corpus.stamp" -nt "$WORK/$name.zip" ]]; then
    rm -f "$WORK/$name.zip"
    (cd "$folder" && zip -r -6 -q "$WORK/$name.zip" .)
  elif [[ "$WORK/engine.stamp" -nt "$WORK/$name.zip" ]]; then
    (cd "$folder" && zip -6 -q "$WORK/$name.zip" engine.exe)  # replaces only that entry
  fi
}
if [[ -n "${BENCH_HUGE:-}" ]]; then
  need=$((5 * 1024 * 1024 * 1024 + 512 * 1024 * 1024))
  avail="$(df --output=avail -B1 "$WINEPREFIX" | tail -1)"
  ((avail > need)) || { log "only $avail bytes free under $WINEPREFIX; the large-file row needs $need"; exit 1; }
  for name in single huge; do
    pack_corpus "vx$name" "$WORK/$name"
  done
  log "stub: $STUB; $(wine --version); $(nproc) cores; ${BENCH_RUNS:-1} run(s), stub only"
  "$PYTHON" bench/bench.py --runs "${BENCH_RUNS:-1}" --stub-only --limit 1800 --work "$WORK" \
    --launcher "$LAUNCHER" --viewer "$VIEWER" --baseline "$BASELINE" \
    --corpus "single:$WORK/vxsingle.exe::$WORK/single" \
    --corpus "huge:$WORK/vxhuge.exe::$WORK/huge"
  exit 0
fi

started=$SECONDS
for name in payload single; do
  pack_corpus "vx$name" "$WORK/$name"
  zip_corpus "vx$name" "$WORK/$name"
done
log "packed and zipped in $((SECONDS - started)) s"

log "stub: $STUB ($(stat -c '%s bytes, built %y' "$STUB" | cut -d. -f1)); engine: $ENGINE"
log "$(wine --version), $(nproc) cores; $RUNS runs"
"$PYTHON" bench/bench.py --runs "$RUNS" --work "$WORK" \
  --launcher "$LAUNCHER" --viewer "$VIEWER" --baseline "$BASELINE" \
  --corpus "payload:$WORK/vxpayload.exe:$WORK/vxpayload.zip:$WORK/payload" \
  --corpus "single:$WORK/vxsingle.exe:$WORK/vxsingle.zip:$WORK/single"
