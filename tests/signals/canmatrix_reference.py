#!/usr/bin/python3
"""Databases built with canmatrix, written as DBC, and random frames decoded by
canmatrix (extended multiplexing included): writes OUT/plain.dbc, OUT/j1939.dbc and OUT/expected.json, which the
signals tests read with our reader and compare signal by signal."""

import decimal
import json
import os
import random
import sys

import canmatrix
import canmatrix.formats

D = decimal.Decimal
rng = random.Random(29)
SCALES = [("1", "0"), ("0.5", "-10"), ("0.125", "0"), ("-2", "3.5"), ("0.001", "100"), ("10", "-1000")]


def signal(name, start, length, intel, signed=False, scale=("1", "0"), **extra):
    s = canmatrix.Signal(name, start_bit=0, size=length, is_little_endian=intel, is_signed=signed,
                         factor=D(scale[0]), offset=D(scale[1]), **extra)
    # the DBC's numbering: Intel the least significant bit, Motorola the most
    s.set_startbit(start, bitNumbering=1)
    return s


def motorola_start(lowest, length):
    """The DBC start bit of a Motorola signal whose lowest bit is `lowest` of
    the frame read big-endian as 64 bits."""
    msb = lowest + length - 1
    return (7 - msb // 8) * 8 + msb % 8


def plain():
    db = canmatrix.CanMatrix()
    frames = []
    n = 0
    for length in range(1, 65):
        room = 65 - length
        starts = sorted(set(range(0, room, max(1, room // 7))) | {room - 1})
        for intel in (True, False):
            frame = canmatrix.Frame("L%d%s" % (length, "I" if intel else "M"),
                                    arbitration_id=canmatrix.ArbitrationId(0x100 + n, extended=n % 2 == 1), size=8)
            n += 1
            for k, lowest in enumerate(starts):
                start = lowest if intel else motorola_start(lowest, length)
                frame.add_signal(signal("S%d" % k, start, length, intel, signed=k % 2 == 1, scale=SCALES[k % len(SCALES)]))
            frames.append(frame)
    floats = canmatrix.Frame("Floats", arbitration_id=canmatrix.ArbitrationId(0x7F0), size=8)
    floats.add_signal(signal("F32I", 0, 32, True, signed=True, is_float=True, scale=("2", "1")))
    floats.add_signal(signal("F32M", motorola_start(32, 32), 32, False, signed=True, is_float=True))
    frames.append(floats)
    for intel, ident in ((True, 0x7F1), (False, 0x7F2)):
        double = canmatrix.Frame("Double%s" % ("I" if intel else "M"), arbitration_id=canmatrix.ArbitrationId(ident), size=8)
        double.add_signal(signal("D64", 0 if intel else 7, 64, intel, signed=True, is_float=True, scale=("0.5", "0")))
        frames.append(double)
    # canmatrix looks value texts up by the physical value: factor 1, offset 0
    texts = canmatrix.Frame("Texts", arbitration_id=canmatrix.ArbitrationId(0x7F3), size=8)
    texts.add_signal(signal("Gear", 0, 3, True, values={0: "Park", 1: "Reverse", 2: "Neutral", 3: "Drive"}))
    texts.add_signal(signal("Trim", motorola_start(40, 4), 4, False, signed=True,
                            values={-8: "Low", -1: "Minus one", 0: "Zero", 7: "High"}))
    frames.append(texts)
    mux = canmatrix.Frame("Muxed", arbitration_id=canmatrix.ArbitrationId(0x7F4), size=8)
    mux.add_signal(signal("Page", 0, 2, True, multiplex="Multiplexor"))
    mux.add_signal(signal("Always", 8, 8, True))
    for page in range(3):
        mux.add_signal(signal("P%dA" % page, 16, 12, True, signed=page == 1, multiplex=page))
        mux.add_signal(signal("P%dB" % page, motorola_start(40, 20), 20, False, multiplex=page, scale=SCALES[page]))
    frames.append(mux)
    frames.append(extended_mux())
    for frame in frames:
        db.add_frame(frame)
    ids = [(f.arbitration_id.id, f.arbitration_id.extended) for f in frames]
    queries = [ids[i % len(ids)] for i in range(len(ids) * 6)] + [(0x6FF, False), (0x6FF, True)] + [(0x7F5, False)] * 40
    return db, queries


def extended_mux():
    """Mode selects Sub or Alt, Sub selects Deep, each by ranges (SG_MUL_VAL_).
    canmatrix follows one multiplexor per level and decodes a multiplexed
    signal only by its SG_MUL_VAL_: the multiplexors of one level have
    ranges apart, and every multiplexed signal has its line."""
    frame = canmatrix.Frame("ExtMux", arbitration_id=canmatrix.ArbitrationId(0x7F5), size=8)
    frame.is_complex_multiplexed = True

    def selected(name, start, length, by, ranges, switch=False, intel=True, **extra):
        s = signal(name, start, length, intel, multiplex=ranges[0][0], **extra)
        s.muxer_for_signal = by
        s.mux_val_grp = [list(r) for r in ranges]
        if switch:  # "mNM", as canmatrix's own reader leaves it
            s.is_multiplexer = True
            s.multiplex = "Multiplexor"
        return s

    frame.add_signal(signal("Mode", 0, 3, True, multiplex="Multiplexor"))
    frame.add_signal(signal("Always", 56, 8, True))
    frame.add_signal(selected("Deep", 12, 3, "Sub", [(1, 3), (8, 8)], switch=True))
    frame.add_signal(selected("Sub", 3, 4, "Mode", [(1, 2)], switch=True))
    frame.add_signal(selected("Alt", motorola_start(4, 4), 4, "Mode", [(5, 6)], switch=True, intel=False))
    frame.add_signal(selected("ModeA", 36, 4, "Mode", [(0, 0), (3, 4), (7, 7)]))
    frame.add_signal(selected("SubA", 16, 12, "Sub", [(0, 0), (4, 7)], signed=True, scale=SCALES[1]))
    frame.add_signal(selected("DeepA", 28, 8, "Deep", [(0, 2)], values={0: "Zero", 1: "One"}))
    frame.add_signal(selected("DeepB", motorola_start(20, 10), 10, "Deep", [(3, 7)], intel=False, scale=SCALES[4]))
    frame.add_signal(selected("AltA", 40, 16, "Alt", [(0, 9), (12, 15)], signed=True))
    return frame


def j1939():
    db = canmatrix.CanMatrix()
    groups = [("EEC1", 0x0CF00400), ("TPMS", 0x18FEF433), ("Request", 0x18EA0000)]  # PDU2, PDU2, PDU1 (PF 0xEA)
    for name, ident in groups:
        frame = canmatrix.Frame(name, arbitration_id=canmatrix.ArbitrationId(ident, extended=True), size=8, is_j1939=True)
        frame.add_signal(signal("Speed", 24, 16, True, scale=("0.125", "0")))
        frame.add_signal(signal("Temp", motorola_start(0, 8), 8, False, signed=True, scale=("1", "-40")))
        db.add_frame(frame)
    queries = []
    for name, ident in groups:
        for _ in range(6):
            priority = rng.randrange(8) << 26
            source = rng.randrange(256)
            destination = rng.randrange(256) << 8 if (ident >> 16) & 0xFF < 0xF0 else ident & 0xFF00
            queries.append(((ident & 0x03FF0000) | priority | destination | source, True))
    queries += [(0x18FEF500, True), (0x0F4, False)]
    return db, queries


def expected(db, queries, frames_per_query):
    rows = []
    for ident, extended in queries:
        for _ in range(frames_per_query):
            data = bytes(rng.randrange(256) for _ in range(8))
            aid = canmatrix.ArbitrationId(ident, extended=extended)
            frame = None
            if not db.contains_j1939 or extended:
                frame = next((f for f in db.frames if f.arbitration_id.id == ident and f.arbitration_id.extended == extended), None)
                if frame is None and db.contains_j1939:
                    frame = db.frame_by_pgn(aid.pgn)
            row = {"id": ident, "extended": extended, "data": data.hex(), "message": frame.name if frame else None, "signals": {}}
            if frame:
                for name, value in frame.decode(data).items():
                    named = value.named_value
                    row["signals"][name] = {"value": str(value.phys_value), "text": named if isinstance(named, str) else ""}
            rows.append(row)
    return rows


def main():
    out = sys.argv[1]
    cases = []
    for name, (db, queries), per in (("plain", plain(), 8), ("j1939", j1939(), 2)):
        path = os.path.join(out, name + ".dbc")
        canmatrix.formats.dumpp({"": db}, path)
        cases.append({"dbc": path, "frames": expected(db, queries, per)})
    with open(os.path.join(out, "expected.json"), "w") as f:
        json.dump(cases, f)


main()
