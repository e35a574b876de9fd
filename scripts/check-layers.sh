#!/usr/bin/env bash
# Fails when a folder of src/ includes a header of a folder above it, or of a
# feature beside it. The layers, from the bottom:
#
#   core/                       values and rules
#   can/  sim/                  the bus (sim/ builds on can/, never the other way)
#   adapters/  ui/              the backends and their factory; widget helpers
#   monitor/  diagnostics/  firmware/   the features, each on its own
#   logs/                       log files of every format, their conversion and timed replay
#   trace/                      the bus trace window, its ring, filters and statistics
#   plot/                       plots and recordings of the screens' values and the databases' signals
#   transmit/                   frames sent by hand and on their periods
#   signals/                    signal databases (DBC) and decoding by them
#   stack/                      the bus both programs run on (adapter to downloader)
#   app/  cli/                  the composition roots
#
# Usage: scripts/check-layers.sh [SRC_FOLDER]   (default: src/ beside this script)
set -euo pipefail

src="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/src}"

declare -A allowed=(
  [core]="core"
  [can]="core can"
  [sim]="core can sim"
  [adapters]="core can sim adapters"
  [ui]="core ui"
  [monitor]="core can ui monitor"
  [diagnostics]="core can ui diagnostics"
  [firmware]="core can ui firmware"
  [logs]="core can monitor logs"
  [trace]="core can ui monitor logs signals trace"
  [plot]="core can ui monitor diagnostics logs signals plot"
  [transmit]="core can ui monitor logs transmit"
  [signals]="core can monitor logs signals"
  [stack]="core can adapters firmware stack"
  [app]="core can sim adapters ui monitor diagnostics firmware logs trace plot transmit signals stack app"
  [cli]="core can sim adapters ui monitor diagnostics firmware logs trace transmit signals stack cli"
)

status=0
checked=0
for dir in "$src"/*/; do
  folder="$(basename "$dir")"
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "check-layers: src/$folder/ has no place among the layers: add it to $0" >&2
    status=1
    continue
  fi
  while IFS= read -r hit; do
    file="${hit%%:*}"
    rest="${hit#*:}"
    line="${rest%%:*}"
    target="$(sed -E 's/^[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]+"([a-z]+)\/.*/\1/' <<<"$rest")"
    [ -n "${allowed[$target]+set}" ] || continue  # not a folder of src/
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "${file#"$src"/}:$line: $folder/ may not include $target/ (it may include: ${allowed[$folder]})" >&2
      status=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z]+/' "$dir" --include='*.h' --include='*.cpp' || true)
  checked=$((checked + 1))
done

if [ "$status" -eq 0 ]; then
  echo "check-layers: $checked folders of $src follow the layers"
fi
exit "$status"
