// Internal (the platform contract): sound output over SDL_mixer: sample sounds played on numbered mixer channels, one
// music stream (MIDI through FluidSynth with a General MIDI soundfont, and the other
// formats the mixer reads), and one PCM stream that the program feeds as it goes (the
// sound of a movie).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// Opens the output device (16-bit samples) with `channels` mixer channels. False when
// there is no sound device; every other call then does nothing.
bool AudioOpen(int frequency, int outputChannels, int mixerChannels);
void AudioClose();
// The rate (frames a second) and channels the device plays; 0 while it is closed.
int AudioDeviceRate();
int AudioDeviceChannels();

struct Sound;  // samples converted once to the device's format, shared by all plays

// Converts PCM samples (8-bit unsigned or 16-bit signed, 1 or 2 channels) to the
// device's format. Null when the device is closed or the format cannot be converted.
Sound* AudioMakeSound(const uint8_t* pcm, size_t bytes, int frequency, int channels, int bits);
void AudioFreeSound(Sound* sound);
// Plays the sound on the channel, cutting off whatever played there: once, or (`loop`)
// again and again without a break until the channel is stopped. Pan -1 (left) ... 1
// (right); volume 0 ... 1, 1 being the samples as they are.
bool AudioPlay(int channel, Sound* sound, float pan, float volume, bool loop = false);
bool AudioChannelPlaying(int channel);
void AudioStopChannel(int channel);

// The music stream: plays the file from its start, once or (`loop`) again and again
// without a break, the mixer going on from the last sample to the first; false when it
// cannot be opened or played, or holds no sound at all.
bool MusicPlay(const std::string& path, bool loop);
// True when the file just played is MIDI (the synthesizer plays it).
bool MusicIsMidi();
bool MusicPlaying();
// Length in seconds of the loaded music as the mixer's decoder knows it; negative when
// it cannot tell (MIDI among others).
double MusicDuration();
// Plays the loaded music again from its start, once.
void MusicRestart();
void MusicStop();
// The soundfont MIDI plays with: SDL_SOUNDFONTS when set, else the first of the usual
// system soundfonts found; empty when there is none.
std::string MusicSoundFont();

// The PCM stream: samples the program queues while it shows pictures, played in the
// order queued. At most one stream is open. While it is open its sound is added over
// the sample sounds and the music, which go on playing as before (the stream takes the
// mixer's post-mix hook). When the queue runs dry the stream is silent until more is
// queued. Every call does nothing (and fails) when the device or the stream is closed.
enum class PcmFormat {
    Int16,    // 16-bit signed
    Float32,  // 32-bit float, -1 ... 1
};
// Opens the stream for interleaved samples in the machine's byte order at `frequency`
// (1000 ... 384000) frames a second with 1 or 2 channels; a stream already open is
// closed first. False when the device is closed or the format cannot be converted to
// the device's.
bool PcmOpen(int frequency, int channels, PcmFormat format, bool paused = false);
// Closes the stream; its queued sound is dropped. AudioClose closes it too.
void PcmClose();
// Queues whole frames (any number of them) behind those already queued, converted to
// the device's format as they come. False when no stream is open or `bytes` is not a
// whole number of frames (nothing is queued then), or when memory runs out (the frames
// before that stay queued).
bool PcmQueue(const void* samples, size_t bytes);
// Milliseconds of queued sound the mixer has not taken yet; 0 when the queue is empty
// or no stream is open. The device plays what the mixer took within about one mixer
// buffer (1024 frames).
double PcmQueuedMs();
// Where the stream stands, counted in source frames since it was opened (PcmClear
// starts the counts again): how many were queued, how many the mixer has taken, and the
// last block it took: its frames and the platform clock (ClockMs) when it took them.
// A block taken at time T plays from T on, one frame after the other.
struct PcmPosition {
    int64_t queued = 0;
    int64_t taken = 0;
    int64_t lastBlock = 0;
    double lastBlockAtMs = 0;
};
bool PcmGetPosition(PcmPosition& position);
// Drops the queued sound.
void PcmClear();
// A paused stream keeps its queue and adds nothing to the output until resumed. A
// stream opens paused when `PcmOpen` is told so.
void PcmPause(bool paused);

}  // namespace plat
