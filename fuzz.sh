#!/usr/bin/env bash
# Fuzz campaigns over the readers of everything that comes from others.
#
#   ./fuzz.sh                 every target, 600 s each
#   ./fuzz.sh TARGET          one target, 600 s
#   ./fuzz.sh TARGET SECONDS  one target (or "all") for SECONDS each
#   ./fuzz.sh summary         executions so far per target, from the record
#
# Each target keeps its corpus in build/fuzz-corpus/TARGET, so a campaign
# goes on where the last one stopped; the figures of every run are added to
# build/fuzz-corpus/campaigns.txt. A finding stops the target's run, saves
# the input in build/fuzz-findings/ and makes this script fail; replay it
# with build/fuzz/tests/fuzz/fuzz_TARGET FILE. VARNIX_FUZZ_JOBS (default 1)
# runs that many targets at a time.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=tests/lib/wine-env.sh
source tests/lib/wine-env.sh
# shellcheck source=tests/lib/fuzz-env.sh
source tests/lib/fuzz-env.sh

TARGET="${1:-all}"
SECONDS_EACH="${2:-600}"
JOBS="${VARNIX_FUZZ_JOBS:-1}"

if [[ "$TARGET" == summary ]]; then
  # Adds up each target's recorded runs (executions, time, findings) and
  # gives the coverage of the last: edges (cov), features (ft), corpus.
  awk '{
      t = $2
      for (i = 3; i <= NF; i++) {
        split($i, a, "=")
        if (a[1] == "executions") execs[t] += a[2]
        if (a[1] == "seconds") secs[t] += a[2]
        if (a[1] == "exit" && a[2] != 0) found[t]++
        if ($i == "cov:") cov[t] = $(i + 1)
        if ($i == "ft:") ft[t] = $(i + 1)
        if ($i == "corp:") corp[t] = $(i + 1)
      }
    }
    END {
      for (t in execs) {
        printf "%-15s executions=%d seconds=%d exec/s=%d findings=%d cov=%s ft=%s corpus=%s\n", t, execs[t],
          secs[t], secs[t] ? execs[t] / secs[t] : 0, found[t], cov[t], ft[t], corp[t]
      }
    }' \
    "$VARNIX_FUZZ_CORPUS/campaigns.txt" | sort
  exit 0
fi

varnix_install_deps
varnix_fuzz_build

targets=("$TARGET")
[[ "$TARGET" == all ]] && mapfile -t targets < <(varnix_fuzz_targets)
failed=0
running=0
for target in "${targets[@]}"; do
  varnix_fuzz_campaign "$target" "$SECONDS_EACH" &
  running=$((running + 1))
  if ((running >= JOBS)); then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while ((running > 0)); do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
