#!/usr/bin/env python3
"""Figures of the demo's music as xm2wav renders it: section times, note
density, levels around the picture's changes, soloed drum and bass levels,
the hats' spectrum, stereo width, loudness (ffmpeg's ebur128), the fade at
the end and the loop.

    tools/make_music/measure_music.py build/native/bin/xm2wav build/native/bin/quenvar2.xm

Standard library only; ffmpeg for the EBU R128 figures. Channels by number:
kick 0, snare 1, hats 2, bass 4 (as the generator lays them out).
"""
import array
import cmath
import math
import os
import re
import statistics
import struct
import subprocess
import sys
import tempfile

RATE = 44100
KICK, SNARE, HATS, BASS = 0, 1, 2, 4


def read_xm(path):
    data = open(path, "rb").read()
    header_size = struct.unpack_from("<I", data, 60)[0]
    length, restart, channels, npat, nins, flags, speed, bpm = struct.unpack_from("<8H", data, 64)
    orders = list(data[80:80 + length])
    pos = 60 + header_size
    patterns = []
    for _ in range(npat):
        plen, _, rows, packed = struct.unpack_from("<IBHH", data, pos)
        body = data[pos + plen:pos + plen + packed]
        pos += plen + packed
        cells, i = [], 0
        for _ in range(rows * channels):
            if not packed:
                cells.append([0] * 5)
                continue
            b = body[i]
            if b & 0x80:
                i += 1
                cell = []
                for bit in range(5):
                    if b & (1 << bit):
                        cell.append(body[i])
                        i += 1
                    else:
                        cell.append(0)
            else:
                cell = list(body[i:i + 5])
                i += 5
            cells.append(cell)
        patterns.append((rows, cells))
    return dict(data=data, header_end=60 + header_size, channels=channels, orders=orders, restart=restart,
                speed=speed, bpm=bpm, patterns=patterns, rest=data[pos:])


def write_xm(xm, path, keep_channels):
    """The module with the notes of every other channel removed; effects stay, so timing is unchanged."""
    out = bytearray(xm["data"][:xm["header_end"]])
    for rows, cells in xm["patterns"]:
        body = bytearray()
        for k, cell in enumerate(cells):
            c = list(cell)
            if k % xm["channels"] not in keep_channels:
                c[0] = c[1] = c[2] = 0
            body += bytes([0x80 | 0x1F] + c)
        out += struct.pack("<IBHH", 9, 0, rows, len(body)) + body
    out += xm["rest"]
    open(path, "wb").write(out)


