#include "sound/movies.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/wait.h"
#include "files/shoebox.h"
#include "gfx2d/screenshot.h"
#include "gfx2d/prism.h"
#include "input/dxinput.h"
#include "platform/audio.h"
#include "platform/files.h"
#include "platform/movie_decoder.h"
#include "platform/window.h"

namespace {

// Pictures decoded ahead of the one shown, at most.
constexpr size_t kPicturesAhead = 6;
// Sound queued ahead of the clock: reading goes on until this much is queued (while
// fewer pictures than the most wait), and stops at the larger amount whatever waits.
constexpr double kSoundAheadMs = 250;
constexpr double kSoundMostMs = 2000;
// Gaps in the sound longer than this are filled with silence, up to the longest.
constexpr double kSoundGapMs = 20;
constexpr double kLongestSoundGapMs = 10000;
// Sound queued that the mixer has not taken for this long (beyond the block it plays)
// means a device that does not play; the movie then goes on by the wall clock, silent.
constexpr double kStalledMs = 500;
// The longest sleep of the playing loop, so keys are seen at once.
constexpr double kLongestStepMs = 5;

std::string g_shotsDir;
long long g_shotsEvery = 0;
bool g_unpaced = false;
long long g_shownTotal = 0;
__MovieReport g_report;

// The playing of one movie; whatever it opened is closed when it goes.
class MoviePlayer {
public:
    ~MoviePlayer() {
        if (soundOn_) plat::PcmClose();
        if (pPrsm) {
            pPrsm->FreeStreamTexture(texture_);
            if (viewportSaved_) pPrsm->Make2DViewport(viewX_, viewY_, viewW_, viewH_);
        }
    }

    bool Open(const char* path) { return decoder_.Open(path); }

    void Play(bool repeat) {
        report_ = __MovieReport{};
        if (!pPrsm || !pPrsm->IsActive() || !Fit()) return;
        paced_ = !g_unpaced;
        skippable_ = !(pDXin && pDXin->Replaying());
        repeat_ = repeat && skippable_;
        if (decoder_.HasSound() && paced_)
            soundOn_ = plat::PcmOpen(decoder_.SoundRate(), decoder_.SoundChannels(), plat::PcmFormat::Int16);
        report_.sound = soundOn_;

        // A key or button still held from before does not skip the movie.
        if (skippable_)
            while (pDXin->AnyKey() || pDXin->AnyMouse()) __WaitStep(kLongestStepMs);

        wallBase_ = blockAt_ = plat::ClockMs();
        report_.passes = 1;
        for (;;) {
            ReadAhead();
            double waitMs = kLongestStepMs;
            if (decoder_.PicturesWaiting() > 0) {
                const double due = passStart_ + decoder_.NextPictureMs();
                const double now = Clock();
                if (!paced_ || now >= due) {
                    ShowOrDrop(due, now);
                    waitMs = 0;
                } else {
                    waitMs = std::min(due - now, kLongestStepMs);
                }
            } else if (decoder_.Ended()) {
                // The pass is over once its pictures are shown and, paced, their time
                // and the sound have run out.
                FeedSound();
                const double end = std::max(passStart_ + passLengthMs_, soundEndMs_);
                if (repeat_ && passShown_ > 0) {
                    if (!decoder_.Rewind()) break;
                    passStart_ = end;
                    passLengthMs_ = 0;
                    passShown_ = 0;
                    ++report_.passes;
                    continue;
                }
                const double now = Clock();
                if (!paced_ || now >= end) break;
                waitMs = std::min(end - now, kLongestStepMs);
            }
            if (skippable_ && (pDXin->AnyKey() || pDXin->AnyMouse())) break;
            __WaitStep(waitMs);
        }
    }

    const __MovieReport& Report() const { return report_; }

private:
    // The picture's place: scaled to fit the window with its aspect ratio kept, centred.
    bool Fit() {
        const int cw = pPrsm->ScreenWidth(), ch = pPrsm->ScreenHeight();
        const int sw = decoder_.Width(), sh = decoder_.Height();
        if (cw < 1 || ch < 1 || sw < 1 || sh < 1) return false;
        const double scale = std::min(static_cast<double>(cw) / sw, static_cast<double>(ch) / sh);
        width_ = std::clamp(static_cast<int>(sw * scale), 1, cw);
        height_ = std::clamp(static_cast<int>(sh * scale), 1, ch);
        x_ = (cw - width_) / 2;
        y_ = (ch - height_) / 2;
        rgba_.resize(static_cast<size_t>(width_) * height_ * 4);
        if (!pPrsm->MakeStreamTexture(texture_, width_, height_)) return false;
        viewX_ = pPrsm->ViewX();
        viewY_ = pPrsm->ViewY();
        viewW_ = pPrsm->ViewWidth();
        viewH_ = pPrsm->ViewHeight();
        viewportSaved_ = true;
        pPrsm->Make2DViewport(0, 0, 0, 0);
        pPrsm->ClearScreen();
        return true;
    }

