#include "platform/audio.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/window.h"

namespace plat {

struct Sound {
    Mix_Chunk* chunk = nullptr;
    Uint8* samples = nullptr;  // owned, in the device's format
};

namespace {

bool g_open = false;
int g_channels = 0;
int g_frequency = 0;
Uint16 g_format = 0;
int g_outputChannels = 0;
Mix_Music* g_music = nullptr;

const char* const kSoundFonts[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf3/default-GM.sf3",
};

// The PCM stream. The mixer's thread reads it in the post-mix hook; everything the hook
// touches is guarded by `lock`, which the program's thread holds only for short steps.
struct PcmStream {
    std::mutex lock;
    SDL_AudioStream* stream = nullptr;  // converts to the device's format
    int frequency = 0;                  // of the source
    int frameBytes = 0;                 // one source frame
    int deviceFrameBytes = 0;
    // Source frames queued since the stream opened or was cleared, and of them those the
    // mixer has taken (counted in source frames), and the last block it took.
    int64_t queued = 0;
    double taken = 0;
    double lastBlock = 0;
    double lastBlockAtMs = 0;
    bool paused = false;
    bool flushed = true;  // nothing queued since the converter last gave out everything
};

PcmStream* g_pcm = nullptr;

constexpr int kPcmMinFrequency = 1000;
constexpr int kPcmMaxFrequency = 384000;
// Source frames converted under one hold of the lock.
constexpr size_t kPcmQueueStep = 4096;

// Adds the stream's next samples to the mixed output; runs on the mixer's thread.
void SDLCALL MixPcm(void* arg, Uint8* out, int len) {
    PcmStream* p = static_cast<PcmStream*>(arg);
    std::lock_guard<std::mutex> hold(p->lock);
    if (p->paused) return;
    if (!p->flushed && SDL_AudioStreamAvailable(p->stream) < len) {
        // Running dry: the converter gives out what it still holds back for resampling.
        // It lets go of the last samples only with something behind them, so one silent
        // frame goes in first.
        if (p->frequency != g_frequency) {
            static const Uint8 silence[8] = {};
            if (SDL_AudioStreamPut(p->stream, silence, p->frameBytes) == 0) ++p->queued;
        }
        SDL_AudioStreamFlush(p->stream);
        p->flushed = true;
    }
    Uint8 buf[4096];
    const int step = static_cast<int>(sizeof buf) / p->deviceFrameBytes * p->deviceFrameBytes;
    int done = 0;
    while (done < len) {
        const int got = SDL_AudioStreamGet(p->stream, buf, std::min(step, len - done));
        if (got <= 0) break;
        SDL_MixAudioFormat(out + done, buf, g_format, static_cast<Uint32>(got), SDL_MIX_MAXVOLUME);
        done += got;
    }
    const double block = static_cast<double>(done / p->deviceFrameBytes) * p->frequency / g_frequency;
    if (p->flushed && SDL_AudioStreamAvailable(p->stream) == 0) {
        // Everything queued has been taken (the counts are kept exact, free of the
        // converter's rounding).
        p->lastBlock = std::max(0.0, static_cast<double>(p->queued) - p->taken);
        p->taken = static_cast<double>(p->queued);
    } else {
        p->lastBlock = block;
        p->taken = std::min(p->taken + block, static_cast<double>(p->queued));
    }
    if (done > 0) p->lastBlockAtMs = ClockMs();
}

// A standard MIDI file, or one wrapped in RIFF.
bool LooksLikeMidi(const std::string& path) {
    unsigned char head[12] = {};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n >= 4 && std::memcmp(head, "MThd", 4) == 0) return true;
    return n >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "RMID", 4) == 0;
}

}  // namespace

std::string MusicSoundFont() {
    if (const char* env = std::getenv("SDL_SOUNDFONTS"); env && *env) return env;
    for (const char* path : kSoundFonts)
        if (access(path, R_OK) == 0) return path;
    return std::string();
}

