#!/bin/sh
# run_fuzzer.sh TARGET SEEDS WORK SECONDS: runs a fuzz target for SECONDS from the seed corpus
# SEEDS; new inputs and any crashing input go to WORK, never into the source tree. Exits
# non-zero on a finding.
set -eu
target=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work/corpus"
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$seeds"
