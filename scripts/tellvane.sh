#!/usr/bin/env bash
# Sets up, builds and runs the Tellvane diagnostic tool on a Debian machine.
#
#   scripts/tellvane.sh run [ARGS]   install what is missing, build, start the program
#                                    (ARGS default to "--adapter sim": the simulated bench)
#   scripts/tellvane.sh test         install, build and run the whole test suite
#                                    (the default build and the sanitizer build, both with
#                                    warnings as errors, in build/ci and build/ci-asan, and each
#                                    fuzz target for 60 s; TELLVANE_FUZZ_SECONDS changes that)
#   scripts/tellvane.sh bench [download]  build and run the benchmarks ("download": only
#                                    those named with "Download"; other ARGS go to the benchmarks)
#   scripts/tellvane.sh fuzz [SECS]  build the fuzz targets with clang and run each for SECS seconds
#                                    (fuzz/run.sh takes --runs N and target names too)
#   scripts/tellvane.sh package      build the Debian package "tellvane" in build/package
#                                    (optimised, Debian's hardening flags) and print its path
#   scripts/tellvane.sh install      only install the Debian packages
#
# The Debian packages are listed in scripts/debian-packages.txt and nowhere else.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
  local wanted missing=()
  mapfile -t wanted < <(grep -v '^[[:space:]]*#' "$here/debian-packages.txt" | awk 'NF {print $1}')
  for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
  local preset="$1"
  cmake --preset "$preset" -S "$root" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
}

run_tests() {
  local preset="$1"
  echo "== tests: $preset"
  (cd "$root" && ctest --preset "$preset" -j "$jobs")
}

command="${1:-run}"
shift || true
cd "$root"
case "$command" in
  install)
    install_packages
    ;;
  run)
    install_packages
    build default
    args=("$@")
    [ "${#args[@]}" -eq 0 ] && args=(--adapter sim)
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
      echo "No display found: the program runs as a VNC server on port 5900 (connect a VNC viewer to this machine)."
      export QT_QPA_PLATFORM=vnc
    fi
    exec "$root/build/default/bin/tellvane" "${args[@]}"
    ;;
  test)
    install_packages
    # The default and sanitizer builds, with warnings as errors.
    build ci
    run_tests ci
    build ci-asan
    run_tests ci-asan
    # Every parser of outside input under libFuzzer for a minute each.
    bash "$root/fuzz/run.sh" "${TELLVANE_FUZZ_SECONDS:-60}"
    ;;
  bench)
    install_packages
    build default
    args=("$@")
    if [ "${1:-}" = download ]; then
      args=(--benchmark_filter=Download "${@:2}")
    fi
    "$root/build/default/bin/tellvane_benchmarks" "${args[@]}"
    ;;
  package)
    install_packages
    # The flags Debian builds its own packages with, all of its hardening
    # included (bindnow too), on top of the preset's.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cmake --preset package -S "$root" \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
    cmake --build --preset package -j "$jobs"
    rm -f "$root"/build/package/tellvane_*.deb
    (cd "$root/build/package" && cpack -G DEB >/dev/null 2>&1) || (cd "$root/build/package" && cpack -G DEB)
    ls "$root"/build/package/tellvane_*.deb
    ;;
  fuzz)
    install_packages
    bash "$root/fuzz/run.sh" "${@:-10}"
    ;;
  *)
    sed -n '2,18p' "$0"
    exit 2
    ;;
esac