bool AudioOpen(int frequency, int outputChannels, int mixerChannels) {
    if (g_open) return true;
    // Sound of another rate than the device's (music above all) is converted with a
    // filter that keeps what the device cannot carry from folding back into what it
    // plays (SDL's own converter does not filter when it brings the rate down).
    SDL_SetHintWithPriority(SDL_HINT_AUDIO_RESAMPLING_MODE, "medium", SDL_HINT_DEFAULT);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    Mix_Init(MIX_INIT_MID | MIX_INIT_OGG | MIX_INIT_MP3);
    if (Mix_OpenAudio(frequency, AUDIO_S16SYS, outputChannels, 1024) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    Mix_QuerySpec(&g_frequency, &g_format, &g_outputChannels);
    g_channels = Mix_AllocateChannels(mixerChannels);
    std::string font = MusicSoundFont();
    if (!font.empty() && !std::getenv("SDL_SOUNDFONTS")) Mix_SetSoundFonts(font.c_str());
    g_open = true;
    return true;
}

int AudioDeviceRate() { return g_open ? g_frequency : 0; }
int AudioDeviceChannels() { return g_open ? g_outputChannels : 0; }

void AudioClose() {
    if (!g_open) return;
    PcmClose();
    MusicStop();
    Mix_HaltChannel(-1);
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_open = false;
}

Sound* AudioMakeSound(const uint8_t* pcm, size_t bytes, int frequency, int channels, int bits) {
    if (!g_open || !pcm || frequency <= 0 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16))
        return nullptr;
    if (bytes > static_cast<size_t>(INT32_MAX / 16)) return nullptr;
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, bits == 8 ? AUDIO_U8 : AUDIO_S16LSB, static_cast<Uint8>(channels), frequency,
                          g_format, static_cast<Uint8>(g_outputChannels), g_frequency) < 0)
        return nullptr;
    cvt.len = static_cast<int>(bytes);
    Uint8* buf = static_cast<Uint8*>(SDL_malloc(bytes * static_cast<size_t>(cvt.len_mult) + 16));
    if (!buf) return nullptr;
    if (bytes) std::memcpy(buf, pcm, bytes);
    cvt.buf = buf;
    if (cvt.needed && SDL_ConvertAudio(&cvt) != 0) {
        SDL_free(buf);
        return nullptr;
    }
    int len = cvt.needed ? cvt.len_cvt : static_cast<int>(bytes);
    Sound* s = new Sound;
    s->samples = buf;
    s->chunk = Mix_QuickLoad_RAW(buf, static_cast<Uint32>(len));
    if (!s->chunk) {
        SDL_free(buf);
        delete s;
        return nullptr;
    }
    return s;
}

void AudioFreeSound(Sound* sound) {
    if (!sound) return;
    if (g_open) {
        // No channel may go on reading the samples.
        for (int c = 0; c < g_channels; ++c)
            if (Mix_GetChunk(c) == sound->chunk) Mix_HaltChannel(c);
    }
    Mix_FreeChunk(sound->chunk);
    SDL_free(sound->samples);
    delete sound;
}

bool AudioPlay(int channel, Sound* sound, float pan, float volume, bool loop) {
    if (!g_open || !sound || channel < 0 || channel >= g_channels) return false;
    if (pan < -1) pan = -1;
    if (pan > 1) pan = 1;
    if (!(volume >= 0)) volume = 0;
    if (volume > 1) volume = 1;
    const float left = pan > 0 ? 1 - pan : 1, right = pan < 0 ? 1 + pan : 1;
    Mix_SetPanning(channel, static_cast<Uint8>(left * 255 + 0.5f), static_cast<Uint8>(right * 255 + 0.5f));
    Mix_Volume(channel, static_cast<int>(volume * MIX_MAX_VOLUME + 0.5f));
    return Mix_PlayChannel(channel, sound->chunk, loop ? -1 : 0) == channel;
}

bool AudioChannelPlaying(int channel) {
    return g_open && channel >= 0 && channel < g_channels && Mix_Playing(channel) != 0;
}

void AudioStopChannel(int channel) {
    if (g_open && channel >= 0 && channel < g_channels) Mix_HaltChannel(channel);
}

bool MusicPlay(const std::string& path, bool loop) {
    MusicStop();
    if (!g_open) return false;
    g_music = Mix_LoadMUS(path.c_str());
    if (!g_music) return false;
    if (Mix_GetMusicType(g_music) == MUS_MID && !LooksLikeMidi(path)) {
        // Taken for MIDI by its name alone: the synthesizer would accept it and play
        // nothing.
        MusicStop();
        return false;
    }
#if SDL_MIXER_VERSION_ATLEAST(2, 6, 0)
    // A file without a single sample: looping it would keep the mixer turning on nothing.
    if (Mix_GetMusicType(g_music) != MUS_MID) {
        const double seconds = Mix_MusicDuration(g_music);
        if (seconds >= 0 && seconds * g_frequency < 1) {
            MusicStop();
            return false;
        }
    }
#endif
    if (Mix_PlayMusic(g_music, loop ? -1 : 1) != 0) {
        MusicStop();
        return false;
    }
    return true;
}

