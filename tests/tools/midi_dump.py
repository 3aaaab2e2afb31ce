#!/usr/bin/python3
"""Reads a Standard MIDI file with mido and prints what a test compares, one item a line:
   format F / ticks T / tracks N / tempo US / timesig NUM DEN / on TICK NOTE VELOCITY /
   off TICK NOTE VELOCITY / end TICK. Note-ons with velocity 0 count as note-offs."""
import sys

import mido


def main(path):
    midi = mido.MidiFile(path)
    print("format", midi.type)
    print("ticks", midi.ticks_per_beat)
    print("tracks", len(midi.tracks))
    for track in midi.tracks:
        now = 0
        for message in track:
            now += message.time
            if message.type == "set_tempo":
                print("tempo", message.tempo)
            elif message.type == "time_signature":
                print("timesig", message.numerator, message.denominator)
            elif message.type == "note_on" and message.velocity > 0:
                print("on", now, message.note, message.velocity)
            elif message.type in ("note_on", "note_off"):
                print("off", now, message.note, message.velocity)
            elif message.type == "end_of_track":
                print("end", now)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
