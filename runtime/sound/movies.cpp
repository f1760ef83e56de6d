#include "sound/movies.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

#include "core/program.h"
#include "core/wait.h"
#include "files/shoebox.h"
#include "gfx2d/screenshot.h"
#include "gfx2d/prism.h"
#include "input/dxinput.h"
#include "platform/audio.h"
#include "platform/files.h"
#include "platform/movie_decoder.h"
#include "platform/played_movie.h"
#include "platform/window.h"

namespace {

// Reading ahead: on until the sound decoded reaches this far past the clock (a file may
// store its sound well after the pictures it goes with), but with no more than this
// many pictures, or this much picture memory, waiting.
constexpr double kSoundAheadMs = 600;
constexpr size_t kMostPicturesAhead = 120;
constexpr size_t kMostPictureBytesAhead = size_t{128} << 20;
// Without sound to feed, this many pictures are kept decoded ahead.
constexpr size_t kPicturesAheadSilent = 3;
// Reading gives way to the pictures, the sound and the events after this long.
constexpr double kReadSliceMs = 8;
// Sound that starts this close to the end of the sound queued goes on from there.
constexpr double kSoundJoinMs = 5;
// When the sound queued runs this low with nothing decoded to follow it (the movie is
// silent there, for however long), silence keeps it going this far ahead of the clock.
constexpr double kSoundLowMs = 60;
constexpr double kSilenceAheadMs = 120;
// Sound queued that the mixer has not taken for this long means a device that does
// not play; the movie then goes on by the wall clock, silent.
constexpr double kStalledMs = 500;
// A first picture due this soon after the sound starts is made ready before the sound
// starts, and shown when its time comes.
constexpr double kFirstPictureWaitMs = 200;
// The clock counts whole sound frames: it reaches the end within this.
constexpr double kEndSlackMs = 0.1;
// The longest sleep of the playing loop, so keys are seen at once.
constexpr double kLongestStepMs = 5;
// A movie the platform plays by itself whose time stands still this long has stopped
// (a decoder that gave up, a page the browser no longer plays): it ends there.
constexpr double kPlatformStalledMs = 5000;

std::string g_shotsDir;
long long g_shotsEvery = 0;
bool g_unpaced = false;
long long g_shownTotal = 0;
__MovieReport g_report;
void (*g_pictureHook)(double, double) = nullptr;

// The playing of one movie; whatever it opened is closed when it goes.
class MoviePlayer {
public:
    ~MoviePlayer() {
        if (soundOn_) plat::PcmClose();
        if (pPrsm) {
            pPrsm->FreeStreamTexture(texture_);
            if (viewportSaved_) {
                pPrsm->ClearScreen();
                pPrsm->Make2DViewport(viewX_, viewY_, viewW_, viewH_);
            }
        }
    }

    // Opens the file for the platform's own movie player where it has one, else for
    // the decoder.
    bool Open(const char* path) {
        path_ = path;
        if (plat::PlatformPlaysMovies()) {
            played_ = plat::OpenPlayedMovie(path_);
            return played_ != nullptr;
        }
        decoder_ = NewDecoder();
        return decoder_->Open(path_);
    }

