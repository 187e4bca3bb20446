#!/usr/bin/env bash
# Fuzzes the statistics decoding for a bounded time, starting from the kept corpus.
#   run_fuzz.sh <fuzz_statistics binary> [seconds, default 60] [--merge]
# New inputs go to a scratch folder that is thrown away, so a CI run leaves the tree as it
# found it; --merge (for long runs by hand) adds the inputs that reach new code to the kept
# corpus. A crash, a sanitizer report or a disagreement fails the run, and the input that
# caused it is kept in an "artifacts" folder beside the binary.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 <fuzz binary> [seconds] [--merge]" >&2; exit 2; }
binary=$(realpath "$1")
corpus=$(cd "$(dirname "$0")" && pwd)/corpus
artifacts=$(dirname "$binary")/artifacts
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$artifacts" "$scratch/new"

# A block is 129 bytes and a count decodes up to 127; longer inputs add nothing.
if ! "$binary" -max_total_time="${2:-60}" -max_len=512 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$scratch/new" "$corpus" 2>"$scratch/log"; then
    tail -n 60 "$scratch/log" >&2
    echo "fuzzing failed; inputs kept in $artifacts" >&2
    exit 1
fi
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$scratch/log" || true

if [ "${3:-}" = --merge ]; then
    "$binary" -merge=1 -max_len=512 "$corpus" "$scratch/new" 2>"$scratch/merge.log"
    grep -E 'MERGE-OUTER: .* new files' "$scratch/merge.log" || true
fi
