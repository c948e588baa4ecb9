#!/usr/bin/env bash
# Runs the fuzzers for as long as asked, under Wine like the test command:
#   scripts/fuzz.sh [--seconds N] [--seed N] [more ctest arguments, e.g. -R fuzz_tokenizer]
# Each fuzzer runs N seconds (default 60) from the seed (default: a new one, printed). A failure
# prints the target, seed and iteration; "launcher_fuzz.exe TARGET --seed S --from I --count 1"
# (or the same variables for the image fuzzer) replays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
seed=$(( $(date +%s) % 1000000 ))
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    *) break ;;
  esac
done
echo "fuzzing ${seconds} s per target from seed ${seed}"
export KELVO_FUZZ_SECONDS=$seconds KELVO_FUZZ_SEED=$seed
exec "$root/scripts/test.sh" -L fuzz --timeout $((seconds * 2 + 300)) -V "$@"