    void Play(bool repeat) {
        report_ = __MovieReport{};
        if (!pPrsm || !pPrsm->IsActive()) return;
        paced_ = !g_unpaced;
        skippable_ = !(pDXin && pDXin->Replaying());
        repeat_ = repeat && skippable_;
        if (played_) {
            PlayByPlatform();
            return;
        }
        if (!Fit(decoder_->DisplayWidth(), decoder_->DisplayHeight(), false)) return;
        rate_ = decoder_->SoundRate();
        channels_ = decoder_->SoundChannels();
        // The sound waits, paused, for the first picture.
        if (decoder_->HasSound() && paced_)
            soundOn_ = plat::PcmOpen(rate_, channels_, plat::PcmFormat::Int16, true);
        report_.sound = soundOn_;

        WaitForKeysUp();

        report_.passes = 1;
        while (!skipped_) {
            ReadAhead();
            FeedSound();
            if (repeat_ && decoder_->Ended() && !upcoming_) OpenUpcoming();
            if (skipped_) break;
            double waitMs = kLongestStepMs;
            if (decoder_->PicturesWaiting() > 0 && (started_ || !NeedRead())) {
                const double due = passStart_ + decoder_->NextPictureMs();
                // A first picture that comes well after the sound: the sound starts now.
                if (!started_ && due > kFirstPictureWaitMs) Start();
                const double now = Clock();
                if (!paced_ || !started_ || now >= due) {
                    ShowOrDrop(due, now);
                    waitMs = 0;
                } else {
                    waitMs = std::min(due - now, kLongestStepMs);
                }
            } else if (decoder_->Ended() && decoder_->PicturesWaiting() == 0) {
                if (!started_) break;  // nothing to show at all
                // The pass is over once its pictures are shown and, paced, their time
                // and the sound have run out.
                const double end = passStart_ + decoder_->DecodedEndMs();
                if (repeat_ && passShown_ > 0) {
                    // Again from the start, with the file opened afresh (while this pass
                    // played), going on from the end of this pass.
                    if (!upcoming_ || !upcoming_->IsOpen()) break;
                    decoder_ = std::move(upcoming_);
                    passStart_ = end;
                    passShown_ = 0;
                    ++report_.passes;
                    continue;
                }
                const double now = Clock();
                if (!paced_ || now >= end - kEndSlackMs) break;
                waitMs = std::min(end - now, kLongestStepMs);
            } else {
                waitMs = 0;  // reading on
            }
            if (SkipAsked()) break;
            __WaitStep(NeedRead() ? 0 : waitMs);
        }
        if (started_) {
            report_.playMs = plat::ClockMs() - startedAt_;
            report_.lengthMs = passStart_ + decoder_->DecodedEndMs();
        }
    }

    const __MovieReport& Report() const { return report_; }

private:
    // A movie the platform plays by itself: its pictures are shown as its decoder gives
    // them, on its own clock, until it ends or a key or button skips it. Unpaced, it
    // plays silent at its own speed (every picture shown as the platform gives it).
    void PlayByPlatform() {
        if (!Fit(played_->Width(), played_->Height(), true)) return;
        WaitForKeysUp();
        played_->Start(repeat_, paced_);
        started_ = true;
        startedAt_ = plat::ClockMs();
        double lastPosition = -1, movedAt = startedAt_;
        while (true) {
            // Presenting gives the platform its turn; without a picture the loop sleeps.
            const bool shown = played_->NewPicture();
            if (shown) {
                pPrsm->FillStreamTexture(texture_, [this](unsigned texture) { played_->PictureToTexture(texture); });
                DrawPicture();
                PresentPicture(played_->PositionMs());
            }
            if (played_->Ended() || SkipAsked()) break;
            const double now = plat::ClockMs(), position = played_->PositionMs();
            if (position != lastPosition) {
                lastPosition = position;
                movedAt = now;
            } else if (now - movedAt > kPlatformStalledMs) {
                break;
            }
            __WaitStep(shown ? 0 : kLongestStepMs);
        }
        report_.passes = played_->Passes();
        report_.sound = played_->SoundHeard();
        report_.playMs = plat::ClockMs() - startedAt_;
        const double length = played_->LengthMs();
        report_.lengthMs = static_cast<double>(std::max(report_.passes - 1, 0LL)) * length +
                           (played_->Ended() ? length : std::min(played_->PositionMs(), length));
    }

    // A key or button still held from before does not skip the movie: it waits until
    // they are let go, and from then on they are watched.
    void WaitForKeysUp() {
        if (skippable_)
            while (pDXin->AnyKey() || pDXin->AnyMouse()) __WaitStep(kLongestStepMs);
        watchKeys_ = skippable_;
    }

    bool SkipAsked() const { return watchKeys_ && (pDXin->AnyKey() || pDXin->AnyMouse()); }

