// Sound effects: the device and 128 numbered slots, each holding one sound in up to
// four copies so that it can overlap itself. Every copy plays on a mixer channel of
// its own; the copies share the samples.
#pragma once

#include <cstdint>
#include <span>

#include "core/dqstr.h"

namespace plat {
struct Sound;
}

constexpr int __kCopiesPerSlot = 4;

class SFXSound {
public:
    SFXSound() = default;
    ~SFXSound();
    // Opens the sound device: 44100 Hz, 16-bit stereo (wave files of other rates are
    // converted to it as they load, so that music and movie sound need not be brought
    // down to the sound effects' usual 22050 Hz). False on a machine without sound; the
    // slots then load and play nothing.
    bool Create();
    bool IsOpen() const { return open_; }

private:
    bool open_ = false;
};

class SFXSoundBuffer {
public:
    SFXSoundBuffer();
    ~SFXSoundBuffer();
    SFXSoundBuffer(const SFXSoundBuffer&) = delete;
    SFXSoundBuffer& operator=(const SFXSoundBuffer&) = delete;

    // Loads a wave file's bytes with 1 ... 4 copies (clamped); the old sound goes first.
    // False (an empty slot) when the device is closed or the bytes are no wave file
    // the slots take.
    bool Load(SFXSound* device, std::span<const uint8_t> file, int copies);
    // Plays one copy once, or (`loop`) again and again until the slot is stopped: a copy
    // that is not playing, else (with several copies) the next one in turn, cut off and
    // restarted; a single busy copy (looping or not) drops the request.
    bool Play(float pan, float volume, bool loop = false);
    // Stops every copy, looping ones too.
    bool Stop();

    int CopyCount() const { return copies_; }
    bool CopyPlaying(int copy) const;

private:
    int Channel(int copy) const;
    // The copy to play next, or -1.
    int GetFreeBuffer();

    int copies_ = 0;
    int current_ = 0;
    SFXSound* device_ = nullptr;
    plat::Sound* sound_ = nullptr;
};

// The sound device and the 128 sound slots; null before start-up and after the end.
constexpr int __kSoundSlots = 128;
extern SFXSound* pDXsnd;
extern SFXSoundBuffer* DXwav;

// Loads a wave file into slot min(nr, 127) with 1 ... 4 copies. A name found nowhere
// leaves the slot as it was; a file that cannot be read leaves it empty.
double LOADSOUND(DQStr file, double nr, double copies = 1);
// Plays slot min(nr, 127) once; pan -1 (left) ... 1 (right), volume 0 ... 1 (1 full).
double PLAYSOUND(double nr, double pan, double volume);
// Stops every sound, looping ones too.
double HUSH();
// Stops every playing copy of slot min(nr, 127); other slots play on. A slot number
// below 0 does nothing.
double STOPSOUND(double nr);
// Plays slot min(nr, 127) again and again, from its end straight on to its start, until
// STOPSOUND, HUSH or a LOADSOUND into the slot stops it. The copy is chosen as PLAYSOUND
// chooses one (a looping copy counts as busy): with one copy busy the request is
// dropped; with several, the next in turn is cut off and loops. Pan and volume as for
// PLAYSOUND.
double LOOPSOUND(double nr, double pan, double volume);
