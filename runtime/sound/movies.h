// Movies: PLAYMOVIE and LOOPMOVIE show a movie file (any container and codec the
// system's FFmpeg libraries read) over the whole window and play its sound through the
// mixer, beside the sounds and the music. The picture keeps its aspect ratio: scaled by
// min(window width / picture width, window height / picture height), its size truncated
// to whole pixels, centred, the rest of the window black. The picture's size is the one
// it is meant to be shown at: pixels that are not square (anamorphic movies) widen or
// heighten it, and a movie that is to be shown turned is turned. The picture follows the
// sound (or the movie's own clock when it has none), which starts with the first picture
// and never goes back; where the sound pauses, silence goes on in its place. The program
// waits meanwhile, its window answering events.
//
// A key or mouse button still held when the movie starts does not skip it; a key that
// gives a character, or a mouse button, pressed while it plays does. Escape, Left Alt
// with F4 and closing the window end the program, as everywhere else.
//
// The name is looked up like music: a file on disk first, else the media archive.
//
// Where the platform plays movies by itself (the browser: its own video decoder, see
// platform/played_movie.h), the same player shows its pictures in the same place, on
// the platform's clock, with the same keys and answers; its sound goes beside the
// effects at the samples' own volume, as the desktop mixes it.
#pragma once

#include <string>

#include "core/dqstr.h"

// Plays the movie once (repeat 0) or again and again until skipped (repeat nonzero; each
// pass opens the file afresh). 0 after the movie ended or was skipped; 3 when the name
// is empty, is found nowhere or the file is no movie the libraries can open (a playlist
// or other list of further files or addresses is none). Everything it opened is closed
// on return.
double PlayVideo(DQStr file, int repeat);
double PLAYMOVIE(DQStr file);
double LOOPMOVIE(DQStr file);

// Unattended runs, set at start-up. Every k-th movie picture shown since start-up is
// also written as dir/movie-NNNNNN.bmp (k 0: none). Unpaced, pictures follow each other
// as fast as they are decoded and the sound is not played (a movie the platform plays
// by itself plays silent at its own speed). Under key replay no key
// skips a movie: PLAYMOVIE plays to its end, LOOPMOVIE plays its movie once.
void __SetMovieShots(const std::string& dir, long long every);
void __SetMovieUnpaced(bool unpaced);

// What the last movie did, for benchmarks and tests.
struct __MovieReport {
    long long shown = 0;    // pictures shown
    long long dropped = 0;  // pictures dropped to keep up with the sound
    long long passes = 0;   // times the movie started from its beginning
    double worstLagMs = 0;  // largest distance between a picture's time and the clock when it was shown
    bool sound = false;     // its sound played through the mixer
    double playMs = 0;      // platform time from the first picture to the end
    double lengthMs = 0;    // movie time at the end (of every pass)
};
__MovieReport __LastMovieReport();
// Movie pictures shown since start-up.
long long __MoviePicturesShown();
// Called after each movie picture is presented, with the picture's movie time and the
// platform clock (milliseconds) just after it went to the screen (NaN for a picture
// dropped to keep up); null: none.
void __SetMoviePictureHook(void (*hook)(double movieMs, double shownAtMs));
