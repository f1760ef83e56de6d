// Movies in the browser play through the page's own video decoder (tolvane_web.js): the
// file's bytes go to a video element, its pictures straight into a texture of the
// program's WebGL context, its sound through the effects bus.
#include <cstdio>
#include <vector>

#include "platform/played_movie.h"
#include "platform/web/web_internal.h"

extern "C" {
int tolvane_movie_open(const uint8_t* bytes, int size, const char* name);
int tolvane_movie_size(int id, int height);
double tolvane_movie_length(int id);
void tolvane_movie_start(int id, int loop, int sound);
double tolvane_movie_position(int id);
int tolvane_movie_passes(int id);
int tolvane_movie_ended(int id);
int tolvane_movie_sound_heard(int id);
int tolvane_movie_new_picture(int id);
void tolvane_movie_picture(int id, unsigned texture);
void tolvane_movie_close(int id);
}

namespace plat {
namespace {

// Largest movie file the page hands to its decoder (it holds the bytes in memory).
constexpr long kMaxMovieBytes = 512L << 20;

class PageMovie final : public PlayedMovie {
public:
    PageMovie(int id, int width, int height, double lengthMs)
        : id_(id), width_(width), height_(height), lengthMs_(lengthMs) {}
    ~PageMovie() override { tolvane_movie_close(id_); }
    PageMovie(const PageMovie&) = delete;
    PageMovie& operator=(const PageMovie&) = delete;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    double LengthMs() const override { return lengthMs_; }
    void Start(bool loop, bool sound) override { tolvane_movie_start(id_, loop ? 1 : 0, sound ? 1 : 0); }
    double PositionMs() const override { return tolvane_movie_position(id_); }
    long long Passes() const override { return tolvane_movie_passes(id_); }
    bool Ended() const override { return tolvane_movie_ended(id_) != 0; }
    bool SoundHeard() const override { return tolvane_movie_sound_heard(id_) != 0; }
    bool NewPicture() override { return tolvane_movie_new_picture(id_) != 0; }
    void PictureToTexture(unsigned texture) override { tolvane_movie_picture(id_, texture); }

private:
    int id_;
    int width_, height_;
    double lengthMs_;
};

}  // namespace

bool PlatformPlaysMovies() { return true; }

std::unique_ptr<PlayedMovie> OpenPlayedMovie(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!web::ReadWholeFile(path, bytes, kMaxMovieBytes)) return nullptr;
    const int id = tolvane_movie_open(bytes.data(), static_cast<int>(bytes.size()), path.c_str());
    if (id <= 0) return nullptr;
    const int width = tolvane_movie_size(id, 0), height = tolvane_movie_size(id, 1);
    if (width < 1 || height < 1) {
        tolvane_movie_close(id);
        return nullptr;
    }
    return std::make_unique<PageMovie>(id, width, height, tolvane_movie_length(id));
}

}  // namespace plat
