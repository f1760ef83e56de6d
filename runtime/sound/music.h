// Background music: one piece at a time, repeated from its start whenever it ends
// (checked once per frame by SHOWSCREEN). MIDI plays through a General MIDI
// soundfont; OGG, MP3, WAV and the other formats the mixer reads play as well.
#pragma once

#include "core/dqstr.h"

// Stops any music and plays the file. 0 when it plays; 3 when the name is empty, is
// found nowhere, or the file cannot be played.
double PLAYMUSIC(DQStr file);
double STOPMUSIC();
// The per-frame repeat check.
void __MusicRepeatCheck();
// True while music is meant to play.
bool __MusicActive();