    // The picture's place: scaled to fit the window with its aspect ratio kept (the
    // shown size sw x sh: wide pixels widen it, a turned picture stands on its side),
    // centred. The texture holds the picture at the size it is shown at, or
    // (`ownSize`: the platform's decoder gives it so) at the shown size sw x sh.
    bool Fit(int sw, int sh, bool ownSize) {
        const int cw = pPrsm->ScreenWidth(), ch = pPrsm->ScreenHeight();
        if (cw < 1 || ch < 1 || sw < 1 || sh < 1) return false;
        const double scale = std::min(static_cast<double>(cw) / sw, static_cast<double>(ch) / sh);
        width_ = std::clamp(static_cast<int>(sw * scale), 1, cw);
        height_ = std::clamp(static_cast<int>(sh * scale), 1, ch);
        x_ = (cw - width_) / 2;
        y_ = (ch - height_) / 2;
        fullScreen_ = width_ == cw && height_ == ch;
        if (!pPrsm->MakeStreamTexture(texture_, ownSize ? sw : width_, ownSize ? sh : height_)) return false;
        viewX_ = pPrsm->ViewX();
        viewY_ = pPrsm->ViewY();
        viewW_ = pPrsm->ViewWidth();
        viewH_ = pPrsm->ViewHeight();
        viewportSaved_ = true;
        pPrsm->Make2DViewport(0, 0, 0, 0);
        // Drawn once beforehand, so that the renderer has its way of drawing the picture
        // ready (a software renderer builds it on first use) before the clock runs.
        pPrsm->DrawStreamTexture(texture_, x_, y_, width_, height_);
        pPrsm->ClearScreen();
        return true;
    }

    std::unique_ptr<plat::MovieDecoder> NewDecoder() {
        auto d = std::make_unique<plat::MovieDecoder>();
        d->SetReadHook([this] { return WhileReading(); });
        d->SetSoundRate(plat::AudioDeviceRate());
        return d;
    }

    // The next pass of a repeating movie, opened once this one has been read to its end.
    // A file that no longer opens, or whose sound is no longer the same, ends the
    // movie after this pass.
    void OpenUpcoming() {
        upcoming_ = NewDecoder();
        if (upcoming_->Open(path_) && upcoming_->HasSound() == decoder_->HasSound() &&
            (!decoder_->HasSound() ||
             (upcoming_->SoundRate() == rate_ && upcoming_->SoundChannels() == channels_)))
            return;
        upcoming_->Close();
    }

    // The clock starts: the sound is let go.
    void Start() {
        if (started_) return;
        started_ = true;
        if (soundOn_) plat::PcmPause(false);
        startedAt_ = wallBase_ = progressAt_ = plat::ClockMs();
    }

    // The movie's clock in milliseconds from its start; it never goes back. While the
    // mixer takes the sound it is the sound heard: the mixer takes a block at a time,
    // and a block taken at time T plays from T on, so the clock moves through the last
    // block with the wall clock (and waits at its end for the next). Without sound, or
    // with a device that stopped taking it, it is the wall clock.
    double Clock() {
        if (!started_) return 0;
        const double now = plat::ClockMs();
        double t = now - wallBase_;
        plat::PcmPosition p;
        if (soundOn_ && !soundStalled_ && plat::PcmGetPosition(p)) {
            const double within = std::clamp((now - p.lastBlockAtMs) * rate_ / 1000, 0.0,
                                             static_cast<double>(p.lastBlock));
            t = (static_cast<double>(p.taken - p.lastBlock) + within) * 1000 / rate_;
            if (p.taken != lastTaken_) {
                lastTaken_ = p.taken;
                progressAt_ = now;
            } else if (p.queued > p.taken && now - progressAt_ > kStalledMs) {
                soundStalled_ = true;
                pending_.clear();
                t = clock_;
                wallBase_ = now - t;
            }
        }
        clock_ = std::max(clock_, t);
        return clock_;
    }

    // More to read: pictures to show, and sound to keep the queue fed, within bounds.
    bool NeedRead() {
        if (decoder_->Ended()) return false;
        const size_t waiting = decoder_->PicturesWaiting();
        if (waiting == 0) return true;
        if (!paced_ || waiting >= kMostPicturesAhead || decoder_->PictureBytesWaiting() >= kMostPictureBytesAhead)
            return false;
        if (soundOn_ && !soundStalled_) return soundKnownEndMs_ - Clock() < kSoundAheadMs;
        return waiting < kPicturesAheadSilent;
    }

    // Reads and decodes for a while, as long as more is needed.
    void ReadAhead() {
        const double until = plat::ClockMs() + kReadSliceMs;
        while (!skipped_ && NeedRead()) {
            decoder_->ReadPacket();
            TakeDecodedSound();
            if (plat::ClockMs() >= until) break;
        }
    }