def timeline(xm):
    """(seconds at which each order starts, onsets per order, total seconds) of one pass."""
    speed, bpm = xm["speed"], xm["bpm"]
    frames = 0
    starts, onsets = {}, {}
    order, row, loop_row, loop_count = 0, 0, 0, 0
    n = xm["channels"]
    while order < len(xm["orders"]):
        rows, cells = xm["patterns"][xm["orders"][order]]
        starts.setdefault(order, frames / RATE)
        cell_row = cells[row * n:(row + 1) * n]
        jump = None
        next_row = row + 1
        for c in cell_row:
            if 1 <= c[0] <= 96:
                onsets[order] = onsets.get(order, 0) + 1
            if c[3] == 0xF and c[4]:
                if c[4] < 32:
                    speed = c[4]
                else:
                    bpm = c[4]
            elif c[3] == 0xD:
                jump = (c[4] >> 4) * 10 + (c[4] & 15)
            elif c[3] == 0xE and c[4] >> 4 == 6:
                if c[4] & 15 == 0:
                    loop_row = row
                elif loop_count == 0:
                    loop_count = c[4] & 15
                    next_row = loop_row
                else:
                    loop_count -= 1
                    if loop_count:
                        next_row = loop_row
        frames += speed * (RATE * 5 // (bpm * 2))
        if jump is not None:
            order, row, loop_row = order + 1, jump, 0
        elif next_row >= rows:
            order, row, loop_row = order + 1, 0, 0
        else:
            row = next_row
    return starts, onsets, frames / RATE


def render(xm2wav, module, wav, seconds=None):
    cmd = [xm2wav, module, wav] + (["--seconds", str(seconds)] if seconds else [])
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    raw = open(wav, "rb").read()
    at = raw.index(b"data") + 8
    samples = array.array("h")
    samples.frombytes(raw[at:])
    return samples


def rms_db(s, t0, t1, channels=(0, 1)):
    a, b = int(t0 * RATE), int(t1 * RATE)
    total = 0.0
    for ch in channels:
        seg = s[2 * a + ch:2 * b:2]
        total += sum(x * x for x in seg)
    count = (b - a) * len(channels)
    return 10 * math.log10(max(total / count, 1e-9) / 32768**2)


def loudest_window_db(s, window=0.05):
    """Loudest RMS over `window` seconds (both channels together), in dBFS."""
    w = int(window * RATE)
    energy = [s[2 * i] ** 2 + s[2 * i + 1] ** 2 for i in range(len(s) // 2)]
    run = sum(energy[:w])
    best = run
    for i in range(w, len(energy)):
        run += energy[i] - energy[i - w]
        if run > best:
            best = run
    return 10 * math.log10(max(best / (2 * w), 1e-9) / 32768**2)


def ebur128(wav):
    out = subprocess.run(["ffmpeg", "-nostats", "-hide_banner", "-i", wav, "-af", "ebur128", "-f", "null", "-"],
                         capture_output=True, text=True).stderr
    integrated = float(re.findall(r"I:\s+(-?[\d.]+) LUFS", out)[-1])
    lra = float(re.findall(r"LRA:\s+(-?[\d.]+) LU", out)[-1])
    return integrated, lra


def segment_lufs(wav, t0, length):
    out = subprocess.run(["ffmpeg", "-nostats", "-hide_banner", "-ss", str(t0), "-t", str(length), "-i", wav,
                          "-af", "ebur128", "-f", "null", "-"], capture_output=True, text=True).stderr
    return float(re.findall(r"I:\s+(-?[\d.]+) LUFS", out)[-1])


def band_figures(s, t0, length=4096):
    """Share of energy 8-16 kHz and spectral flatness there (white noise about 0.56) of a mono window."""
    a = int(t0 * RATE)
    x = [(s[2 * (a + i)] + s[2 * (a + i) + 1]) / 2 for i in range(length)]
    x = [v * (0.5 - 0.5 * math.cos(2 * math.pi * i / length)) for i, v in enumerate(x)]
    total = sum(v * v for v in x) * length / 2 or 1
    lo, hi = 8000 * length // RATE, 16000 * length // RATE
    powers = []
    for k in range(lo, hi):
        w = cmath.exp(-2j * math.pi * k / length)
        acc, z = 0, 1
        for v in x:
            acc += v * z
            z *= w
        powers.append(abs(acc) ** 2 + 1e-9)
    flat = math.exp(sum(math.log(p) for p in powers) / len(powers)) / (sum(powers) / len(powers))
    return sum(powers) / total, flat


def main():
    xm2wav, module = sys.argv[1], sys.argv[2]
    xm = read_xm(module)
    starts, onsets, total = timeline(xm)
    tmp = tempfile.mkdtemp()
    full = os.path.join(tmp, "full.wav")
    s = render(xm2wav, module, full)
    print(f"length {total:.2f} s (render {len(s) / 2 / RATE:.2f} s), restart order {xm['restart']}, "
          f"file {len(xm['data']) / 1024:.1f} KB")
    print("order starts: " + " ".join(f"{o}:{t:.2f}" for o, t in sorted(starts.items())))

    def density(first, last):
        t0 = starts[first]
        t1 = starts[last + 1] if last + 1 in starts else total
        return sum(onsets.get(o, 0) for o in range(first, last + 1)) / (t1 - t0)

    # Drum bars: the kick, snare and hats cells of each 16 rows, by section.
    n = xm["channels"]
    for name, first, last in (("main", 4, 9), ("finale", 10, 13)):
        bars, ghosts = set(), 0
        for o in range(first, last + 1):
            rows, cells = xm["patterns"][xm["orders"][o]]
            for r0 in range(0, rows, 16):
                bar = tuple(tuple(cells[r * n + ch][:3]) for r in range(r0, min(rows, r0 + 16))
                            for ch in (KICK, SNARE, HATS))
                bars.add(bar)
            ghosts += sum(1 for r in range(rows) if 1 <= cells[r * n + SNARE][0] <= 96
                          and 0x10 <= cells[r * n + SNARE][2] <= 0x10 + 16)
        print(f"{name}: {len(bars)} different drum bars, {ghosts} ghost snares (volume 16 or less)")
    main_rate, finale_rate = density(4, 9), density(10, 13)
    print(f"note onsets/s: main {main_rate:.1f}, finale {finale_rate:.1f} "
          f"({100 * (1 - finale_rate / main_rate):.0f}% fewer)")
    drop = rms_db(s, 22.2, 23.2) - rms_db(s, 21.2, 22.2)
    brk = rms_db(s, 36.9, 39.9) - rms_db(s, 32.9, 36.9)
    kdrop = segment_lufs(full, 22.2, 1) - segment_lufs(full, 21.2, 1)
    kbrk = segment_lufs(full, 36.9, 3) - segment_lufs(full, 32.9, 4)
    print(f"drop at 22.2 s: {drop:+.1f} dB (1 s after vs 1 s before)")
    print(f"breakdown at 36.9 s: {brk:+.1f} dB (3 s after vs 4 s before); "
          f"44-47 s vs 36.9-39.9 s {rms_db(s, 44, 47) - rms_db(s, 36.9, 39.9):+.1f} dB")
    print(f"the same K-weighted (ebur128 integrated over each span): drop {kdrop:+.1f} LU, breakdown {kbrk:+.1f} LU")
    print("level per 2 s: " + " ".join(f"{rms_db(s, t, t + 2):.0f}" for t in range(0, 88, 2)))
    peak = max(abs(v) for v in s)
    print(f"peak {20 * math.log10(peak / 32768):.2f} dBFS")
    integrated, lra = ebur128(full)
    print(f"integrated {integrated:.1f} LUFS, loudness range {lra:.1f} LU")
    ratios = []
    for t in range(22, 87):
        a, b = t * RATE, (t + 1) * RATE
        mid = side = 0.0
        for i in range(a, b):
            left, right = s[2 * i], s[2 * i + 1]
            mid += (left + right) ** 2
            side += (left - right) ** 2
        ratios.append(side / max(mid, 1))
    print(f"stereo width (side/mid energy, 1 s windows 22-87 s): median {statistics.median(ratios):.4f}")
    end = len(s) // 2
    tail = max(abs(v) for v in s[2 * (end - RATE // 10):])
    print(f"last 100 ms peak {20 * math.log10(max(tail, 1) / 32768):.1f} dBFS; "
          f"last 1 s RMS {rms_db(s, end / RATE - 1, end / RATE):.1f} dBFS")

    looped = render(xm2wav, module, os.path.join(tmp, "loop.wav"), total + 3)
    head = s[:2 * 2 * RATE]
    again = looped[2 * end:2 * end + len(head)]
    diff = max(abs(a - b) for a, b in zip(head, again))
    print(f"the 2 s after the end against the song's first 2 s: largest sample difference {diff}")

    for name, channel in (("kick", KICK), ("snare", SNARE), ("bass", BASS), ("hats", HATS)):
        path = os.path.join(tmp, f"solo{channel}.xm")
        write_xm(xm, path, {channel})
        solo = render(xm2wav, path, os.path.join(tmp, f"solo{channel}.wav"))
        print(f"soloed {name}: loudest 50 ms {loudest_window_db(solo):.1f} dBFS")
        if channel == HATS:
            # The loudest hat hit in the main part.
            best, at = 0, 0
            for i in range(int(22.2 * RATE), int(36 * RATE), 64):
                if abs(solo[2 * i]) > best:
                    best, at = abs(solo[2 * i]), i
            share, flat = band_figures(solo, at / RATE - 0.002)
            print(f"hats: {100 * share:.0f}% of the energy 8-16 kHz, flatness there {flat:.2f} (noise ~0.56)")


if __name__ == "__main__":
    main()