bool MusicIsMidi() { return g_open && g_music && Mix_GetMusicType(g_music) == MUS_MID; }

bool MusicPlaying() { return g_open && g_music && Mix_PlayingMusic(); }

double MusicDuration() {
#if SDL_MIXER_VERSION_ATLEAST(2, 6, 0)
    if (g_open && g_music) return Mix_MusicDuration(g_music);
#endif
    return -1;
}

void MusicRestart() {
    if (g_open && g_music) Mix_PlayMusic(g_music, 1);
}

void MusicStop() {
    if (!g_music) return;
    Mix_HaltMusic();
    Mix_FreeMusic(g_music);
    g_music = nullptr;
}

bool PcmOpen(int frequency, int channels, PcmFormat format, bool paused) {
    PcmClose();
    if (!g_open || frequency < kPcmMinFrequency || frequency > kPcmMaxFrequency || (channels != 1 && channels != 2))
        return false;
    SDL_AudioFormat source;
    switch (format) {
        case PcmFormat::Int16: source = AUDIO_S16SYS; break;
        case PcmFormat::Float32: source = AUDIO_F32SYS; break;
        default: return false;
    }
    SDL_AudioStream* stream = SDL_NewAudioStream(source, static_cast<Uint8>(channels), frequency, g_format,
                                                 static_cast<Uint8>(g_outputChannels), g_frequency);
    if (!stream) return false;
    g_pcm = new PcmStream;
    g_pcm->stream = stream;
    g_pcm->frequency = frequency;
    g_pcm->frameBytes = SDL_AUDIO_BITSIZE(source) / 8 * channels;
    g_pcm->deviceFrameBytes = SDL_AUDIO_BITSIZE(g_format) / 8 * g_outputChannels;
    g_pcm->paused = paused;
    Mix_SetPostMix(MixPcm, g_pcm);
    return true;
}

void PcmClose() {
    if (!g_pcm) return;
    // Once the hook is taken away (under the device's lock) the mixer no longer reads
    // the stream.
    Mix_SetPostMix(nullptr, nullptr);
    SDL_FreeAudioStream(g_pcm->stream);
    delete g_pcm;
    g_pcm = nullptr;
}

bool PcmQueue(const void* samples, size_t bytes) {
    if (!g_pcm || (!samples && bytes) || bytes % static_cast<size_t>(g_pcm->frameBytes)) return false;
    const Uint8* next = static_cast<const Uint8*>(samples);
    const size_t step = kPcmQueueStep * static_cast<size_t>(g_pcm->frameBytes);
    while (bytes) {
        const size_t n = std::min(bytes, step);
        std::lock_guard<std::mutex> hold(g_pcm->lock);
        if (SDL_AudioStreamPut(g_pcm->stream, next, static_cast<int>(n)) != 0) return false;
        g_pcm->queued += static_cast<int64_t>(n / static_cast<size_t>(g_pcm->frameBytes));
        g_pcm->flushed = false;
        next += n;
        bytes -= n;
    }
    return true;
}

double PcmQueuedMs() {
    if (!g_pcm) return 0;
    std::lock_guard<std::mutex> hold(g_pcm->lock);
    const double ms = 1000.0 * (static_cast<double>(g_pcm->queued) - g_pcm->taken) / g_pcm->frequency;
    return ms > 0 ? ms : 0;
}

bool PcmGetPosition(PcmPosition& position) {
    if (!g_pcm) return false;
    std::lock_guard<std::mutex> hold(g_pcm->lock);
    position.queued = g_pcm->queued;
    position.taken = static_cast<int64_t>(g_pcm->taken + 0.5);
    position.lastBlock = static_cast<int64_t>(g_pcm->lastBlock + 0.5);
    position.lastBlockAtMs = g_pcm->lastBlockAtMs;
    return true;
}

void PcmClear() {
    if (!g_pcm) return;
    std::lock_guard<std::mutex> hold(g_pcm->lock);
    SDL_AudioStreamClear(g_pcm->stream);
    g_pcm->queued = 0;
    g_pcm->taken = g_pcm->lastBlock = 0;
    g_pcm->flushed = true;
}

void PcmPause(bool paused) {
    if (!g_pcm) return;
    std::lock_guard<std::mutex> hold(g_pcm->lock);
    g_pcm->paused = paused;
}

}  // namespace plat
