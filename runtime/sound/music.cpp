#include "sound/music.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/program.h"
#include "files/shoebox.h"
#include "platform/audio.h"
#include "platform/window.h"
#include "sound/midi_length.h"

namespace {

// Larger MIDI files are not measured; the mixer repeats them.
constexpr long kMaxMidiBytes = 16L << 20;

bool g_active = false;   // a piece was started and not stopped
double g_lengthMs = -1;  // a MIDI piece's length; not positive when the mixer repeats the piece
double g_startMs = 0;    // platform clock when the piece last started from its beginning
long g_starts = 0;       // starts of the current piece, its first play included

// The whole file when it is a MIDI file (plain, or wrapped in RIFF as "RMID") of a
// sensible size.
bool ReadMidiFile(const char* path, std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char head[12] = {};
    const size_t got = std::fread(head, 1, sizeof head, f);
    const bool midi = (got >= 4 && !std::memcmp(head, "MThd", 4)) ||
                      (got == 12 && !std::memcmp(head, "RIFF", 4) && !std::memcmp(head + 8, "RMID", 4));
    long size = -1;
    if (midi && std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    bool ok = size > 0 && size <= kMaxMidiBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(size));
        ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    return ok;
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
    const DQStr asked = file;  // the lookup turns the name into the file's path
    if (file.Length() == 0 || !__g_ShoeBox_Media.Resolve(file)) {
        __WarnLoad("PLAYMUSIC", asked, __kNotFound);
        return 3;
    }
    // Without a sound device nothing plays, and the file is not to blame.
    const auto unplayable = [&] {
        if (plat::AudioDeviceRate() > 0) __WarnLoad("PLAYMUSIC", asked, "found, but not music that can be played");
        return 0;
    };
    // A file that is found but cannot be played (damaged, empty, of a kind the mixer
    // does not know) plays nothing; the command still succeeds.
    std::vector<uint8_t> midi;
    if (ReadMidiFile(file.c_str(), midi)) {
        // MIDI starts again at the end of the piece's own time (the synthesizer lets the
        // last notes ring for seconds after it). A file whose events cannot be walked to
        // their end is damaged, and is not played.
        const double seconds = __MidiLengthSeconds(midi.data(), midi.size());
        if (!(seconds > 0) || !plat::MusicPlay(file.c_str(), false)) return unplayable();
        g_lengthMs = seconds * 1000;
    } else {
        // Everything else the mixer repeats itself, from its last sample straight on to
        // its first.
        if (!plat::MusicPlay(file.c_str(), true)) return unplayable();
        g_lengthMs = -1;
    }
    g_startMs = plat::ClockMs();
    g_active = true;
    g_starts = 1;
    return 0;
}

void __MusicRepeatCheck(double nowMs) {
    if (!g_active || !(g_lengthMs > 0) || nowMs - g_startMs < g_lengthMs) return;
    plat::MusicRestart();
    g_startMs = nowMs;
    ++g_starts;
}

void __MusicRepeatCheck() { __MusicRepeatCheck(plat::ClockMs()); }

bool __MusicActive() { return g_active; }

long __MusicStarts() { return g_starts; }
