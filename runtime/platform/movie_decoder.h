// Internal (the platform contract): movie files read through the FFmpeg libraries: any container and codec they
// know. One picture stream (the first) and one sound stream (the best) are decoded; the
// pictures wait in a queue in their own format until the player asks for one, converted
// to RGBA at the size it wants (with the colour matrix and range the picture is tagged
// with, and turned the way the file says it is to be shown); the sound comes out as
// interleaved 16-bit samples, in blocks that each carry their time.
//
// Times are milliseconds from the movie's start, on one clock for pictures and sound.
// A damaged or hostile file never makes the decoder read outside its buffers or hold
// memory without bound: the file's probing is limited, pictures beyond the limits are
// refused (at opening) or dropped (later), and time stamps that go backwards or leap
// are straightened. A movie file opens nothing but itself: only local files are read,
// and playlists, manifests and other formats that name further files or addresses are
// refused. Reading that runs on without giving anything (a file that goes on in
// zeros) ends the movie within a set budget of bytes and time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
    // One read that goes this far in the file (or four times the largest packet so far,
    // when that is more), or takes this long, without giving a packet ends the file
    // there.
    int64_t readBudgetBytes = 4 << 20;
    double readBudgetMs = 700;
    double openBudgetMs = 15000;          // opening that takes longer fails
};

class MovieDecoder {
public:
    MovieDecoder();
    ~MovieDecoder();
    MovieDecoder(const MovieDecoder&) = delete;
    MovieDecoder& operator=(const MovieDecoder&) = delete;

    // Called every few milliseconds while the libraries open or read the file; false
    // stops the reading at once (opening fails, or the file counts as ended). Set it
    // before Open.
    void SetReadHook(std::function<bool()> hook);
    // The rate TakeSound gives (1000 ... 384000; 0: the sound stream's own). Set it
    // before reading.
    void SetSoundRate(int rate);

    // Opens the file; false (and everything closed) when it holds no picture stream
    // the libraries can decode within the limits, or is of a kind that is refused. A
    // file already open is closed first.
    bool Open(const std::string& path, const MovieLimits& limits = MovieLimits());
    void Close();
    bool IsOpen() const;

    // The picture size the stream announces (each picture brings its own, which may
    // differ in a damaged file), and the size to show it at: the pixels' aspect ratio
    // applied (widened, or made taller when they are tall) and turned by the rotation.
    int Width() const;
    int Height() const;
    int DisplayWidth() const;
    int DisplayHeight() const;
    // Clockwise turn of the shown picture: 0, 90, 180 or 270 degrees.
    int Rotation() const;
    // The sound stream: rate (frames a second) and channels (1 or 2) of the samples
    // TakeSound gives; false when the movie has none the libraries can decode.
    bool HasSound() const;
    int SoundRate() const;
    int SoundChannels() const;

    // Reads and decodes the next packet of the file. False once the file has ended (or
    // cannot be read further) and the decoders have given out everything they held.
    bool ReadPacket();
    bool Ended() const;

    // Pictures decoded and not taken yet, the memory they hold, and the time of the
    // first of them.
    size_t PicturesWaiting() const;
    size_t PictureBytesWaiting() const;
    double NextPictureMs() const;
    // Time from the first waiting picture to the next, as well as the stream tells it.
    double PictureDurationMs() const;
    // Where the pictures and sound decoded so far end (the last picture's time and
    // duration, the last sound block's end); once the file has ended, the movie's length.
    double DecodedEndMs() const;
    // Converts the first waiting picture to width x height RGBA bytes (top row first,
    // scaled to that size, in the shown orientation) and drops it from the queue. The
    // bytes stay valid until the next call; null when there is no picture or it cannot
    // be converted (it is dropped all the same).
    const uint8_t* TakePicture(int width, int height);
    void DropPicture();

    // Moves the next block of decoded sound to `samples` (replacing its content) and
    // gives the time its first sample belongs to; false when there is none.
    bool TakeSound(std::vector<int16_t>& samples, double& startMs);

    // Back to the movie's start: the file is opened afresh (the libraries cannot seek
    // in every damaged file); false when that fails.
    bool Rewind();

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace plat
