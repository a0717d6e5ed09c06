#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

packets: every identifier of the dispatch table as a valid datagram, plus
handshakes, race restarts and short races with cars alongside, in the
framing of packets_target.cpp. settings: config files of several shapes
behind the header of settings_target.cpp. sound: tiny WAV images, valid
and refused. Run it again after changing a framing; it replaces only the
files it writes (names start with "seed-").
"""
import os
import struct
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def write(target, name, data):
    d = os.path.join(ROOT, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "seed-" + name), "wb") as f:
        f.write(data)


# --- packets ---------------------------------------------------------------

CONNECT = {"idle": 0, "connecting": 1, "connected": 2, "reconnect": 3}
TRACKS = {"KY1": 0, "KY1R": 1, "BL1": 2, "KY2": 3}


def header(state="connected", auto_reconnect=True, prediction=True, announced=True, oval_only=False,
           race=True, players=True, track="BL1", sounds=0, trace=False, wrap=False, play=1, own=0,
           count=3, seed=0, model_seed=0, direct=False, spotting=None):
    h0 = (CONNECT[state] | (auto_reconnect << 2) | ((not prediction) << 3) | (announced << 4)
          | (oval_only << 5) | (race << 6) | (players << 7))
    h1 = TRACKS[track] | (sounds << 2) | (trace << 4) | (wrap << 5) | (play << 6)
    h4 = 0x80 if spotting else 0
    out = bytes([h0, h1, own, count, h4, seed, model_seed, int(direct)])
    if spotting:
        out += struct.pack("<7i", *spotting)
    return out


def dgram(b):
    return struct.pack("<H", len(b)) + b


def tick(ms):
    return struct.pack("<H", 0x8000 | ms)


RECEIVE_ERROR = struct.pack("<H", 0xFFFF)


def acked(ident, length, value):
    p = bytearray(length)
    p[0:4] = ident.encode() + b"\0"
    p[4] = length // 4
    struct.pack_into("<H", p, length - 2, value)
    return bytes(p)


def sta(own=0, count=3, race=1, track="BL1", flags=0):
    p = bytearray(28)
    p[0:4] = b"STA\0"
    struct.pack_into("<H", p, 8, flags)
    p[11] = own
    p[12] = count
    p[15] = race
    t = track.encode()
    p[20:20 + len(t)] = t
    return bytes(p)


def npl(index, car, name="Driver"):
    p = bytearray(100)
    p[0:4] = b"NPL\0"
    n = name.encode()[:31]
    p[28:28 + len(n)] = n
    c = car.encode()[:35]
    p[60:60 + len(c)] = c
    p[96] = index
    return bytes(p)


KMH100 = 9102  # raw speed of about 100 km/h


def car(x_m=0.0, y_m=0.0, speed=KMH100, direction=0, heading=0, ang_vel=0):
    return (b"\x01\x02\x03\x04" + struct.pack("<ii", int(x_m * 65536), int(y_m * 65536)) + b"\x05\x06\x07\x08"
            + struct.pack("<HHHh", speed, direction, heading, ang_vel))


def mci(cars, total=None, first=0):
    p = bytearray(204)
    p[0:4] = b"MCI\0"
    p[8] = len(cars) + first if total is None else total
    p[9] = first
    for i, c in enumerate(cars[:8]):
        p[12 + 24 * i:36 + 24 * i] = c
    return bytes(p)


def packets():
    alongside_right = mci([car(), car(x_m=3.0), car(x_m=100.0)])
    alongside_left = mci([car(), car(x_m=-3.0), car(x_m=100.0)])
    three_wide = mci([car(), car(x_m=3.0), car(x_m=-3.0)])
    all_clear = mci([car(), car(x_m=60.0), car(x_m=-60.0)])

    # Every identifier of the dispatch table, valid, in a connected race.
    table = [("LAP", 60), ("NCN", 60), ("CNL", 56), ("PLP", 56), ("PLL", 56), ("CPR", 88), ("REN", 8),
             ("CLR", 8), ("SPX", 12), ("RES", 108), ("REO", 36), ("RST", 20), ("ACK", 8)]
    for i, (ident, length) in enumerate(table):
        write("packets", ident.lower(), header() + dgram(acked(ident, length, 0x0201 + i)))
    write("packets", "npl", header(players=False) + dgram(npl(1, "XF GTI")))
    write("packets", "mci", header() + dgram(alongside_right))
    write("packets", "sta", header(state="connecting", announced=False, race=False) + dgram(sta()))

    # Handshake, players answering their requests, then a race.
    write("packets", "handshake-race",
          header(state="connecting", announced=False, race=False, players=False)
          + dgram(sta(count=3)) + dgram(npl(0, "XR GT TURBO", "Own")) + dgram(npl(1, "FZ50 GTR"))
          + dgram(npl(2, "UNKNOWN")) + tick(100) + dgram(alongside_right) + tick(200) + dgram(all_clear))
    write("packets", "reconnect-handshake",
          header(state="connecting", announced=True, race=False) + dgram(sta(track="KY1")))
    write("packets", "sta-reconnect", header(state="reconnect") + dgram(sta(track="KY1R", flags=0x1004)))
    write("packets", "rst-no-reconnect", header(auto_reconnect=False) + dgram(acked("RST", 20, 7)))

    # Short races: a car arrives on a side, stays (still there), leaves.
    for track in ("BL1", "KY1", "KY1R"):
        for name, side in (("right", alongside_right), ("left", alongside_left), ("middle", three_wide)):
            write("packets", "race-%s-%s" % (name, track.lower()),
                  header(track=track, play=2) + dgram(side) + tick(1000) + dgram(side) + tick(3000)
                  + dgram(side) + tick(500) + dgram(all_clear))
    write("packets", "race-right-to-middle-to-left",
          header(play=1, seed=77) + dgram(alongside_right) + tick(300) + dgram(three_wide) + tick(300)
          + dgram(alongside_left) + tick(300) + dgram(all_clear))
    write("packets", "race-trace-wrap",
          header(trace=True, wrap=True, play=3) + dgram(alongside_right) + tick(4000) + dgram(alongside_right))
    write("packets", "race-oval-only",
          header(oval_only=True, track="KY2") + dgram(alongside_right))
    write("packets", "race-no-prediction-direct",
          header(prediction=False, direct=True, sounds=2) + dgram(three_wide) + dgram(all_clear))
    write("packets", "race-own-out-of-table", header(own=40) + dgram(alongside_right))
    write("packets", "race-slow-spinning",
          header() + dgram(mci([car(speed=100), car(x_m=3.0)])) + dgram(mci([car(ang_vel=3000), car(x_m=3.0)])))
    write("packets", "race-settings",
          header(spotting=[10, 0, 200, 200, 180, 100, 1000]) + dgram(alongside_left) + tick(150)
          + dgram(alongside_left))

    # A set of twelve cars in two packets, and a set past the table's end.
    twelve = [car(x_m=3.0 * (i - 6), y_m=0.5 * i) for i in range(12)]
    write("packets", "mci-twelve",
          header(count=12) + dgram(mci(twelve[:8], total=12, first=0)) + dgram(mci(twelve[8:], total=12, first=8)))
    write("packets", "mci-past-table",
          header(count=40) + dgram(mci([car(x_m=3.0)] * 8, total=40, first=28)))

    # What is refused: a bad identifier, short receives, wrong lengths, an
    # unknown identifier, a datagram longer than the receive buffer.
    write("packets", "refused",
          header() + dgram(b"LAPX" + bytes(56)) + dgram(b"LA") + RECEIVE_ERROR + dgram(acked("LAP", 59, 5))
          + dgram(b"ZZZ\0" + bytes(12)) + dgram(acked("ACK", 600, 9)) + dgram(mci([car()])[:200]))


# --- settings ----------------------------------------------------------------

def settings_header(cap=128, section=0, key=0, default=2, load=True, steps=0):
    return struct.pack("<H", cap) + bytes([section, key, default | (0xC0 if load else 0), steps])


FULL_CONFIG = (b"[main]\naddress=192.168.1.20\ndestPort=29999\nsrcPort=30000\nadminPass=secret\n"
               b"autoReconnectOnRestart=1\nautorunLFS=0\nLFSpath=C:\\LFS\\LFS.exe\n\n[spotting]\n"
               b"maxXDistance=23\nminSpeed=25\nmaxSpeedDiffFaster=75\nmaxSpeedDiffSlower=75\n"
               b"maxAngleDiff=30\nstillThereInterval=2500\nprediction=400\novalOnly=0\n")


def settings():
    write("settings", "full", settings_header() + FULL_CONFIG)
    write("settings", "full-crlf-port", settings_header(cap=16, key=1) + FULL_CONFIG.replace(b"\n", b"\r\n"))
    write("settings", "spotting-prediction", settings_header(section=1, key=13) + FULL_CONFIG)
    write("settings", "partial", settings_header(key=3) + b"[main]\naddress=10.0.0.1\n")
    write("settings", "empty", settings_header(cap=0))
    write("settings", "odd-values",
          settings_header(cap=5, section=2, key=17, default=3)
          + b"; comment\n# other\n  [ MAIN ]  trailing\n  ADDRESS  =  \"quoted text\"  \n"
            b"destPort=0x7531\nsrcPort=-1\nadminPass='single'\nautorunLFS=  +2junk\nLFSpath=\n"
            b"[main]\naddress=second section\n")
    write("settings", "numbers",
          settings_header(section=1, key=7)
          + b"[spotting]\nmaxXDistance=4294967297\nminSpeed=2147483648\nmaxSpeedDiffFaster=-0x10\n"
            b"maxSpeedDiffSlower=\"12\"\nmaxAngleDiff= \nstillThereInterval=0x\nprediction=007\novalOnly=x\n")
    write("settings", "nul-and-no-newline",
          settings_header(cap=300, key=0) + b"[main]\nadd\0ress=x\naddress=a\0b\nsrcPort=1")
    long_value = b"v" * 5000
    write("settings", "long-line",
          settings_header(cap=300, key=6, steps=250) + b"[main]\nLFSpath=" + long_value + b"\naddress=" + b"a" * 200 + b"\n")
    # A value that straddles the reader's 4096-byte chunks.
    pad = b";" + b"p" * (4096 - 12) + b"\n"
    write("settings", "chunk-boundary", settings_header(key=0) + b"[main]\n" + pad + b"address=boundary\n")


# --- sound -------------------------------------------------------------------

def wav(fmt=None, data=b"\x80\x81", extra=b"", order="fmt-data"):
    if fmt is None:
        fmt = struct.pack("<HHIIHH", 1, 1, 8000, 8000, 1, 8)
    fmt_chunk = b"fmt " + struct.pack("<I", len(fmt)) + fmt + (b"\0" if len(fmt) % 2 else b"")
    data_chunk = b"data" + struct.pack("<I", len(data)) + data
    chunks = fmt_chunk + extra + data_chunk if order == "fmt-data" else data_chunk + fmt_chunk
    return b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks


def sound():
    write("sound", "pcm8-mono", wav())
    write("sound", "pcm16-stereo", wav(struct.pack("<HHIIHH", 1, 2, 22050, 88200, 4, 16), bytes(16)))
    write("sound", "float32", wav(struct.pack("<HHIIHHH", 3, 1, 8000, 32000, 4, 32, 0), bytes(8)))
    write("sound", "list-chunk-odd", wav(extra=b"LIST" + struct.pack("<I", 3) + b"abc\0"))
    write("sound", "data-before-fmt", wav(order="data-fmt"))
    write("sound", "short-fmt", wav(fmt=bytes(14)))
    write("sound", "data-too-long", wav()[:-1])
    write("sound", "riff-only", b"RIFF\0\0\0\0WAVE")
    write("sound", "not-riff", b"RIFX" + bytes(40))
    write("sound", "empty", b"")


def main():
    packets()
    settings()
    sound()
    return 0


if __name__ == "__main__":
    sys.exit(main())
