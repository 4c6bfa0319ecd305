#!/usr/bin/python3
"""Writes the answers an evdev key device gives to libevdev's ioctls, as a umockdev ioctl file.

usage: make_evdev_ioctl.py NAME KEYS [KEYS_DOWN_AFTER_A_DROP]

KEYS are the key codes the device has (decimal, comma-separated). Without the third argument no
key is down. With it, a second EVIOCGKEY answer follows, which umockdev gives to the next state
query after the first: the keys down when libevdev re-reads the state after a SYN_DROPPED.
"""
import sys

EV_SYN, EV_KEY, EV_REP = 0x00, 0x01, 0x14


def bits(size, codes):
    out = bytearray(size)
    for c in codes:
        out[c // 8] |= 1 << (c % 8)
    return out.hex().upper()


def text(size, value):
    out = bytearray(size)
    raw = value.encode()
    out[:len(raw)] = raw
    return out.hex().upper()


def main():
    name, keys = sys.argv[1], [int(k) for k in sys.argv[2].split(",")]
    # Sizes are those libevdev asks for; umockdev matches a request by its size too.
    lines = [
        "@DEV /dev/input/event5 (evdev)",
        "EVIOCGBIT(0) 8 " + bits(8, [EV_SYN, EV_KEY, EV_REP]),
        "EVIOCGNAME %d %s" % (len(name) + 1, text(255, name)),
        "EVIOCGID 0 " + "1900" + "0000" + "0000" + "0000",  # BUS_HOST
        "EVIOCGVERSION 0 01000100",
        "EVIOCGPROP 0 " + bits(8, []),
        "EVIOCGBIT(1) 96 " + bits(96, keys),
        "EVIOCGBIT(2) 8 " + bits(8, []),
        "EVIOCGBIT(3) 8 " + bits(8, []),
        "EVIOCGBIT(4) 8 " + bits(8, []),
        "EVIOCGBIT(5) 8 " + bits(8, []),
        "EVIOCGBIT(17) 8 " + bits(8, []),
        "EVIOCGBIT(18) 8 " + bits(8, []),
        "EVIOCGBIT(21) 16 " + bits(16, []),
        "EVIOCGREP 0 " + "FA000000" + "21000000",  # 250 ms delay, 33 ms period
        "EVIOCGKEY 0 " + bits(96, []),
        "EVIOCGLED 0 " + bits(8, []),
        "EVIOCGSW 0 " + bits(8, []),
    ]
    if len(sys.argv) > 3:
        down = [int(k) for k in sys.argv[3].split(",") if k]
        lines.append("EVIOCGKEY 0 " + bits(96, down))
    print("\n".join(lines))


main()
