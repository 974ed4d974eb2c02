#!/usr/bin/env bash
# Builds the three trees (host, Windows with its tests, shipped programs) and
# runs every test tier, unattended; exits non-zero on the first failure.
#
#   ./test.sh          everything
#   ./test.sh host     tier 1: host unit tests and authoring-tool tests
#   ./test.sh fuzz     the fuzz targets, each for a bounded number of
#                      executions (./fuzz.sh runs long campaigns)
#   ./test.sh win      tier 2: Windows unit tests under Wine
#   ./test.sh e2e      tier 3: end-to-end tests of the Windows programs under Wine
#   ./test.sh matrix   tier 4: the representative end-to-end tests under each
#                      Windows version (98, NT 4, XP, 7, 10, and 10 on a 64-bit prefix)
# A single tier still does the builds and checks it needs.
#
# Tiers 2 to 4 run 32-bit Windows programs, which need a kernel that runs
# 32-bit x86 code. On a machine whose kernel refuses it they are skipped with
# a notice (the Windows build and its checks still run), unless
# VARNIX_WINE_EMULATION=qemu asks to run them under qemu-user: that works, at
# about 20 s an end-to-end test.
#
# Tiers 2 to 4 run several tests at a time, each in a Wine environment of its
# own (prefix, wineserver, Xvfb): VARNIX_WIN_JOBS (default 2) and
# VARNIX_E2E_WORKERS (default 2; 0 runs tier 3 in one process) set how many.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=tests/lib/wine-env.sh
source tests/lib/wine-env.sh
# shellcheck source=tests/lib/fuzz-env.sh
source tests/lib/fuzz-env.sh

TIER="${1:-all}"
case "$TIER" in
  all | host | fuzz | win | e2e | matrix) ;;
  *)
    echo "usage: $0 [host|fuzz|win|e2e|matrix]" >&2
    exit 2
    ;;
esac

JOBS=2
WIN_JOBS="${VARNIX_WIN_JOBS:-2}"
E2E_WORKERS="${VARNIX_E2E_WORKERS:-2}"
WINE_RUN=build/wine-run
WIN_SLOTS="$WINE_RUN/ctest"
# The shipped programs are built in a tree of their own (win32 thread model,
# link-time optimisation); the Windows tests use the posix tree build/win.
SHIP=build/ship
STUB="$SHIP/src/varnix-stub.exe"
# Budget for the stub: the finished three-role stub fits in 256 KB (it
# measures 220,160 bytes). bench/size_report.py shows where the bytes go.
STUB_MAX_BYTES=$((256 * 1024))
PACK_TOOL="$PWD/build/host/tools/pack/varnix-pack"
PYTEST=(/usr/bin/python3 -m pytest -q -p no:cacheprovider)
export PYTHONDONTWRITEBYTECODE=1 CTEST_OUTPUT_ON_FAILURE=1

STARTED=$SECONDS
header() { printf '\n===== %s (at %d s) =====\n' "$*" $((SECONDS - STARTED)); }
fail() {
  echo "test.sh: $*" >&2
  exit 1
}

build_host() {
  header "Build: host tree"
  cmake -S . -B build/host -DVARNIX_SANITIZE=ON
  cmake --build build/host -j"$JOBS"
}

build_win() {
  header "Build: Windows tree"
  cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
  cmake --build build/win -j"$JOBS"
}

build_ship() {
  header "Build: shipped programs"
  cmake -S . -B "$SHIP" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686-ship.cmake
  cmake --build "$SHIP" -j"$JOBS"
}

# A Windows program must run on a machine that has only the system DLLs: no
# compiler runtime and no zlib1.dll may be imported.
check_imports() {
  local exe dll bad=0
  local -a exes
  mapfile -t exes < <(find build/win "$SHIP" -name '*.exe' -not -path '*/CMakeFiles/*' | sort)
  for exe in "${exes[@]}"; do
    while read -r dll; do
      case "${dll,,}" in
        kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | shfolder.dll | \
          comctl32.dll | comdlg32.dll | msvcrt.dll | version.dll | wininet.dll | psapi.dll | \
          ole32.dll | oleaut32.dll | shlwapi.dll | riched32.dll | riched20.dll | ws2_32.dll | \
          winmm.dll | imm32.dll | uxtheme.dll | mpr.dll | rpcrt4.dll | userenv.dll | ntdll.dll | \
          setupapi.dll | urlmon.dll | crypt32.dll | secur32.dll | winspool.drv) ;;
        *)
          echo "$exe imports $dll, which is not a Windows system DLL" >&2
          bad=1
          ;;
      esac
    done < <(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  done
  ((bad == 0)) || fail "a program imports a non-system DLL (static linking broken?)"
  echo "imports checked: ${#exes[@]} programs use Windows system DLLs only"
}

