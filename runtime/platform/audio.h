// Sound output over SDL_mixer: sample sounds played on numbered mixer channels, and
// one music stream (MIDI through FluidSynth with a General MIDI soundfont, and the
// other formats the mixer reads).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// Opens the output device (16-bit samples) with `channels` mixer channels. False when
// there is no sound device; every other call then does nothing.
bool AudioOpen(int frequency, int outputChannels, int mixerChannels);
void AudioClose();

struct Sound;  // samples converted once to the device's format, shared by all plays

// Converts PCM samples (8-bit unsigned or 16-bit signed, 1 or 2 channels) to the
// device's format. Null when the device is closed or the format cannot be converted.
Sound* AudioMakeSound(const uint8_t* pcm, size_t bytes, int frequency, int channels, int bits);
void AudioFreeSound(Sound* sound);
// Plays the sound once on the channel, cutting off whatever played there. Pan -1
// (left) ... 1 (right); volume 0 ... 1, 1 being the samples as they are.
bool AudioPlay(int channel, Sound* sound, float pan, float volume);
bool AudioChannelPlaying(int channel);
void AudioStopChannel(int channel);

// The music stream: plays the file once from its start; false when it cannot be
// opened or played.
bool MusicPlay(const std::string& path);
bool MusicPlaying();
// Length in seconds of the loaded music as the mixer's decoder knows it; negative when
// it cannot tell (MIDI among others).
double MusicDuration();
// Plays the loaded music again from its start.
void MusicRestart();
void MusicStop();
// The soundfont MIDI plays with: SDL_SOUNDFONTS when set, else the first of the usual
// system soundfonts found; empty when there is none.
std::string MusicSoundFont();

}  // namespace plat
