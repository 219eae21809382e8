#!/usr/bin/env python3
"""Writes the export fuzzer's seed corpus (tests/fuzz/corpus): one file per driving story, in
the input format that export_fuzzer.cpp reads."""
import os
import struct
import sys

LOAD, DISPOSE, VERSION, SET_VEHICLE_SPEC, INIT, ELAPSE, FRAMES, POWER, BRAKE, REVERSER, KEY_DOWN, KEY_UP, \
    HORN, DOOR_OPEN, DOOR_CLOSE, SIGNAL, BEACON, INSTANCE, LISTENER = range(19)

# Tags of special values, as in export_fuzzer.cpp's tables.
INT_MIN, INT_MAX = 0x80, 0x81
NAN, INF, NEG_INF, FLT_MAX_, BIG = 0x80, 0x82, 0x83, 0x84, 0x8C
NEG_12_5 = 0x93
LOC_NAN, LOC_INF, LOC_DBL_MAX, LOC_1E30, LOC_12345_6 = 0x80, 0x82, 0x84, 0x88, 0x90
T_NEG_1000, T_DAY, T_INT_MIN, T_INT_MAX, T_ABS_0 = 0x82, 0x83, 0x84, 0x85, 0x90
TYPES = {0: 0, 1: 1, 50: 2, 55: 3, 56: 4, 21: 5, 140: 6, 141: 7, 142: 8, 143: 9, 144: 10,
         145: 11, 147: 12, 150: 13, 160: 14, 146: 15}


def i(v):
    if -16 <= v < 112:
        return bytes([v + 16])
    return b"\xff" + struct.pack("<i", v)


def f(v):
    if isinstance(v, int) and 0 <= v < 128:
        return bytes([v])
    return b"\xff" + struct.pack("<f", v)


def special(tag):
    return bytes([tag])


def elapse(speed=f(0), loc=bytes([0]), step=bytes([20]), traction=f(0)):
    return bytes([ELAPSE]) + speed + loc + step + traction + f(0)


def frames(count16, step, speed, metres_quarter=0):
    """count16 stretches of 16 frames: two of the fuzzer's units of 8."""
    return bytes([FRAMES, 2 * count16 - 1, step]) + speed + bytes([metres_quarter])


def beacon(type_, signal=0, distance=f(0), optional=0):
    return bytes([BEACON, TYPES[type_]]) + i(signal) + distance + i(optional)


def start(instance=0, notches=8, ats_notch=2):
    return (bytes([INSTANCE, instance, LOAD, SET_VEHICLE_SPEC]) + i(notches) + i(ats_notch) + i(0) +
            bytes([INIT]) + i(0) + bytes([DOOR_CLOSE]))


seeds = {}
# Running without a driver action: the vigilance device warns, then brakes; the emergency
# position releases it.
seeds["vigilance"] = (start() + bytes([POWER]) + i(3) + elapse(f(40), bytes([1])) +
                      frames(128, 33, f(40), 40) + bytes([BRAKE]) + i(9) + elapse(f(40)) +
                      bytes([HORN]) + i(0) + bytes([DISPOSE]))
# A pattern check against every script, braking and reset.
for n in range(6):
    seeds[f"pattern_{n}"] = (start(n) + elapse(f(60), bytes([1])) + beacon(50, 0, f(100)) +
                             elapse(f(60)) + frames(2, 20, f(60)) + bytes([BRAKE]) + i(9) +
                             bytes([KEY_DOWN]) + i(3) + elapse(f(0)) + bytes([KEY_UP]) + i(3) +
                             elapse(f(0)) + beacon(50, 0, special(INF)) + elapse(f(0)) +
                             bytes([DISPOSE]))
# The alarm: started, not confirmed, tripped; then confirm, release and reset.
seeds["alarm"] = (start() + elapse(f(30)) + beacon(0) + frames(16, 33, f(30)) + beacon(1) +
                  elapse(f(30)) + bytes([BRAKE]) + i(9) + bytes([KEY_DOWN]) + i(0) +
                  elapse(f(30)) + bytes([KEY_DOWN]) + i(1) + elapse(f(30)) + bytes([KEY_DOWN]) +
                  i(3) + elapse(f(30)) + beacon(55, 0, f(0), 20) + beacon(56, 0, f(0), 0) +
                  elapse(f(30)) + bytes([DISPOSE]))