# The oldest Windows the shipped programs load on: every function they import
# must be listed in tests/imports/windows-api-ages.txt with the oldest Windows
# of each family that has it, and none may be newer than the list's floor
# (Windows 98 and NT 4). The posix thread model's winpthread, for one, brings
# in GetTickCount64 (Vista).
check_import_floor() {
  local -a exes
  mapfile -t exes < <(find "$SHIP" -name '*.exe' -not -path '*/CMakeFiles/*' | sort)
  ((${#exes[@]} > 0)) || fail "no programs in $SHIP"
  python3 tests/lib/import_floor.py tests/imports/windows-api-ages.txt "${exes[@]}" ||
    fail "a program in $SHIP imports a function that is unlisted or newer than the floor"
}

check_stub_size() {
  [[ -f "$STUB" ]] || fail "$STUB was not built"
  local size
  size="$(stat -c %s "$STUB")"
  echo "varnix-stub.exe: $size bytes ($((size / 1024)) KB, limit $((STUB_MAX_BYTES / 1024)) KB)"
  ((size <= STUB_MAX_BYTES)) || fail "varnix-stub.exe is larger than $((STUB_MAX_BYTES / 1024)) KB"
  /usr/bin/python3 bench/size_report.py "$STUB"
}

wine_down() {
  varnix_wine_slots_down "$WIN_SLOTS"
  varnix_wine_down
}

wine_up() {
  header "Wine environment"
  trap wine_down EXIT
  trap 'exit 130' INT TERM
  varnix_wine_up "$WINE_RUN"
}

tier_host() {
  header "Tier 1: host unit tests"
  # Includes the authoring tool's command-line tests (pytest, as test "pack.cli").
  ctest --test-dir build/host --output-on-failure
}

# Each target over its seeds and a fixed number of further executions
# (bounded, not timed); any finding fails the run.
tier_fuzz() {
  header "Fuzz targets: bounded runs"
  varnix_fuzz_build
  local target failed=0
  for target in $(varnix_fuzz_targets); do
    varnix_fuzz_bounded "$target" || failed=1
  done
  ((failed == 0)) || fail "a fuzz target found a fault (its input is in $VARNIX_FUZZ_FINDINGS/)"
}

# CTest gives each test one slot of the resource "wine"; tests/lib/wine-slot.sh
# runs it in that slot's environment.
tier_win() {
  header "Tier 2: Windows unit tests under Wine ($WIN_JOBS at a time)"
  varnix_wine_slots_up "$WIN_SLOTS" "$WIN_JOBS"
  # The build reads its slots from this file (tests/CMakeLists.txt).
  local resources=build/win/wine-slots.json slots="" i
  for ((i = 0; i < WIN_JOBS; i++)); do
    slots+="${slots:+, }{\"id\": \"$i\", \"slots\": 1}"
  done
  printf '{"version": {"major": 1, "minor": 0}, "local": [{"wine": [%s]}]}\n' "$slots" >"$resources"
  VARNIX_WINE_SLOTS="$PWD/$WIN_SLOTS" ctest --test-dir build/win --output-on-failure -j"$WIN_JOBS"
  varnix_wine_slots_down "$WIN_SLOTS"
}

# Each pytest-xdist worker brings up its own Wine environment under
# build/wine-run/<worker> (tests/e2e/conftest.py).
tier_e2e() {
  header "Tier 3: end-to-end tests under Wine ($E2E_WORKERS workers)"
  VARNIX_PACK="$PACK_TOOL" "${PYTEST[@]}" -n "$E2E_WORKERS" tests/e2e --ignore=tests/e2e/matrix
}

# The same workers; each switches its prefix's reported Windows version, and
# brings up a 64-bit environment of its own for the 64-bit runs.
tier_matrix() {
  header "Tier 4: Windows-version matrix under Wine ($E2E_WORKERS workers)"
  VARNIX_PACK="$PACK_TOOL" "${PYTEST[@]}" -n "$E2E_WORKERS" tests/e2e/matrix
}

# Prints how Windows programs can run here: native, emulated or none.
windows_programs_here() {
  if varnix_i386_native; then
    echo native
  elif [[ "${VARNIX_WINE_EMULATION:-}" == qemu ]] && varnix_i386_emulation; then
    echo emulated
  else
    echo none
  fi
}

header "Dependencies"
varnix_install_deps
WINDOWS_PROGRAMS="$(windows_programs_here)"
if [[ "$WINDOWS_PROGRAMS" == none && "$TIER" != host && "$TIER" != fuzz ]]; then
  cat <<'NOTICE'
test.sh: NOTICE: this machine's kernel does not run 32-bit x86 code, so Wine
cannot start the 32-bit Windows programs: tiers 2, 3 and 4 are SKIPPED. The
Windows tree is still built and checked. VARNIX_WINE_EMULATION=qemu ./test.sh
runs them under qemu-user instead (slow).
NOTICE
fi

if [[ "$TIER" == all || "$TIER" == host || "$TIER" == e2e || "$TIER" == matrix ]]; then
  build_host
fi
if [[ "$TIER" == all || "$TIER" == host ]]; then
  tier_host
fi
if [[ "$TIER" == all || "$TIER" == fuzz ]]; then
  tier_fuzz
fi
if [[ "$TIER" != host && "$TIER" != fuzz ]]; then
  # Up before the Windows build: anything that runs a Windows program (test
  # discovery included) needs the prefix exported, or Wine would fall back to
  # ~/.wine.
  if [[ "$WINDOWS_PROGRAMS" != none ]]; then wine_up; fi
  build_win
  build_ship
  header "Checks of the Windows programs"
  check_imports
  check_import_floor
  check_stub_size
fi
if [[ "$WINDOWS_PROGRAMS" != none && ("$TIER" == all || "$TIER" == win) ]]; then
  tier_win
fi
if [[ "$WINDOWS_PROGRAMS" != none && ("$TIER" == all || "$TIER" == e2e) ]]; then
  tier_e2e
fi
if [[ "$WINDOWS_PROGRAMS" != none && ("$TIER" == all || "$TIER" == matrix) ]]; then
  tier_matrix
fi

if [[ "$WINDOWS_PROGRAMS" == none && "$TIER" != host && "$TIER" != fuzz ]]; then
  header "Tiers run ($TIER) passed; tiers 2 to 4 were SKIPPED: no 32-bit x86 code runs on this machine"
else
  header "All requested tiers passed ($TIER, Windows programs: $WINDOWS_PROGRAMS)"
fi
