// Background music: one piece at a time, repeated from its start for as long as the
// program runs. OGG, MP3, WAV, FLAC and the other formats the mixer reads repeat without
// a break: the mixer goes on from the piece's last sample to its first. MIDI plays
// through a General MIDI soundfont and starts again at the end of the piece's own time
// (its notes still ringing), checked once per frame by SHOWSCREEN.
#pragma once

#include "core/dqstr.h"

// Stops any music and plays the file. 3 when the name is empty or is found nowhere;
// else 0, also when the file cannot be played (damaged, empty, of an unknown kind): then
// nothing plays, and nothing is tried again.
double PLAYMUSIC(DQStr file);
double STOPMUSIC();
// The per-frame repeat check: a MIDI piece starts again from its beginning within one
// frame of its end. The second form takes the time of the check (platform clock,
// milliseconds) instead of reading the clock.
void __MusicRepeatCheck();
void __MusicRepeatCheck(double nowMs);
// True while music is meant to play.
bool __MusicActive();
// How often the current MIDI piece has started, its first play included (1 for a piece
// the mixer repeats); 0 without music.
long __MusicStarts();