# Host floats at their edges.
seeds["floats"] = (start() +
                   elapse(special(NAN), special(LOC_NAN), bytes([20]), special(NAN)) +
                   elapse(special(INF), special(LOC_INF), bytes([20]), special(NEG_INF)) +
                   elapse(special(BIG), special(LOC_1E30), bytes([20]), special(FLT_MAX_)) +
                   elapse(special(NEG_12_5), special(LOC_DBL_MAX), bytes([20]), f(1)) +
                   elapse(f(20), special(LOC_12345_6)) +
                   beacon(50, 0, special(NAN)) + elapse(special(NAN)) +
                   beacon(55, 0, f(0), 2**31 - 1) + beacon(56, 0, f(0), -2**31) +
                   elapse(special(INF)) + frames(8, 20, special(NAN), 255) + bytes([DISPOSE]))
# Calls out of the expected order: before Load, twice, after Dispose.
seeds["out_of_order"] = (bytes([ELAPSE]) + f(10) + bytes([0, 20, 0, 0]) + beacon(50) +
                         bytes([INIT]) + i(0) + bytes([HORN]) + i(0) + bytes([SIGNAL]) + i(0) +
                         bytes([DISPOSE, DISPOSE, LOAD, LOAD]) + elapse(f(10)) +
                         bytes([DISPOSE]) + elapse(f(10)) + beacon(0) + bytes([INIT]) + i(-1) +
                         elapse(f(10)) + bytes([VERSION, DISPOSE]))
# The host's clock jumping about.
seeds["time_jumps"] = (start() + elapse(f(20)) +
                       elapse(f(20), bytes([1]), special(T_INT_MAX)) +
                       elapse(f(20), bytes([1]), special(T_INT_MIN)) +
                       elapse(f(20), bytes([1]), special(T_ABS_0)) +
                       elapse(f(20), bytes([1]), special(T_DAY)) +
                       elapse(f(20), bytes([1]), special(T_NEG_1000)) +
                       beacon(0) + frames(4, 127, f(20)) + bytes([DISPOSE]))
# The monitor's beacons with odd values.
seeds["monitor"] = (start() + beacon(21, 0, f(0), 1) + bytes([DOOR_OPEN]) + elapse(f(0)) +
                    bytes([DOOR_CLOSE]) + elapse(f(0)) +
                    b"".join(beacon(t, 0, f(0), v) for t, v in
                             [(140, 9), (141, -2**31), (142, 2**31 - 1), (143, 12), (144, -1),
                              (145, 5), (147, -2**31), (150, 0), (160, 0), (160, 0), (160, 0)]) +
                    frames(8, 20, f(0)) + bytes([POWER]) + i(1) + elapse(f(5), traction=f(1)) +
                    frames(4, 20, f(5)) + bytes([DISPOSE]))
# Odd specs and handles.
seeds["extremes"] = (bytes([LOAD, SET_VEHICLE_SPEC]) + i(2**31 - 1) + i(-2**31) + i(0) + bytes([INIT]) +
                     i(2**31 - 1) + bytes([POWER]) + i(-2**31) + bytes([BRAKE]) + i(-2**31) +
                     bytes([REVERSER]) + i(2**31 - 1) + bytes([KEY_DOWN]) + i(-1) +
                     bytes([KEY_UP]) + i(2**31 - 1) + bytes([DOOR_CLOSE]) + elapse(f(100)) +
                     frames(16, 33, f(100)) + bytes([DISPOSE]))

# The debug channel: lines with extreme values, then the listener
# going away and coming back.
seeds["debug_channel"] = (start() + elapse(f(0), special(LOC_DBL_MAX)) +
                          beacon(50, -2**31, special(FLT_MAX_), 2**31 - 1) +
                          bytes([SIGNAL]) + i(-2**31) + bytes([LISTENER]) + beacon(0) +
                          bytes([SIGNAL]) + i(1) + bytes([LISTENER, DISPOSE, LOAD]) +
                          beacon(21) + bytes([INIT]) + i(-1) + bytes([DISPOSE]))

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
os.makedirs(out, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as fh:
        fh.write(data)
print(f"{len(seeds)} seeds in {out}")
