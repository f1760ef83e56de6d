#include "sound/midi_length.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/byte_io.h"

namespace {

constexpr double kUnknown = -1;
constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note (120 bpm)

// The 4-byte tag next in the bytes; false (the bytes read all the same) when it is
// another.
bool Tag(ByteReader& r, const char* tag) {
    const uint8_t* p = r.Bytes(4);
    return p && std::memcmp(p, tag, 4) == 0;
}

// A variable-length quantity: at most four bytes of seven bits each.
bool VarLen(ByteReader& r, uint32_t& v) {
    v = 0;
    for (int i = 0; i < 4; ++i) {
        const uint8_t b = r.U8();
        if (!r.Ok()) return false;
        v = (v << 7) | (b & 0x7F);
        if (!(b & 0x80)) return true;
    }
    return false;
}

struct TempoChange {
    uint64_t tick;
    uint32_t microsPerQuarter;
};

// Data bytes that follow a channel message's status byte.
int ChannelDataBytes(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

// Walks one track's events, collecting its tempo changes; `end` becomes the tick of its
// end-of-track event, or of its last event when the chunk ends without one.
bool ReadTrack(ByteReader r, std::vector<TempoChange>& tempos, uint64_t& end) {
    uint64_t tick = 0;
    // Status of the last channel message, 0 before the first. Files in the wild carry it
    // across meta and system exclusive events, so those leave it as it is.
    uint8_t running = 0;
    while (r.Left() > 0) {
        uint32_t delta;
        if (!VarLen(r, delta) || r.Left() == 0) return false;
        tick += delta;
        uint8_t status = *r.Here();
        if (status < 0x80) {  // running status: this byte is already the first data byte
            if (!running) return false;
            status = running;
        } else {
            r.Skip(1);
        }
        if (status < 0xF0) {
            running = status;
            for (int i = ChannelDataBytes(status); i > 0; --i)
                if (r.U8() >= 0x80 || !r.Ok()) return false;
        } else if (status == 0xF0 || status == 0xF7) {  // system exclusive
            uint32_t length;
            if (!VarLen(r, length) || !r.Skip(length)) return false;
        } else if (status == 0xFF) {  // meta event
            const uint8_t type = r.U8();
            uint32_t length;
            if (!r.Ok() || !VarLen(r, length) || length > r.Left()) return false;
            if (type == 0x51) {  // tempo: microseconds per quarter note in three bytes
                const uint32_t tempo = r.BigEndian(3);
                if (length != 3 || !r.Ok()) return false;
                tempos.push_back({tick, tempo});
            } else if (type == 0x2F) {  // end of track
                end = tick;
                return true;
            } else {
                r.Skip(length);
            }
        } else {
            return false;  // real-time and system common messages have no place in a file
        }
    }
    end = tick;
    return true;
}

// The standard MIDI bytes inside a RIFF "RMID" file (its "data" chunk), or false.
bool UnwrapRiff(ByteReader& r) {
    if (!Tag(r, "RIFF") || !r.Skip(4) || !Tag(r, "RMID")) return false;
    while (r.Left() >= 8) {
        const bool isData = Tag(r, "data");
        const uint32_t length = r.U32();
        if (length > r.Left()) return false;
        if (isData) {
            r = ByteReader(r.Here(), length);
            return true;
        }
        r.Skip(length);
        if (length & 1) r.Skip(1);  // chunks are padded to even lengths
    }
    return false;
}

}  // namespace

double __MidiLengthSeconds(const uint8_t* data, size_t size) {
    if (!data) return kUnknown;
    ByteReader r(data, size);
    if (size >= 4 && std::memcmp(data, "RIFF", 4) == 0 && !UnwrapRiff(r)) return kUnknown;

    if (!Tag(r, "MThd")) return kUnknown;
    const uint32_t headerLength = r.BigEndian(4);
    if (!r.Ok() || headerLength < 6 || headerLength > r.Left()) return kUnknown;
    const uint32_t format = r.BigEndian(2);
    const uint32_t tracks = r.BigEndian(2);
    const uint32_t division = r.BigEndian(2);
    r.Skip(headerLength - 6);
    if (format > 2 || tracks == 0 || division == 0) return kUnknown;

    double secondsPerTick = 0;  // fixed for SMPTE division; tempo-dependent otherwise
    if (division & 0x8000) {
        const int framesPerSecond = -static_cast<int8_t>(division >> 8);
        const int ticksPerFrame = division & 0xFF;
        double fps;
        switch (framesPerSecond) {
            case 24: case 25: case 30: fps = framesPerSecond; break;
            case 29: fps = 30000.0 / 1001.0; break;  // 29.97 drop-frame
            default: return kUnknown;
        }
        if (ticksPerFrame == 0) return kUnknown;
        secondsPerTick = 1.0 / (fps * ticksPerFrame);
    }

    std::vector<TempoChange> tempos;
    uint64_t end = 0;
    uint32_t found = 0;
    while (found < tracks && r.Left() > 0) {
        const bool isTrack = Tag(r, "MTrk");  // a chunk of another kind is passed over
        const uint32_t length = r.BigEndian(4);
        if (!r.Ok() || length > r.Left()) return kUnknown;
        if (isTrack) {
            uint64_t trackEnd = 0;
            if (!ReadTrack(ByteReader(r.Here(), length), tempos, trackEnd)) return kUnknown;
            end = std::max(end, trackEnd);
            ++found;
        }
        r.Skip(length);
    }
    if (found < tracks) return kUnknown;

    if (secondsPerTick > 0) return static_cast<double>(end) * secondsPerTick;
    // Tempo changes hold for every track from their tick on; at one tick the later
    // track's change wins, as a player merging the tracks in order would apply them.
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    double micros = 0;
    uint64_t tick = 0;
    uint32_t tempo = kDefaultTempo;
    for (const TempoChange& t : tempos) {
        if (t.tick >= end) break;
        micros += static_cast<double>(t.tick - tick) * tempo;
        tick = t.tick;
        tempo = t.microsPerQuarter;
    }
    micros += static_cast<double>(end - tick) * tempo;
    return micros / division / 1e6;
}
