// Movies in the browser play through the page's own video decoder (PlayedMovie, in
// played_movie_web.cpp); this decoder of the program's own opens no file there.
#include "platform/movie_decoder.h"

namespace plat {

struct MovieDecoder::State {};

MovieDecoder::MovieDecoder() = default;
MovieDecoder::~MovieDecoder() = default;
void MovieDecoder::SetReadHook(std::function<bool()>) {}
void MovieDecoder::SetSoundRate(int) {}
bool MovieDecoder::Open(const std::string&, const MovieLimits&) { return false; }
void MovieDecoder::Close() {}
bool MovieDecoder::IsOpen() const { return false; }
int MovieDecoder::Width() const { return 0; }
int MovieDecoder::Height() const { return 0; }
int MovieDecoder::DisplayWidth() const { return 0; }
int MovieDecoder::DisplayHeight() const { return 0; }
int MovieDecoder::Rotation() const { return 0; }
bool MovieDecoder::HasSound() const { return false; }
int MovieDecoder::SoundRate() const { return 0; }
int MovieDecoder::SoundChannels() const { return 0; }
bool MovieDecoder::ReadPacket() { return false; }
bool MovieDecoder::Ended() const { return true; }
size_t MovieDecoder::PicturesWaiting() const { return 0; }
size_t MovieDecoder::PictureBytesWaiting() const { return 0; }
double MovieDecoder::NextPictureMs() const { return 0; }
double MovieDecoder::PictureDurationMs() const { return 0; }
double MovieDecoder::DecodedEndMs() const { return 0; }
const uint8_t* MovieDecoder::TakePicture(int, int) { return nullptr; }
void MovieDecoder::DropPicture() {}
bool MovieDecoder::TakeSound(std::vector<int16_t>&, double&) { return false; }
bool MovieDecoder::Rewind() { return false; }

}  // namespace plat
