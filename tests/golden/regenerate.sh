#!/usr/bin/env bash
# Writes the golden references of tests/golden/expected/ from the inputs in
# tests/golden/input/, the batch-flash reports from their runs on the bench
# inside the tests and the log writers' bytes, after a deliberate change to
# what a load builds, a run reports or a writer writes. Read the difference
# (git diff) before committing it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default --target tellvane_screen_tests tellvane_cli_tests tellvane_trace_tests
QT_QPA_PLATFORM=offscreen TELLVANE_UPDATE_GOLDEN=1 build/default/bin/tellvane_screen_tests --gtest_filter='Files/Golden.*'
QT_QPA_PLATFORM=offscreen TELLVANE_UPDATE_GOLDEN=1 build/default/bin/tellvane_cli_tests \
  --gtest_filter='BatchFlash.GoodBoardsAreFlashedAMissingAndADeadBoardAreReportedAndNotFlashed:BatchFlash.AmbiguousBoardsAndMissingAreasRefuseThePlanBeforeAnythingIsDownloaded'
QT_QPA_PLATFORM=offscreen TELLVANE_UPDATE_GOLDEN=1 build/default/bin/tellvane_trace_tests --gtest_filter='TraceLog.WritesWhatPeerToolsRead:TraceLog.BrokenLinesAreNamedAndTheGoodOnesRead'
git status --short tests/golden/expected
