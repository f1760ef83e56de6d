// Background music: one piece at a time, repeated from its start whenever it ends
// (checked once per frame by SHOWSCREEN). MIDI plays through a General MIDI
// soundfont; OGG, MP3, WAV and the other formats the mixer reads play as well.
#pragma once

#include "core/dqstr.h"

// Stops any music and plays the file. 0 when it plays; 3 when the name is empty, is
// found nowhere, or the file cannot be played.
double PLAYMUSIC(DQStr file);
double STOPMUSIC();
// The per-frame repeat check: the piece starts again from its beginning when it has
// ended, within one frame of its end. The second form takes the time of the check
// (platform clock, milliseconds) instead of reading the clock.
void __MusicRepeatCheck();
void __MusicRepeatCheck(double nowMs);
// True while music is meant to play.
bool __MusicActive();
// How often the current piece has started, its first play included; 0 without music.
long __MusicStarts();