    // While the libraries read: the window's events are answered, and a key or button
    // skips the movie (stopping the reading at once).
    // A read that takes long (a file that runs on in zeros is read until its budget is
    // spent) does not hold the movie up: the pictures that come due meanwhile are shown
    // and the sound is kept fed. Nothing is read or opened from here.
    bool WhileReading() {
        __WaitStep(0);
        if (SkipAsked()) skipped_ = true;
        if (!skipped_ && started_ && paced_ && !serving_) {
            serving_ = true;
            FeedSound();
            if (decoder_->PicturesWaiting() > 0) {
                const double due = passStart_ + decoder_->NextPictureMs(), now = Clock();
                if (now >= due) ShowOrDrop(due, now);
            }
            serving_ = false;
        }
        return !skipped_;
    }

    void TakeDecodedSound() {
        double ms = 0;
        while (decoder_->TakeSound(block_, ms)) {
            if (!soundOn_ || soundStalled_ || block_.empty()) continue;
            const double start = passStart_ + ms;
            soundKnownEndMs_ = std::max(soundKnownEndMs_, start + FramesMs(block_.size() / channels_));
            pending_.push_back({start, std::move(block_)});
            block_.clear();
        }
    }

    double FramesMs(size_t frames) const { return 1000.0 * static_cast<double>(frames) / rate_; }
    double QueuedEndMs() const { return FramesMs(static_cast<size_t>(queuedFrames_)); }

    void Queue(const int16_t* samples, size_t frames) {
        if (frames && plat::PcmQueue(samples, frames * channels_ * sizeof(int16_t)))
            queuedFrames_ += static_cast<int64_t>(frames);
    }

    // Silence from the end of the sound queued up to the movie time `ms`.
    void QueueSilenceTo(double ms) {
        int64_t frames = static_cast<int64_t>(std::ceil(ms * rate_ / 1000)) - queuedFrames_;
        if (silence_.empty()) silence_.assign(4096 * 2, 0);
        while (frames > 0) {
            const size_t n = static_cast<size_t>(std::min<int64_t>(frames, 4096));
            const int64_t before = queuedFrames_;
            Queue(silence_.data(), n);
            if (queuedFrames_ == before) return;
            frames -= static_cast<int64_t>(n);
        }
    }

    // Queues the decoded sound at its place on the movie's clock: silence fills the
    // gaps before it, and what overlaps the sound already queued is left out.
    void FeedSound() {
        if (!soundOn_ || soundStalled_) return;
        const double clock = Clock();
        while (!pending_.empty()) {
            Pending& b = pending_.front();
            if (b.startMs > QueuedEndMs() + kSoundJoinMs) {
                QueueSilenceTo(std::min(b.startMs, std::max(clock, QueuedEndMs()) + kSoundAheadMs));
                if (b.startMs > QueuedEndMs() + kSoundJoinMs) break;  // the rest of the gap later
            }
            size_t frames = b.samples.size() / channels_;
            size_t skip = 0;
            if (b.startMs < QueuedEndMs() - kSoundJoinMs)
                skip = std::min(frames, static_cast<size_t>((QueuedEndMs() - b.startMs) * rate_ / 1000));
            Queue(b.samples.data() + skip * channels_, frames - skip);
            pending_.pop_front();
        }
        // Nothing decoded to follow and the queue running low: the movie is silent
        // here (or its sound has ended before its pictures). Silence keeps the sound,
        // and with it the clock, going, up to the end of the movie once that is known.
        if (pending_.empty() && started_ && QueuedEndMs() - clock < kSoundLowMs) {
            double to = clock + kSilenceAheadMs;
            if (decoder_->Ended()) to = std::min(to, passStart_ + decoder_->DecodedEndMs());
            QueueSilenceTo(to);
        }
    }

