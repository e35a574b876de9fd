#!/usr/bin/env bash
# Writes the golden references of tests/golden/expected/ from the inputs in
# tests/golden/input/, after a deliberate change to what a load builds or
# reports. Read the difference (git diff) before committing it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default --target tellvane_screen_tests
QT_QPA_PLATFORM=offscreen TELLVANE_UPDATE_GOLDEN=1 build/default/bin/tellvane_screen_tests --gtest_filter='Files/Golden.*'
git status --short tests/golden/expected
