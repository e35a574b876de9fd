#!/usr/bin/python3
"""The far side of an slcan adapter for tellvane-cli, played by python-can.

python-can's slcan bus (itself a host of the protocol, as the program is)
opens one pseudo-terminal; a second one, whose name is printed first, is for
tellvane-cli (--adapter slcan:NAME). Bytes are passed between the two as a
null-modem cable would, so each side reads what the other writes.

  slcan_peer.py send FRAME...  sends the frames (ID#DATA as cansend takes
                               them) once the program polls the adapter's
                               status ("F"), i.e. is on the bus and set up
  slcan_peer.py receive        prints each frame the program sends (ID#DATA)

Either ends at the end of its standard input, once nothing more arrives.
"""

import os
import select
import sys
import tty

import can


def pty_pair():
    master, slave = os.openpty()
    tty.setraw(slave)  # no echo before the far end opens it
    return master, slave, os.ttyname(slave)


def frame_text(msg):
    ident = "%08X" % msg.arbitration_id if msg.is_extended_id else "%03X" % msg.arbitration_id
    return ident + "#" + msg.data.hex().upper()


def parse_frame(text):
    ident, data = text.split("#")
    return can.Message(arbitration_id=int(ident, 16), is_extended_id=len(ident) == 8, data=bytes.fromhex(data))


def received(bus):
    """Every frame python-can has read: recv(timeout=0) gives up at the first
    line that is no frame (the program's commands), with more in its buffer."""
    while True:
        msg = bus.recv(timeout=0)
        if msg is not None:
            yield msg
        elif b"\r" not in bus._buffer and b"\a" not in bus._buffer:
            return


def main():
    mode, frames = sys.argv[1], [parse_frame(t) for t in sys.argv[2:]]
    peer_master, _peer_slave, peer_name = pty_pair()
    program_master, _program_slave, program_name = pty_pair()
    bus = can.interface.Bus(interface="slcan", channel=peer_name, sleep_after_open=0)
    port = bus.serialPortOrig.fileno()
    print(program_name, flush=True)

    from_program = b""
    stdin_open = True
    while True:
        ready, _, _ = select.select([program_master, peer_master, port] + ([sys.stdin] if stdin_open else []), [], [],
                                    None if stdin_open else 1.0)
        if not ready:
            break  # the program is done and everything it wrote has been read
        if program_master in ready:
            data = os.read(program_master, 4096)
            os.write(peer_master, data)
            from_program += data
            if mode == "send" and frames and b"F\r" in from_program:
                for frame in frames:
                    bus.send(frame)
                frames = []
        if peer_master in ready:
            os.write(program_master, os.read(peer_master, 4096))
        if port in ready:
            for msg in received(bus):
                probe = msg.arbitration_id == 0 and not msg.is_extended_id and msg.dlc == 0
                if mode == "receive" and not probe:
                    print(frame_text(msg), flush=True)
        if sys.stdin in ready and not sys.stdin.buffer.read1(4096):
            stdin_open = False
    bus.shutdown()


if __name__ == "__main__":
    main()
