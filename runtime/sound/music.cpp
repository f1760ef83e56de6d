#include "sound/music.h"

#include <cstring>
#include <vector>

#include "core/program.h"
#include "files/shoebox.h"
#include "platform/audio.h"
#include "platform/window.h"
#include "sound/midi_length.h"

namespace {

// Larger MIDI files are not measured; the mixer repeats them.
constexpr size_t kMaxMidiBytes = size_t{16} << 20;

bool g_active = false;   // a piece was started and not stopped
double g_lengthMs = -1;  // a MIDI piece's length; not positive when the mixer repeats the piece
double g_startMs = 0;    // platform clock when the piece last started from its beginning
long g_starts = 0;       // starts of the current piece, its first play included

// A MIDI file: plain, or wrapped in RIFF as "RMID".
bool IsMidi(const std::vector<uint8_t>& bytes) {
    return (bytes.size() >= 4 && !std::memcmp(bytes.data(), "MThd", 4)) ||
           (bytes.size() >= 12 && !std::memcmp(bytes.data(), "RIFF", 4) && !std::memcmp(bytes.data() + 8, "RMID", 4));
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
    // The bytes, as every loader reads them (a file larger than a MIDI file is measured
    // at is only found), and a path to them for the mixer.
    std::vector<uint8_t> bytes;
    const __Found found =
        file.Length() == 0 ? __Found::Nothing : __g_ShoeBox_Media.Fetch(file.c_str(), bytes, kMaxMidiBytes);
    if (found == __Found::Nothing || !__g_ShoeBox_Media.Resolve(file)) {
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
    if (found == __Found::Bytes && IsMidi(bytes)) {
        // MIDI starts again at the end of the piece's own time (the synthesizer lets the
        // last notes ring for seconds after it). A file whose events cannot be walked to
        // their end is damaged, and is not played.
        const double seconds = __MidiLengthSeconds(bytes.data(), bytes.size());
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
