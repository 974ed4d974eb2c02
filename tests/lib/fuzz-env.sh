# Fuzz targets: building the fuzz tree and running a target, shared by
# test.sh (bounded runs) and fuzz.sh (campaigns). Source it from the
# repository root.
#
#   varnix_fuzz_build           the clang tree build/fuzz (libFuzzer, ASan, UBSan)
#   varnix_fuzz_targets         prints the target names
#   varnix_fuzz_bounded TARGET  runs TARGET over its seeds and a fixed number
#                               of further executions; fails on a finding
#   varnix_fuzz_campaign TARGET SECONDS
#                               runs TARGET for SECONDS on its kept corpus
#                               (build/fuzz-corpus/TARGET) and records the figures

VARNIX_FUZZ_TREE=build/fuzz
VARNIX_FUZZ_BIN="$VARNIX_FUZZ_TREE/tests/fuzz"
VARNIX_FUZZ_SEEDS=tests/fuzz/corpus
VARNIX_FUZZ_CORPUS=build/fuzz-corpus
VARNIX_FUZZ_FINDINGS=build/fuzz-findings

# Target, executions in a bounded run (about 5 to 15 s each here), longest input.
_VARNIX_FUZZ_TABLE=(
  "package_reader 30000 4096"
  "package_walk 6000 4096"
  "pack_roundtrip 4000 1024"
  "tokens 150000 4096"
  "switches 100000 1024"
  "markup 150000 4096"
  "project_file 100000 8192"
  "setup_records 50000 8192"
  "info_files 40000 8192"
  "http_texts 150000 8192"
  "macros 100000 2048"
)

# A small quarantine keeps the memory of a long run flat (big package inputs
# come and go); a finding stops the run with the input saved.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=32:max_malloc_fill_size=0:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Stack traces of a finding with function names and lines (package llvm-14).
if [[ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]]; then
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi

varnix_fuzz_build() {
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$VARNIX_FUZZ_TREE" -DVARNIX_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$VARNIX_FUZZ_TREE" -j"${VARNIX_FUZZ_BUILD_JOBS:-2}"
}

varnix_fuzz_targets() {
  local row
  for row in "${_VARNIX_FUZZ_TABLE[@]}"; do echo "${row%% *}"; done
}

# Prints "RUNS MAXLEN" of a target; fails for an unknown one.
_varnix_fuzz_row() {
  local row
  for row in "${_VARNIX_FUZZ_TABLE[@]}"; do
    if [[ "${row%% *}" == "$1" ]]; then
      echo "${row#* }"
      return 0
    fi
  done
  echo "fuzz: unknown target $1 (targets: $(varnix_fuzz_targets | tr '\n' ' '))" >&2
  return 1
}

# libFuzzer writes new inputs to the first folder it is given: a scratch
# folder for bounded runs, the kept corpus for campaigns; the seeds in the
# repository are only read.
_varnix_fuzz_run() {
  local target="$1" corpus="$2" maxlen="$3"
  shift 3
  mkdir -p "$corpus" "$VARNIX_FUZZ_FINDINGS"
  "$VARNIX_FUZZ_BIN/fuzz_$target" -max_len="$maxlen" -dict=tests/fuzz/varnix.dict \
    -rss_limit_mb=2560 -timeout=60 -print_final_stats=1 \
    -artifact_prefix="$VARNIX_FUZZ_FINDINGS/$target-" "$@" "$corpus" "$VARNIX_FUZZ_SEEDS/$target"
}

varnix_fuzz_bounded() {
  local target="$1" row runs maxlen scratch status=0
  row="$(_varnix_fuzz_row "$target")" || return 1
  read -r runs maxlen <<<"$row"
  scratch="$(mktemp -d)"
  local -a seed=()
  [[ -n "${VARNIX_FUZZ_SEED:-}" ]] && seed=(-seed="$VARNIX_FUZZ_SEED")
  _varnix_fuzz_run "$target" "$scratch" "$maxlen" -runs="$runs" "${seed[@]}" >"$scratch.log" 2>&1 ||
    status=$?
  local figures
  figures="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$scratch.log" | tail -1)"
  if ((status != 0)); then
    echo "fuzz: $target FOUND A FAULT (exit $status); the input is in $VARNIX_FUZZ_FINDINGS/:" >&2
    grep -E 'FUZZ FINDING|ERROR:|SUMMARY|runtime error|Test unit written|Seed:' "$scratch.log" >&2 || tail -30 "$scratch.log" >&2
  else
    printf 'fuzz: %-15s %s\n' "$target" "${figures:-no figures}"
  fi
  rm -rf "$scratch" "$scratch.log"
  return "$status"
}

varnix_fuzz_campaign() {
  local target="$1" seconds="$2" row runs maxlen log status=0 started=$SECONDS
  row="$(_varnix_fuzz_row "$target")" || return 1
  read -r runs maxlen <<<"$row"
  log="$VARNIX_FUZZ_CORPUS/$target.log"
  mkdir -p "$VARNIX_FUZZ_CORPUS"
  _varnix_fuzz_run "$target" "$VARNIX_FUZZ_CORPUS/$target" "$maxlen" -max_total_time="$seconds" \
    >"$log" 2>&1 || status=$?
  # A run stopped by hand (Ctrl-C) is no finding: its figures count.
  local outcome="exit=$status"
  if ((status != 0)) && grep -q 'libFuzzer: run interrupted' "$log"; then
    outcome="exit=0 stopped"
    status=0
  fi
  local last execs speed record
  last="$(grep -E '^#[0-9]+[[:space:]]' "$log" | tail -1)"
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)"
  record="$(date -u +%FT%TZ) $target seconds=$((SECONDS - started)) executions=${execs:-?} exec/s=${speed:-?}"
  record+=" $outcome ${last#*[[:space:]]}"
  echo "$record" | tee -a "$VARNIX_FUZZ_CORPUS/campaigns.txt"
  if ((status != 0)); then
    echo "fuzz: $target FOUND A FAULT; the input is in $VARNIX_FUZZ_FINDINGS/, the run's log in $log" >&2
    grep -E 'FUZZ FINDING|ERROR:|SUMMARY|runtime error|Test unit written' "$log" >&2 || true
  fi
  return "$status"
}
