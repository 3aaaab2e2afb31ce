#!/usr/bin/python3
"""Reads a Standard MIDI file with mido and prints what a test compares: first the line
   FORMAT TICKS_PER_BEAT TEMPO_US TIMESIG END_TICK (TIMESIG as numerator * 10 + denominator, the
   last of each), then one line per note: TICK NOTE VELOCITY, the velocity negative for a note-off
   (a note-on with velocity 0 counts as a note-off, -0)."""
import sys

import mido


def main(path):
    midi = mido.MidiFile(path)
    tempo, timesig, end, notes = 0, 0, -1, []
    for track in midi.tracks:
        now = 0
        for message in track:
            now += message.time
            if message.type == "set_tempo":
                tempo = message.tempo
            elif message.type == "time_signature":
                timesig = message.numerator * 10 + message.denominator
            elif message.type == "note_on" and message.velocity > 0:
                notes.append((now, message.note, message.velocity))
            elif message.type in ("note_on", "note_off"):
                notes.append((now, message.note, -message.velocity))
            elif message.type == "end_of_track":
                end = now
    print(midi.type, midi.ticks_per_beat, tempo, timesig, end)
    for note in notes:
        print(*note)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
