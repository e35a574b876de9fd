#!/usr/bin/env bash
# Checks the Debian package "tellvane": its control fields, its file list,
# lintian (no errors; warnings are printed), and the programs run from the
# package unpacked into a temporary root, where they must find their
# Configuration/ in ../share/tellvane.
#
#   tests/package/check-package.sh DEB                  check a built package
#   tests/package/check-package.sh --build BUILD_DIR    make it with cpack from a
#                                                       configured and built tree first
#
# Exit code 0 when everything holds; every fault found is named on stderr.
set -euo pipefail

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
faults=0
fault() { echo "FAULT: $*" >&2; faults=$((faults + 1)); }

if [ "${1:-}" = --build ]; then
  build="${2:?usage: $0 --build BUILD_DIR}"
  # The package from the tree's install rules, made beside it so the tree stays as it is.
  if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "FAULT: cpack failed" >&2
    exit 1
  fi
  deb="$(ls "$work"/out/tellvane_*.deb)"
else
  deb="${1:?usage: $0 DEB | --build BUILD_DIR}"
fi
echo "Package: $deb ($(du -k "$deb" | cut -f1) KB)"

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tellvane ] || fault "Package is '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fault "Architecture is '$(field Architecture)'"
version="$(field Version)"
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fault "Version is '$version'"
depends="$(field Depends)"
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialbus6 libqt6serialport6 qt6-qpa-plugins fonts-liberation; do
  [[ "$depends" == *"$lib"* ]] || fault "Depends lacks $lib: $depends"
done
[ "$(field Section)" = electronics ] || fault "Section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || fault "no Maintainer"
description="$(field Description)"
[[ "$description" == "service tool for CAN bus control boards"$'\n'* ]] || fault "Description is '$description'"

# The file list: everything the package promises, nothing of the build beside it.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | sort >"$work/files"
for want in /usr/bin/tellvane /usr/bin/tellvane-cli \
  /usr/share/tellvane/Configuration/SimulatedBench.txt /usr/share/tellvane/Configuration/groups.grp \
  /usr/share/tellvane/help/index.html /usr/share/applications/tellvane.desktop \
  /usr/share/icons/hicolor/scalable/apps/tellvane.svg \
  /usr/share/man/man1/tellvane.1.gz /usr/share/man/man1/tellvane-cli.1.gz \
  /usr/share/doc/tellvane/copyright /usr/share/doc/tellvane/changelog.gz /usr/share/lintian/overrides/tellvane; do
  grep -qx "$want" "$work/files" || fault "missing $want"
done
for size in 16 22 24 32 48 64 128 256; do
  grep -qx "/usr/share/icons/hicolor/${size}x${size}/apps/tellvane.png" "$work/files" || fault "missing icon ${size}x${size}"
done
if grep -Ev '^/$|^/usr/?$|^/usr/(bin|share)(/|$)' "$work/files" >"$work/stray"; then
  fault "files outside /usr/bin and /usr/share: $(tr '\n' ' ' <"$work/stray")"
fi
if grep -E '/bin/tellvane_|standin|\.a$|CMakeFiles' "$work/files" >"$work/stray"; then
  fault "build files in the package: $(tr '\n' ' ' <"$work/stray")"
fi

# lintian: errors fail, warnings are shown.
if ! command -v lintian >/dev/null; then
  fault "lintian is not installed (scripts/tellvane.sh install)"
else
  lintian --tag-display-limit 0 --display-info "$deb" >"$work/lintian" 2>&1 || true
  grep -E '^[EWI]: ' "$work/lintian" || echo "lintian: nothing to report"
  if grep -q '^E: ' "$work/lintian"; then
    fault "lintian reports errors"
  fi
fi

# The programs from the unpacked package.
root="$work/root"
dpkg-deb -x "$deb" "$root"
bin="$root/usr/bin"
export QT_QPA_PLATFORM=offscreen
# Qt may say things about the session on stderr; the version is on stdout.
# No display: the version is told before any window system is needed.
if ! out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/tellvane" --version 2>"$work/stderr")" ||
  [ "$out" != "Tellvane $version" ]; then
  fault "tellvane --version: $out $(cat "$work/stderr")"
fi
if ! out="$("$bin/tellvane-cli" --version 2>"$work/stderr")" || [ "$out" != "tellvane-cli $version" ]; then
  fault "tellvane-cli --version: $out $(cat "$work/stderr")"
fi
screen="$root/usr/share/tellvane/Configuration/412-0101.cfg"
if ! out="$("$bin/tellvane-cli" check-config "$screen" 2>&1)"; then
  fault "check-config on a shipped screen: $out"
fi
# The bench's default file is found in ../share/tellvane: its boards come up on
# a virtual bus of its own over loopback, for one second.
port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
boards="$(grep -c '^board ' "$root/usr/share/tellvane/Configuration/SimulatedBench.txt")"
out="$(cd "$work" && timeout 60 "$bin/tellvane-cli" bench --adapter "virtualcan:tcp://127.0.0.1:$port/can0" --seconds 1 2>&1)" || true
[[ "$out" == *"with $boards boards:"* ]] || fault "bench did not load the shipped bench: $out"
# Without its file the bench falls back on a built-in one of the same boards, and says so.
[[ "$out" != *"could not be read"* ]] || fault "bench did not find Configuration/ in ../share/tellvane: $out"

# The vendor library: looked for beside the program, then where the system's
# libraries are found. Missing, the reason names the places, once over the probes.
out="$(cd "$work" && env -u LD_LIBRARY_PATH timeout 60 "$bin/tellvane-cli" monitor --adapter library --seconds 2 2>&1 >/dev/null)" || true
said="The adapter's vendor library libQXUSB2CAN.so was not found. Looked in $bin, then where the system's libraries are found"
[ "$(grep -cF "$said" <<<"$out")" = 1 ] || fault "the missing vendor library was not said once: $out"
# Found by the loader's search (LD_LIBRARY_PATH), with the build's stand-in.
standin="$(realpath -m "${build:-.}")/standin/complete"
if [ -n "${build:-}" ] && [ -f "$standin/libQXUSB2CAN.so" ]; then
  out="$(cd "$work" && LD_LIBRARY_PATH="$standin" timeout 60 "$bin/tellvane-cli" monitor --adapter library --count 1 2>&1)" || true
  [[ "$out" == *"Interface: OK"* ]] || fault "the vendor library in LD_LIBRARY_PATH was not found: $out"
fi

if [ "$faults" -ne 0 ]; then
  echo "$faults fault(s) in $deb" >&2
  exit 1
fi
echo "Package checked: $deb"
