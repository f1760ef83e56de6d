// Internal (the platform contract): movie files read through the FFmpeg libraries: any container and codec they
// know. One picture stream (the first) and one sound stream (the best) are decoded; the
// pictures wait in a short queue in their own format until the player asks for one,
// converted to RGBA at the size it wants; the sound comes out as interleaved 16-bit
// samples at the stream's own rate, with one or two channels.
//
// Times are milliseconds from the movie's start, on one clock for pictures and sound.
// A damaged or hostile file never makes the decoder read outside its buffers or hold
// memory without bound: the file's probing is limited, pictures beyond the limits are
// refused (at opening) or dropped (later), and time stamps that go backwards or leap
// are straightened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

struct MovieLimits {
    int maxWidth = 8192;                  // of a picture
    int maxHeight = 8192;
    int64_t maxPixels = 4096LL * 2304;    // width x height
    int64_t probeBytes = 5 << 20;         // read to find the streams
    int64_t probeMicroseconds = 5000000;  // of the file's time, likewise
    double maxGapMs = 10000;              // larger leaps between pictures are cut to one picture's time
};

class MovieDecoder {
public:
    MovieDecoder();
    ~MovieDecoder();
    MovieDecoder(const MovieDecoder&) = delete;
    MovieDecoder& operator=(const MovieDecoder&) = delete;

    // Opens the file; false (and everything closed) when it holds no picture stream
    // the libraries can decode within the limits. A file already open is closed first.
    bool Open(const std::string& path, const MovieLimits& limits = MovieLimits());
    void Close();
    bool IsOpen() const;

    // The picture size the stream announces (each picture brings its own, which may
    // differ in a damaged file).
    int Width() const;
    int Height() const;
    // The sound stream: rate (frames a second) and channels (1 or 2) of the samples
    // TakeSound gives; false when the movie has none the libraries can decode.
    bool HasSound() const;
    int SoundRate() const;
    int SoundChannels() const;

    // Reads and decodes the next packet of the file. False once the file has ended (or
    // cannot be read further) and the decoders have given out everything they held.
    bool ReadPacket();
    bool Ended() const;

    // Pictures decoded and not taken yet, and the time of the first of them.
    size_t PicturesWaiting() const;
    double NextPictureMs() const;
    // Time from the first waiting picture to the next, as well as the stream tells it.
    double PictureDurationMs() const;
    // Converts the first waiting picture to width x height RGBA bytes (top row first,
    // scaled to that size) and drops it from the queue. False when there is none or it
    // cannot be converted (it is dropped all the same).
    bool TakePicture(uint8_t* rgba, int width, int height);
    void DropPicture();

    // Moves the sound decoded since the last call to `samples` (replacing its content)
    // and gives the time its first sample belongs to; false when there is none.
    bool TakeSound(std::vector<int16_t>& samples, double& startMs);

    // Back to the movie's start: the queues are emptied and decoding begins afresh.
    bool Rewind();

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace plat