    // Shows the first waiting picture, due at `due`, or drops it when the next one is
    // due as well (paced, to keep up with the sound).
    void ShowOrDrop(double due, double now) {
        const double duration = std::max(decoder_->PictureDurationMs(), 0.0);
        if (paced_ && started_ && decoder_->PicturesWaiting() > 1 && now >= due + duration) {
            decoder_->DropPicture();
            ++report_.dropped;
            if (g_pictureHook) g_pictureHook(due, NAN);
            return;
        }
        const uint8_t* rgba = decoder_->TakePicture(width_, height_);
        if (!rgba) return;
        pPrsm->UpdateStreamTexture(texture_, rgba);
        DrawPicture();
        if (!started_) {
            // The first picture lets the sound go, and appears when its time comes: as the
            // mixer takes the sound's first block (unless the device does not take it).
            Start();
            while (paced_ && (Clock() < due || (queuedFrames_ > 0 && !soundStalled_ && lastTaken_ == 0)))
                __WaitStep(0.5);
        }
        PresentPicture(due);
        if (paced_) report_.worstLagMs = std::max(report_.worstLagMs, std::fabs(Clock() - due));
    }

    // The picture in the texture drawn in its place, counted, and kept as a screenshot
    // where one is due.
    void DrawPicture() {
        pPrsm->DrawStreamTexture(texture_, x_, y_, width_, height_);
        ++g_shownTotal;
        ++report_.shown;
        ++passShown_;
        if (g_shotsEvery > 0 && g_shownTotal % g_shotsEvery == 0) WriteShot();
    }

    // The picture drawn goes to the screen (movie time `movieMs`).
    void PresentPicture(double movieMs) {
        // A picture that covers the whole window needs nothing cleared behind it.
        pPrsm->PresentNow(!fullScreen_);
        if (g_pictureHook) g_pictureHook(movieMs, plat::ClockMs());
    }

    void WriteShot() { __SaveScreenshot(g_shotsDir, "movie", g_shownTotal); }

    struct Pending {
        double startMs;
        std::vector<int16_t> samples;
    };

    std::string path_;
    std::unique_ptr<plat::MovieDecoder> decoder_, upcoming_;
    std::unique_ptr<plat::PlayedMovie> played_;
    __StreamTexture texture_;
    std::vector<int16_t> block_, silence_;
    std::deque<Pending> pending_;
    int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
    bool fullScreen_ = false;
    short viewX_ = 0, viewY_ = 0, viewW_ = 0, viewH_ = 0;
    bool viewportSaved_ = false;
    bool paced_ = true, skippable_ = true, repeat_ = false, watchKeys_ = false, skipped_ = false;
    bool serving_ = false;  // showing and feeding from within a read
    bool soundOn_ = false, soundStalled_ = false, started_ = false;
    int rate_ = 0, channels_ = 1;
    int64_t queuedFrames_ = 0;     // sound frames queued, from movie time 0 on without a break
    int64_t lastTaken_ = 0;        // frames the mixer had taken when last looked at,
    double progressAt_ = 0;        // and the platform clock when that count last grew
    double soundKnownEndMs_ = 0;   // movie time at the end of the sound decoded so far
    double clock_ = 0;             // the clock's last reading
    double wallBase_ = 0;          // platform clock at movie time 0 while the wall clock leads
    double startedAt_ = 0;
    double passStart_ = 0;         // movie time at which the current pass began
    long long passShown_ = 0;
    __MovieReport report_;
};

}  // namespace

double PlayVideo(DQStr file, int repeat) {
    const char* command = repeat ? "LOOPMOVIE" : "PLAYMOVIE";
    const DQStr asked = file;  // the lookup turns the name into the file's path
    if (file.Length() == 0 || !__g_ShoeBox_Media.Resolve(file)) {
        __WarnLoad(command, asked, __kNotFound);
        return 3;
    }
    MoviePlayer player;
    if (!player.Open(file.c_str())) {
        __WarnLoad(command, asked, "not a movie that can be played");
        return 3;
    }
    player.Play(repeat != 0);
    g_report = player.Report();
    return 0;
}

double PLAYMOVIE(DQStr file) { return PlayVideo(file, 0); }

double LOOPMOVIE(DQStr file) { return PlayVideo(file, 1); }

void __SetMovieShots(const std::string& dir, long long every) {
    g_shotsDir = dir;
    g_shotsEvery = dir.empty() ? 0 : every;
}

void __SetMovieUnpaced(bool unpaced) { g_unpaced = unpaced; }

void __SetMoviePictureHook(void (*hook)(double movieMs, double shownAtMs)) { g_pictureHook = hook; }

__MovieReport __LastMovieReport() { return g_report; }

long long __MoviePicturesShown() { return g_shownTotal; }
