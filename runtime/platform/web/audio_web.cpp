// Sound output in the browser through Web Audio (tolvane_web.js): sample sounds on
// numbered channels, and one music stream: WAV, Ogg and MP3 decoded by the browser,
// MIDI played by a SoundFont synthesizer (FluidSynth built for the web) with the
// General MIDI soundfont the page brings along. A movie's sound plays through the page's
// video element (played_movie_web.cpp), so there is no PCM stream: it never opens.
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/audio.h"
#include "platform/web/web_internal.h"

extern "C" {
int tolvane_audio_open(int mixerChannels);
void tolvane_audio_close();
int tolvane_audio_rate();
int tolvane_audio_make_sound(const uint8_t* pcm, int bytes, int frequency, int channels, int bits);
void tolvane_audio_free_sound(int id);
int tolvane_audio_play(int channel, int id, double left, double right, int loop);
int tolvane_audio_playing(int channel);
void tolvane_audio_stop(int channel);
int tolvane_music_play(const uint8_t* bytes, int size, int midi, int loop);
int tolvane_music_playing();
double tolvane_music_duration();
void tolvane_music_restart();
void tolvane_music_stop();
}

namespace plat {

struct Sound {
    int id = 0;
};

namespace {

bool g_open = false;
int g_channels = 0;
bool g_music = false;
bool g_musicMidi = false;  // the music just played is MIDI

// Largest music file the page reads into memory.
constexpr long kMaxMusicBytes = 64L << 20;

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// A standard MIDI file as it is, or the one inside a RIFF wrapper (RMID); empty when the
// bytes are neither.
bool StandardMidi(std::vector<uint8_t>& bytes) {
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "MThd", 4) == 0) return true;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) || std::memcmp(bytes.data() + 8, "RMID", 4))
        return false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = Le32(bytes.data() + at + 4);
        if (size > bytes.size() - at - 8) return false;
        if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
            std::vector<uint8_t> inner(bytes.begin() + static_cast<long>(at) + 8,
                                       bytes.begin() + static_cast<long>(at + 8 + size));
            bytes.swap(inner);
            return bytes.size() >= 4 && std::memcmp(bytes.data(), "MThd", 4) == 0;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

}  // namespace

std::string MusicSoundFont() { return "TimGM6mb.sf2"; }

bool AudioOpen(int, int, int mixerChannels) {
    if (g_open) return true;
    if (mixerChannels < 1 || !tolvane_audio_open(mixerChannels)) return false;
    g_channels = mixerChannels;
    g_open = true;
    return true;
}

// Web Audio mixes in the browser's own rate, always in stereo.
int AudioDeviceRate() { return g_open ? tolvane_audio_rate() : 0; }
int AudioDeviceChannels() { return g_open ? 2 : 0; }

void AudioClose() {
    if (!g_open) return;
    MusicStop();
    tolvane_audio_close();
    g_open = false;
}

Sound* AudioMakeSound(const uint8_t* pcm, size_t bytes, int frequency, int channels, int bits) {
    if (!g_open || !pcm || frequency <= 0 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16))
        return nullptr;
    if (bytes > static_cast<size_t>(INT32_MAX / 16)) return nullptr;
    const int id = tolvane_audio_make_sound(pcm, static_cast<int>(bytes), frequency, channels, bits);
    if (id <= 0) return nullptr;
    Sound* s = new Sound;
    s->id = id;
    return s;
}

void AudioFreeSound(Sound* sound) {
    if (!sound) return;
    if (g_open) tolvane_audio_free_sound(sound->id);  // channels playing it stop
    delete sound;
}

bool AudioPlay(int channel, Sound* sound, float pan, float volume, bool loop) {
    if (!g_open || !sound || channel < 0 || channel >= g_channels) return false;
    if (pan < -1) pan = -1;
    if (pan > 1) pan = 1;
    if (!(volume >= 0)) volume = 0;
    if (volume > 1) volume = 1;
    const double left = (pan > 0 ? 1 - pan : 1) * volume, right = (pan < 0 ? 1 + pan : 1) * volume;
    return tolvane_audio_play(channel, sound->id, left, right, loop ? 1 : 0) != 0;
}

bool AudioChannelPlaying(int channel) {
    return g_open && channel >= 0 && channel < g_channels && tolvane_audio_playing(channel) != 0;
}

void AudioStopChannel(int channel) {
    if (g_open && channel >= 0 && channel < g_channels) tolvane_audio_stop(channel);
}

bool MusicPlay(const std::string& path, bool loop) {
    MusicStop();
    if (!g_open) return false;
    std::vector<uint8_t> bytes;
    if (!web::ReadWholeFile(path, bytes, kMaxMusicBytes)) return false;
    g_musicMidi = StandardMidi(bytes);
    g_music = tolvane_music_play(bytes.data(), static_cast<int>(bytes.size()), g_musicMidi ? 1 : 0, loop ? 1 : 0) != 0;
    return g_music;
}

bool MusicIsMidi() { return g_music && g_musicMidi; }

bool MusicPlaying() { return g_open && g_music && tolvane_music_playing() != 0; }

double MusicDuration() { return g_open && g_music ? tolvane_music_duration() : -1; }

void MusicRestart() {
    if (g_open && g_music) tolvane_music_restart();
}

void MusicStop() {
    if (g_music) tolvane_music_stop();
    g_music = false;
}

bool PcmOpen(int, int, PcmFormat) { return false; }
void PcmClose() {}
bool PcmQueue(const void*, size_t) { return false; }
double PcmQueuedMs() { return 0; }
// No stream is ever open, so there is no position to give.
bool PcmGetPosition(PcmPosition& position) {
    position = PcmPosition{};
    return false;
}
void PcmClear() {}
void PcmPause(bool) {}

}  // namespace plat
