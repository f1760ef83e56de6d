#include "sound/sfx_sound.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/numbers.h"
#include "core/program.h"
#include "files/shoebox.h"
#include "platform/audio.h"
#include "sound/wave_file.h"

SFXSound* pDXsnd = nullptr;
SFXSoundBuffer* DXwav = nullptr;

namespace {
constexpr int kFrequency = 44100;
}  // namespace

SFXSound::~SFXSound() {
    plat::AudioClose();
    open_ = false;
}

bool SFXSound::Create() {
    open_ = plat::AudioOpen(kFrequency, 2, __kSoundSlots * __kCopiesPerSlot);
    return open_;
}

SFXSoundBuffer::SFXSoundBuffer() = default;

SFXSoundBuffer::~SFXSoundBuffer() {
    Stop();
    plat::AudioFreeSound(sound_);
    sound_ = nullptr;
    copies_ = current_ = 0;
}

int SFXSoundBuffer::Channel(int copy) const {
    const int slot = static_cast<int>(this - DXwav);
    if (!DXwav || slot < 0 || slot >= __kSoundSlots) return -1;
    return slot * __kCopiesPerSlot + copy;
}

bool SFXSoundBuffer::CopyPlaying(int copy) const {
    return copy >= 0 && copy < copies_ && plat::AudioChannelPlaying(Channel(copy));
}

bool SFXSoundBuffer::Load(SFXSound* device, std::span<const uint8_t> file, int copies) {
    Stop();
    plat::AudioFreeSound(sound_);
    sound_ = nullptr;
    copies_ = current_ = 0;
    device_ = device;
    if (!device || !device->IsOpen()) return false;
    __WaveSound wave;
    if (!__ReadWave(file, wave)) return false;
    sound_ = plat::AudioMakeSound(wave.samples.data(), wave.samples.size(), wave.frequency, wave.channels, wave.bits);
    if (!sound_) {
        device_ = nullptr;
        return false;
    }
    copies_ = std::clamp(copies, 1, __kCopiesPerSlot);
    return true;
}

int SFXSoundBuffer::GetFreeBuffer() {
    if (copies_ == 0) return -1;
    if (CopyPlaying(current_)) {
        if (copies_ == 1) return -1;
        current_ = (current_ + 1) % copies_;
        if (CopyPlaying(current_)) plat::AudioStopChannel(Channel(current_));
    }
    return current_;
}

bool SFXSoundBuffer::Play(float pan, float volume, bool loop) {
    if (!device_ || !device_->IsOpen() || copies_ == 0 || !sound_) return false;
    const int copy = GetFreeBuffer();
    if (copy < 0) return false;
    return plat::AudioPlay(Channel(copy), sound_, pan, volume, loop);
}

bool SFXSoundBuffer::Stop() {
    if (!device_ || !device_->IsOpen() || copies_ == 0) return false;
    for (int c = 0; c < copies_; ++c) plat::AudioStopChannel(Channel(c));
    return true;
}

namespace {
// A slot number as the commands take it: truncated, above 127 taken as 127.
SFXSoundBuffer* Slot(double nr) {
    if (!DXwav) return nullptr;
    int s = __TruncInt(nr);
    if (s > __kSoundSlots - 1) s = __kSoundSlots - 1;
    return s >= 0 ? &DXwav[s] : nullptr;
}

// PLAYSOUND and LOOPSOUND: pan and volume clamped (a NaN is 0).
void PlaySlot(double nr, double pan, double volume, bool loop) {
    SFXSoundBuffer* slot = Slot(nr);
    if (!slot) return;
    pan = std::isnan(pan) ? 0 : std::clamp(pan, -1.0, 1.0);
    volume = std::isnan(volume) ? 0 : std::clamp(volume, 0.0, 1.0);
    slot->Play(static_cast<float>(pan), static_cast<float>(volume), loop);
}

}  // namespace

double LOADSOUND(DQStr file, double nr, double copies) {
    SFXSoundBuffer* slot = Slot(nr);
    if (!slot) {
        if (DXwav) __WarnLoad("LOADSOUND", file, "sound " + std::to_string(__TruncInt(nr)) + " is below 0, nothing loaded");
        return 0;
    }
    const std::string sound = "sound " + std::to_string(slot - DXwav);
    std::vector<uint8_t> bytes;
    if (__g_ShoeBox_Data.Fetch(file.c_str(), bytes) == __Found::Nothing) {
        __WarnLoad("LOADSOUND", file, __kNotFound + ", " + sound + " unchanged");
        return 0;
    }
    // Without a sound device nothing loads, and the file is not to blame.
    if (!slot->Load(pDXsnd, bytes, __TruncInt(copies)) && pDXsnd && pDXsnd->IsOpen())
        __WarnLoad("LOADSOUND", file, "not a wave file that can be played, " + sound + " is now empty");
    return 0;
}

double PLAYSOUND(double nr, double pan, double volume) {
    PlaySlot(nr, pan, volume, false);
    return 0;
}

double LOOPSOUND(double nr, double pan, double volume) {
    PlaySlot(nr, pan, volume, true);
    return 0;
}

double STOPSOUND(double nr) {
    if (SFXSoundBuffer* slot = Slot(nr)) slot->Stop();
    return 0;
}

double HUSH() {
    if (!DXwav) return 0;
    for (int s = 0; s < __kSoundSlots; ++s) DXwav[s].Stop();
    return 0;
}
