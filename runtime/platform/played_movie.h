// Internal (the platform contract): a movie the platform plays by itself, with a decoder
// of its own, where it has one. In the browser that is the page's own video decoder: the
// pictures go straight from it into a texture of the program's graphics context, the
// sound through the page's sound graph beside the effects. The desktop has none (its
// movies are decoded through MovieDecoder): PlatformPlaysMovies() is false there.
#pragma once

#include <memory>
#include <string>

namespace plat {

class PlayedMovie {
public:
    virtual ~PlayedMovie() = default;

    // The size the pictures come at, which is the size to show them at (the pixels'
    // aspect ratio applied, a turned picture turned), and the movie's length.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual double LengthMs() const = 0;

    // Starts playing from the start: once, or (`loop`) again and again without a break;
    // its sound heard at the samples' own volume over the sounds and the music, or
    // (`sound` false) not at all.
    virtual void Start(bool loop, bool sound) = 0;
    // Where the current pass stands, in milliseconds of movie time.
    virtual double PositionMs() const = 0;
    // Passes begun since Start (1 during the first).
    virtual long long Passes() const = 0;
    // Played to its end (never while looping), or stopped by a failure of the decoder.
    virtual bool Ended() const = 0;
    // True when its sound is heard: the movie has sound, and Start asked for it.
    virtual bool SoundHeard() const = 0;

    // True when the decoder has a picture the program has not taken yet.
    virtual bool NewPicture() = 0;
    // Puts the current picture into the top left Width() x Height() texels of the 2D
    // texture named `texture` in the program's graphics context (top row first; the
    // texture's binding changes).
    virtual void PictureToTexture(unsigned texture) = 0;
};

// True where the platform plays movies by itself.
bool PlatformPlaysMovies();
// Opens the movie file for the platform's decoder, waiting until the decoder knows its
// size (or gives up on it); null when it cannot play the file, or the platform plays
// no movies by itself.
std::unique_ptr<PlayedMovie> OpenPlayedMovie(const std::string& path);

}  // namespace plat
