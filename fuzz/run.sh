#!/usr/bin/env bash
# Builds the fuzz targets (fuzz preset, clang) and runs each for a while over a
# scratch copy of its corpus, so the repository's corpus stays as committed.
# Usage: fuzz/run.sh [SECONDS_PER_TARGET]   (default 10)
# Exits non-zero when a target finds a crash; its input is kept in the scratch
# folder named in the output.
set -euo pipefail

seconds="${1:-10}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [SECONDS_PER_TARGET]" >&2
  exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
cmake --preset fuzz
cmake --build --preset fuzz

bin="$root/build/fuzz/bin"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tellvane-fuzz.XXXXXX")"
targets=(fuzz_message_line fuzz_adapter_record fuzz_log_records fuzz_leading_number fuzz_board_messages
         fuzz_bench_file fuzz_config_file fuzz_display_pattern
         fuzz_firmware_input)

# Leaks count as failures; a crash stops the target at once.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=()
for target in "${targets[@]}"; do
  corpus="$scratch/$target/corpus"
  artifacts="$scratch/$target/artifacts"
  mkdir -p "$corpus" "$artifacts"
  cp "$root/fuzz/corpus/$target/"* "$corpus/"
  echo "=== $target: ${seconds} s"
  if "$bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus" \
       >"$scratch/$target/log.txt" 2>&1; then
    runs="$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$scratch/$target/log.txt" | grep -o '[0-9]*$' || true)"
    echo "    ok, ${runs:-?} runs"
  else
    echo "    FAILED: see $scratch/$target/log.txt and $artifacts/"
    tail -n 30 "$scratch/$target/log.txt" | sed 's/^/    /'
    failed+=("$target")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "crashes in: ${failed[*]} (inputs kept in $scratch)"
  exit 1
fi
echo "no crashes; scratch folder $scratch"
rm -rf "$scratch"
