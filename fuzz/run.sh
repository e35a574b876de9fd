#!/usr/bin/env bash
# Builds the fuzz targets (fuzz preset, clang) and runs each over a scratch
# copy of its corpus, so the repository's corpus stays as committed.
#
# Usage: fuzz/run.sh [SECONDS_PER_TARGET] [--runs N] [--no-build] [TARGET ...]
#   SECONDS_PER_TARGET  how long each target runs (default 10)
#   --runs N            stop a target after N executions instead; with
#                       SECONDS too, whichever comes first
#   --no-build          use the targets already in build/fuzz/bin (lets two
#                       runs share one build, each on its own core)
#   TARGET ...          only these targets (default all)
#
# Exits non-zero when a target finds a crash, a leak or a broken expectation;
# its input is kept in the scratch folder named in the output. To see a
# finding with full allocation stacks, run the target on that input with
# ASAN_OPTIONS unset.
set -euo pipefail

usage() {
  echo "usage: $0 [SECONDS_PER_TARGET] [--runs N] [--no-build] [TARGET ...]" >&2
  exit 2
}

all_targets=(fuzz_message_line fuzz_adapter_record fuzz_log_records fuzz_leading_number fuzz_board_messages
             fuzz_bench_file fuzz_bench_traffic fuzz_config_file fuzz_display_pattern fuzz_firmware_input fuzz_cli_options fuzz_flash_plan
             fuzz_trace_filter fuzz_trace_txt fuzz_trace_log fuzz_trace_asc fuzz_trace_csv fuzz_frame_text fuzz_transmit_list fuzz_dbc
             fuzz_slcan_lines)

seconds=""
runs=""
build=1
targets=()
while [ "$#" -gt 0 ]; do
  case "$1" in
    --runs)
      [ "$#" -ge 2 ] && [[ "$2" =~ ^[0-9]+$ ]] && [ "$2" -ge 1 ] || usage
      runs="$2"
      shift 2
      ;;
    --no-build)
      build=0
      shift
      ;;
    -*) usage ;;
    *)
      if [[ "$1" =~ ^[0-9]+$ ]] && [ -z "$seconds" ] && [ "${#targets[@]}" -eq 0 ]; then
        [ "$1" -ge 1 ] || usage
        seconds="$1"
      else
        known=0
        for t in "${all_targets[@]}"; do [ "$t" = "$1" ] && known=1; done
        if [ "$known" -eq 0 ]; then
          echo "unknown target: $1 (targets: ${all_targets[*]})" >&2
          exit 2
        fi
        targets+=("$1")
      fi
      shift
      ;;
  esac
done
[ "${#targets[@]}" -gt 0 ] || targets=("${all_targets[@]}")
if [ -z "$seconds" ] && [ -z "$runs" ]; then
  seconds=10
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
if [ "$build" -eq 1 ]; then
  cmake --preset fuzz
  cmake --build --preset fuzz --target "${targets[@]}"
fi

bin="$root/build/fuzz/bin"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tellvane-fuzz.XXXXXX")"

# Leaks count as failures; a crash stops the target at once. Most of a run's
# time goes to the sanitizer's allocator, so: short allocation stacks, no fill
# of new blocks, freed memory kept mapped instead of handed back to the system
# and faulted in again, and a small quarantine that stays in the cache (a use
# after free is still caught while the block is among the last 2 MB freed).
# Together about 1.7 times the rate of the defaults.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:malloc_context_size=0:max_malloc_fill_size=0:quarantine_size_mb=2:thread_local_quarantine_size_kb=64:allocator_release_to_os_interval_ms=-1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# The targets that read files (logs, configurations, settings) write each
# input to a scratch file first; in memory that costs no disk flushes.
target_tmp="${TMPDIR:-/tmp}"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  target_tmp=/dev/shm
fi

# Longest input for the targets whose inputs are lists of records or lines:
# longer inputs only repeat what shorter ones reach, and cost time in
# proportion. 48 adapter records are many drains with yields and re-entries;
# 40 log records are more than two playback windows of 15; 100 board steps
# fill and close many windows; 2 KiB holds several of the longest S-records
# (514 characters), and configuration, group and bench files of dozens of
# lines; 512 bytes of arguments are dozens of options and values, and of a
# trace filter dozens of conditions; 128 bytes are any frame's text with a
# dot between every byte and more; 4 KiB of a transmit list hold more than its
# thousand rows of "{}"; 512 bytes of an adapter's stream are a dozen of its
# longest lines, cut into chunks of any size. Lines of
# 10,000 characters are in the unit tests.
declare -A max_len=([fuzz_adapter_record]=1009 [fuzz_log_records]=1880 [fuzz_board_messages]=1200
                    [fuzz_firmware_input]=2048 [fuzz_bench_file]=2048 [fuzz_config_file]=2048
                    [fuzz_cli_options]=512 [fuzz_trace_filter]=512 [fuzz_trace_txt]=2048 [fuzz_trace_log]=2048
                    [fuzz_trace_asc]=2048 [fuzz_trace_csv]=2048 [fuzz_frame_text]=128 [fuzz_transmit_list]=4096
                    [fuzz_dbc]=4096 [fuzz_slcan_lines]=512)

limits=()
[ -n "$seconds" ] && limits+=("-max_total_time=$seconds")
[ -n "$runs" ] && limits+=("-runs=$runs")

failed=()
for target in "${targets[@]}"; do
  corpus="$scratch/$target/corpus"
  artifacts="$scratch/$target/artifacts"
  mkdir -p "$corpus" "$artifacts"
  cp "$root/fuzz/corpus/$target/"* "$corpus/"
  echo "=== $target: ${seconds:+$seconds s}${seconds:+${runs:+ or }}${runs:+$runs runs}"
  started=$(date +%s)
  length=()
  [ -n "${max_len[$target]:-}" ] && length=("-max_len=${max_len[$target]}")
  if TMPDIR="$target_tmp" "$bin/$target" "${limits[@]}" "${length[@]}" -timeout=10 -rss_limit_mb=2048 -purge_allocator_interval=-1 \
       -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus" \
       >"$scratch/$target/log.txt" 2>&1; then
    took=$(($(date +%s) - started))
    done_runs="$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$scratch/$target/log.txt" | grep -o '[0-9]*$' || true)"
    rate="$(grep -m1 -o 'stat::average_exec_per_sec: *[0-9]*' "$scratch/$target/log.txt" | grep -o '[0-9]*$' || true)"
    echo "    ok, ${done_runs:-?} runs in ${took} s (${rate:-?} a second)"
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
echo "no crashes"
rm -rf "$scratch"
