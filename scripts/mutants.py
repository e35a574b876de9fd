#!/usr/bin/env python3
"""Ten realistic faults put into src/ one at a time, each run against the
test programs that should catch it: a check that the tests still find what
they are for after they are thinned.

Usage: scripts/mutants.py [SOURCE_ROOT [BUILD_DIR]] [M1 M5 ...]
(defaults: the checkout this script is in, and its build/default, configured
and built). A mutant is one exact text replacement in one file; it is
skipped when its text is not found exactly once (the code has moved on: write
it anew). It is killed when one of its test programs fails or does not
build. The file is always put back, and the next build rebuilds it."""
import subprocess, sys, os, pathlib

MUTANTS = [
    ("M1 wrong mask: the serial number takes a type bit", "src/can/BoardMessages.cpp",
     "m.data[4] & 0x3F", "m.data[4] & 0x7F", ["tellvane_can_tests", "tellvane_app_tests", "tellvane_journey_tests"]),
    ("M2 off-by-one in a field: P-code shown with 7 digits", "src/can/BoardMessages.cpp",
     "rightJustified(8,", "rightJustified(7,", ["tellvane_can_tests", "tellvane_app_tests", "tellvane_journey_tests"]),
    ("M3 any step back in time starts a new stamp turn", "src/can/TurnCounter.h",
     "us < m_lastUs - kTurnUs / 2", "us < m_lastUs", ["tellvane_monitor_tests", "tellvane_trace_tests", "tellvane_cli_tests", "tellvane_journey_tests"]),
    ("M4 off-by-one in a field: base identifier shifted by 17", "src/can/CanFrameBits.cpp",
     "head = std::uint64_t{(id >> 18) & kBaseIdBits} << 27", "head = std::uint64_t{(id >> 17) & kBaseIdBits} << 27",
     ["tellvane_can_tests", "tellvane_trace_tests"]),
    ("M5 wrong mask: the acceptance filter ignores its mask", "src/can/AcceptanceFilter.cpp",
     "(filter & kIdBits & m)", "(filter & kIdBits)", ["tellvane_can_tests", "tellvane_app_tests", "tellvane_journey_tests"]),
    ("M6 S-record checksum not complemented", "src/core/SRecord.cpp",
     "if (static_cast<std::uint8_t>(~sum) != static_cast<std::uint8_t>(bytes.back()))",
     "if (static_cast<std::uint8_t>(sum) != static_cast<std::uint8_t>(bytes.back()))",
     ["tellvane_core_tests", "tellvane_firmware_tests", "tellvane_cli_tests"]),
    ("M7 missed acknowledgement: a board's reply is not acknowledged", "src/can/TextTransport.cpp",
     "        m_pipeDataReceived = false;\n        sendAck();", "        m_pipeDataReceived = false;",
     ["tellvane_can_tests", "tellvane_firmware_tests", "tellvane_cli_tests", "tellvane_journey_tests"]),
    ("M8 swapped message texts: password and erase", "src/firmware/FirmwareDownloader.cpp",
     'status(QStringLiteral("Sending password"));', 'status(QStringLiteral("Erasing memory..."));',
     ["tellvane_firmware_tests", "tellvane_journey_tests"]),
    ("M9 an acknowledgement timeout not counted", "src/firmware/FirmwareDownloader.cpp",
     "                ++m_warnings;  // acknowledged: counted as sent\n", "",
     ["tellvane_firmware_tests", "tellvane_cli_tests", "tellvane_journey_tests"]),
    ("M10 off-by-one: the turn is one tick short", "src/can/TurnCounter.h",
     "std::int64_t{1} << 27;", "(std::int64_t{1} << 27) - 1;",
     ["tellvane_monitor_tests", "tellvane_trace_tests", "tellvane_can_tests", "tellvane_cli_tests"]),
]

def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)

args = [a for a in sys.argv[1:] if not (a.startswith("M") and a[1:].isdigit())]
only = [a for a in sys.argv[1:] if a not in args]
root = pathlib.Path(args[0] if args else pathlib.Path(__file__).resolve().parent.parent).resolve()
build = pathlib.Path(args[1]).resolve() if len(args) > 1 else root / "build" / "default"
env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
killed = 0
for name, rel, old, new, programs in MUTANTS:
    if only and name.split()[0] not in only:
        continue
    path = root / rel
    if not path.exists():
        print(f"{name}: SKIPPED (no {rel} in this tree)", flush=True)
        continue
    text = path.read_text()
    if text.count(old) != 1:
        print(f"{name}: SKIPPED (text found {text.count(old)} times)", flush=True)
        continue
    path.write_text(text.replace(old, new))
    verdict = "SURVIVED"
    try:
        for p in programs:
            b = run(["cmake", "--build", str(build), "-j2", "--target", p])
            if b.returncode != 0:
                verdict = f"killed (does not build: {p})"; break
            r = run([str(build / "bin" / p), "--gtest_brief=1", "--gtest_filter=-Monkey.*"], env=env, cwd=str(build), timeout=1200)
            if r.returncode != 0:
                failed = [l.split("]")[-1].strip() for l in r.stdout.splitlines() if l.startswith("[  FAILED")]
                verdict = f"killed by {p}: {', '.join(sorted(set(failed))[:4])}"; break
    finally:
        path.write_text(text)
    if verdict.startswith("killed"):
        killed += 1
    print(f"{name}: {verdict}", flush=True)
print(f"{killed} killed")
