#!/usr/bin/env python3
"""Writes the ring sound: a telephone-like double burst of 440 Hz and 480 Hz,
16-bit mono PCM at 22050 Hz, 1.2 seconds, as a WAV file.

    python3 make_ring.py OUTPUT.wav

Made from arithmetic alone, so the same file comes out on every machine.
"""
import math
import struct
import sys
import wave

RATE = 22050
AMPLITUDE = 9000
# (start, end) of each burst in seconds; silence between and after.
BURSTS = ((0.0, 0.4), (0.6, 1.0))
LENGTH = 1.2
FADE = 0.005  # seconds of fade at each edge of a burst, so it does not click


def sample(t):
    for start, end in BURSTS:
        if start <= t < end:
            edge = min(t - start, end - t)
            gain = min(1.0, edge / FADE)
            tone = math.sin(2 * math.pi * 440 * t) + math.sin(2 * math.pi * 480 * t)
            return int(round(AMPLITUDE * gain * tone / 2))
    return 0


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_ring.py OUTPUT.wav\n")
        return 2
    frames = b"".join(struct.pack("<h", sample(i / RATE)) for i in range(int(LENGTH * RATE)))
    with wave.open(argv[1], "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
