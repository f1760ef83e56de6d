#include "sound/music.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "files/shoebox.h"
#include "platform/audio.h"
#include "platform/window.h"
#include "sound/midi_length.h"

namespace {

// Larger MIDI files are not measured; their end is taken from the mixer.
constexpr long kMaxMidiBytes = 16L << 20;

bool g_active = false;   // a piece was started and not stopped
double g_lengthMs = -1;  // the piece's length; not positive when unknown
double g_startMs = 0;    // platform clock when the piece last started from its beginning
long g_starts = 0;       // starts of the current piece, its first play included

// The whole file when it is a MIDI file (plain or RIFF-wrapped) of a sensible size.
bool ReadMidiFile(const char* path, std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char head[4] = {};
    long size = -1;
    if (std::fread(head, 1, 4, f) == 4 && (!std::memcmp(head, "MThd", 4) || !std::memcmp(head, "RIFF", 4)) &&
        std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    bool ok = size > 0 && size <= kMaxMidiBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(size));
        ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    return ok;
}

// The piece's length in milliseconds: for MIDI from the file's own tempo map (the
// synthesizer lets the last notes ring for seconds after it), else as the decoder
// reports it; not positive when neither can tell.
double PieceLengthMs(const char* path) {
    std::vector<uint8_t> bytes;
    if (ReadMidiFile(path, bytes)) {
        double seconds = __MidiLengthSeconds(bytes.data(), bytes.size());
        if (seconds > 0) return seconds * 1000;
    }
    return plat::MusicDuration() * 1000;
}

}  // namespace

double STOPMUSIC() {
    plat::MusicStop();
    g_active = false;
    g_lengthMs = -1;
    g_starts = 0;
    return 0;
}

double PLAYMUSIC(DQStr file) {
    STOPMUSIC();
    if (file.Length() == 0 || !__g_ShoeBox_Media.Resolve(file)) return 3;
    if (!plat::MusicPlay(file.c_str())) return 3;
    g_startMs = plat::ClockMs();
    g_lengthMs = PieceLengthMs(file.c_str());
    g_active = true;
    g_starts = 1;
    return 0;
}

void __MusicRepeatCheck(double nowMs) {
    if (!g_active) return;
    // A piece of known length starts again once that much time has passed since its
    // start; one of unknown length when the mixer has stopped playing it.
    const bool ended = !plat::MusicPlaying() || (g_lengthMs > 0 && nowMs - g_startMs >= g_lengthMs);
    if (!ended) return;
    plat::MusicRestart();
    g_startMs = nowMs;
    ++g_starts;
}

void __MusicRepeatCheck() { __MusicRepeatCheck(plat::ClockMs()); }

bool __MusicActive() { return g_active; }

long __MusicStarts() { return g_starts; }
