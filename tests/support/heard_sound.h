// The mixer's output as it is heard, and when: SDL's disk audio driver writes what the
// device plays (16-bit stereo, in blocks as the mixer makes them, in real time) into a
// named pipe, and a thread reads it, noting the platform clock as each piece arrives. A
// block the mixer hands over at time T plays from T on, one frame after the other, so
// every frame gets the time it was heard. The benchmarks use it as well.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"

class HeardSound {
public:
    // Makes the pipe at `path` (give it to the program as SDL_DISKAUDIOFILE) and reads
    // it until Finish. `rate`: the device's frames a second.
    explicit HeardSound(std::string path, int rate = 44100) : path_(std::move(path)), rate_(rate) {
        unlink(path_.c_str());
        ok_ = mkfifo(path_.c_str(), 0600) == 0;
        if (ok_) reader_ = std::thread([this] { Read(); });
    }
    ~HeardSound() {
        Finish();
        unlink(path_.c_str());
    }
    HeardSound(const HeardSound&) = delete;
    HeardSound& operator=(const HeardSound&) = delete;

    bool Ok() const { return ok_; }
    const std::string& Path() const { return path_; }
    int Rate() const { return rate_; }

    // Once the writer is done (it closed the pipe, or never opened it): reads what is
    // left and stops.
    void Finish() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
    }

    // The left channel, one sample a frame (valid after Finish, or under Lock).
    const std::vector<int16_t>& Left() const { return left_; }
    size_t Frames() const {
        std::lock_guard<std::mutex> hold(lock_);
        return left_.size();
    }

    // The platform clock when the frame was heard; NaN when it was not (yet).
    double HeardAtMs(size_t frame) const {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = std::upper_bound(pieces_.begin(), pieces_.end(), frame,
                                   [](size_t f, const Piece& p) { return f < p.first; });
        if (it == pieces_.begin() || frame >= left_.size()) return NAN;
        --it;
        return it->atMs + 1000.0 * static_cast<double>(frame - it->first) / rate_;
    }

    // The frame heard at the platform clock `ms` (in between pieces, counted on at the
    // device's rate from the last piece before it); 0 before the first.
    double FrameAt(double ms) const {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = std::upper_bound(pieces_.begin(), pieces_.end(), ms,
                                   [](double t, const Piece& p) { return t < p.atMs; });
        if (it == pieces_.begin()) return 0;
        --it;
        const size_t end = std::next(it) == pieces_.end() ? left_.size() : std::next(it)->first;
        return std::min(static_cast<double>(it->first) + (ms - it->atMs) * rate_ / 1000.0, static_cast<double>(end));
    }

    // The frames where a loud stretch starts: the first frame whose sample passes
    // `threshold` after at least `quietFrames` below it, within [from, to).
    std::vector<size_t> Onsets(int threshold, size_t quietFrames, size_t from = 0, size_t to = SIZE_MAX) const {
        std::lock_guard<std::mutex> hold(lock_);
        std::vector<size_t> out;
        size_t lastLoud = 0;
        bool any = false;
        for (size_t i = from; i < std::min(to, left_.size()); ++i) {
            if (std::abs(left_[i]) < threshold) continue;
            if (!any || i - lastLoud > quietFrames) out.push_back(i);
            any = true;
            lastLoud = i;
        }
        return out;
    }

    // Root mean square of the left channel over [from, from + frames).
    double Loudness(size_t from, size_t frames) const {
        std::lock_guard<std::mutex> hold(lock_);
        double sum = 0;
        size_t n = 0;
        for (size_t i = from; i < std::min(from + frames, left_.size()); ++i, ++n) sum += double(left_[i]) * left_[i];
        return n ? std::sqrt(sum / static_cast<double>(n)) : 0;
    }

private:
    struct Piece {
        size_t first;  // frame
        double atMs;
    };

    void Read() {
        const int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) return;
        bool writerSeen = false;
        std::vector<uint8_t> partial;  // bytes of an unfinished frame
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 20);
            uint8_t buf[65536];
            const ssize_t n = read(fd, buf, sizeof buf);
            const double now = plat::ClockMs();
            if (n > 0) {
                writerSeen = true;
                partial.insert(partial.end(), buf, buf + n);
                const size_t frames = partial.size() / 4;
                std::lock_guard<std::mutex> hold(lock_);
                // Several blocks read at once (the reader woke late) were written one
                // block's time after the other: the last one just now.
                double at = now - 1000.0 * static_cast<double>(frames > kBlock ? frames - kBlock : 0) / rate_;
                if (!pieces_.empty())
                    at = std::max(at, pieces_.back().atMs + 1000.0 * static_cast<double>(left_.size() - pieces_.back().first) / rate_);
                pieces_.push_back({left_.size(), std::min(at, now)});
                for (size_t i = 0; i < frames; ++i)
                    left_.push_back(static_cast<int16_t>(partial[4 * i] | partial[4 * i + 1] << 8));
                partial.erase(partial.begin(), partial.begin() + static_cast<long>(frames * 4));
                continue;
            }
            // No writer (yet, or any more).
            if (n == 0 && writerSeen) break;
            if (stop_ && (writerSeen || n == 0)) break;
            if (n == 0) usleep(2000);
        }
        close(fd);
    }

    static constexpr size_t kBlock = 1024;  // frames the mixer makes at a time

    std::string path_;
    int rate_;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    mutable std::mutex lock_;
    std::vector<int16_t> left_;
    std::vector<Piece> pieces_;
};