    // The movie's clock in milliseconds from its start. While the mixer takes the sound,
    // it is the sound heard: the mixer takes it a block at a time, and a block taken at
    // time T plays from T on, so the clock moves through the last block with the wall
    // clock. Otherwise (no sound, the sound ended or ran dry, a device that stopped
    // taking it) the wall clock goes on from where the sound left it.
    double Clock() {
        const double now = plat::ClockMs();
        if (soundOn_ && !soundStalled_) {
            const double taken = soundEndMs_ - plat::PcmQueuedMs();
            if (taken > takenMs_ + 0.01) {
                blockFromMs_ = takenMs_;
                blockMs_ = taken - takenMs_;
                blockAt_ = now;
                takenMs_ = taken;
            }
            const double since = now - blockAt_;
            if (since <= blockMs_) {
                const double heard = blockFromMs_ + since;
                wallBase_ = now - heard;
                return heard;
            }
            // Sound still queued but nothing taken for long: the device does not play.
            if (takenMs_ < soundEndMs_ && since > blockMs_ + kStalledMs) soundStalled_ = true;
            if (takenMs_ < soundEndMs_ && !soundStalled_) {
                wallBase_ = now - takenMs_;
                return takenMs_;  // waiting for the mixer's next block
            }
        }
        return now - wallBase_;
    }

    // Decodes until enough pictures and sound wait, or the file has ended.
    void ReadAhead() {
        while (!decoder_.Ended()) {
            const size_t waiting = decoder_.PicturesWaiting();
            const double queued = soundOn_ && !soundStalled_ ? plat::PcmQueuedMs() : 0;
            if (waiting >= kPicturesAhead || (waiting > 0 && (!soundOn_ || queued >= kSoundAheadMs)) ||
                queued >= kSoundMostMs)
                break;
            decoder_.ReadPacket();
            FeedSound();
        }
    }

    // Queues the decoded sound at its place on the movie's clock.
    void FeedSound() {
        double startMs = 0;
        while (decoder_.TakeSound(sound_, startMs)) {
            if (!soundOn_ || soundStalled_) continue;
            const double now = plat::ClockMs();
            if (takenMs_ >= soundEndMs_ && now - blockAt_ > blockMs_) {
                // The queue ran dry and its last block has played: the wait for the
                // mixer to take the new sound starts now.
                blockAt_ = now;
                blockMs_ = 0;
            }
            const double rate = decoder_.SoundRate();
            const int channels = decoder_.SoundChannels();
            const double gap = passStart_ + startMs - soundEndMs_;
            if (gap > kSoundGapMs && gap < kLongestSoundGapMs) {
                const size_t frames = static_cast<size_t>(gap * rate / 1000);
                silence_.assign(frames * channels, 0);
                if (plat::PcmQueue(silence_.data(), silence_.size() * 2)) soundEndMs_ += frames * 1000.0 / rate;
            }
            const size_t frames = sound_.size() / channels;
            if (plat::PcmQueue(sound_.data(), frames * channels * 2)) soundEndMs_ += frames * 1000.0 / rate;
        }
    }

    // Shows the first waiting picture, due at `due`, or drops it when the next one is
    // due as well (paced, to keep up with the sound).
    void ShowOrDrop(double due, double now) {
        const double duration = std::max(decoder_.PictureDurationMs(), 0.0);
        passLengthMs_ = std::max(passLengthMs_, due - passStart_ + duration);
        if (paced_ && decoder_.PicturesWaiting() > 1 && now >= due + duration) {
            decoder_.DropPicture();
            ++report_.dropped;
            return;
        }
        if (!decoder_.TakePicture(rgba_.data(), width_, height_)) return;
        pPrsm->UpdateStreamTexture(texture_, rgba_.data());
        pPrsm->DrawStreamTexture(texture_, x_, y_, width_, height_);
        ++g_shownTotal;
        ++report_.shown;
        ++passShown_;
        if (g_shotsEvery > 0 && g_shownTotal % g_shotsEvery == 0) WriteShot();
        pPrsm->PresentNow();
        if (paced_) report_.worstLagMs = std::max(report_.worstLagMs, std::fabs(Clock() - due));
    }

    void WriteShot() { __SaveScreenshot(g_shotsDir, "movie", g_shownTotal); }

    plat::MovieDecoder decoder_;
    __StreamTexture texture_;
    std::vector<uint8_t> rgba_;
    std::vector<int16_t> sound_, silence_;
    int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
    short viewX_ = 0, viewY_ = 0, viewW_ = 0, viewH_ = 0;
    bool viewportSaved_ = false;
    bool paced_ = true, skippable_ = true, repeat_ = false, soundOn_ = false, soundStalled_ = false;
    double wallBase_ = 0;      // platform clock at the movie's time 0 while the sound does not lead
    double takenMs_ = 0;       // movie time at the end of the sound the mixer has taken
    double blockFromMs_ = 0;   // movie time at the start of the block it took last,
    double blockMs_ = 0;       // its length,
    double blockAt_ = 0;       // and the platform clock when that was seen
    double soundEndMs_ = 0;    // movie time at the end of the sound queued so far
    double passStart_ = 0;     // movie time at which the current pass began
    double passLengthMs_ = 0;  // of the current pass, by its pictures so far
    long long passShown_ = 0;
    __MovieReport report_;
};

}  // namespace

double PlayVideo(DQStr file, int repeat) {
    if (file.Length() == 0 || !__g_ShoeBox_Media.Resolve(file)) return 3;
    MoviePlayer player;
    if (!player.Open(file.c_str())) return 3;
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

__MovieReport __LastMovieReport() { return g_report; }

long long __MoviePicturesShown() { return g_shownTotal; }
