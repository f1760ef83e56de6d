// Framed messages over file descriptors (see transport.h).
#include "transport.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace tvc::lsp {

bool Transport::Fill() {
    if (pos_ > 0 && pos_ == buf_.size()) {
        buf_.clear();
        pos_ = 0;
    } else if (pos_ > 65536) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(in_, chunk, sizeof chunk);
        if (n > 0) {
            buf_.append(chunk, static_cast<size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

bool Transport::Line(std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    for (;;) {
        const size_t nl = buf_.find('\n', pos_);
        if (nl != std::string::npos) {
            if (!tooLong) line.assign(buf_, pos_, nl - pos_);
            pos_ = nl + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() > kMaxHeaderLine) tooLong = true;
            return true;
        }
        if (buf_.size() - pos_ > kMaxHeaderLine) {  // drop what cannot be a header
            tooLong = true;
            pos_ = buf_.size();
        }
        if (!Fill()) return false;
    }
}

bool Transport::Skip(size_t n) {
    while (n > 0) {
        if (pos_ == buf_.size() && !Fill()) return false;
        const size_t take = std::min(n, buf_.size() - pos_);
        pos_ += take;
        n -= take;
    }
    return true;
}

Transport::Read Transport::Next(std::string& body) {
    std::string line, fault;
    long long length = -1;
    int lines = 0;
    bool any = false;
    for (;;) {
        bool tooLong = false;
        if (!Line(line, tooLong)) return Read::Closed;
        if (!tooLong && line.empty()) {
            if (!any) continue;  // blank lines between messages
            break;
        }
        any = true;
        if (++lines > kMaxHeaderLines) fault = "too many header lines";
        if (tooLong) {
            fault = "a header line is too long";
            continue;
        }
        const size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (colon == std::string::npos) {
            fault = "a header line has no ':'";
            continue;
        }
        if (name != "content-length") continue;
        size_t v = colon + 1;
        while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
        long long n = 0;
        bool digits = v < line.size();
        for (; v < line.size() && digits; ++v) {
            if (line[v] == ' ' || line[v] == '\t') break;
            if (line[v] < '0' || line[v] > '9' || n > 1'000'000'000'000LL)
                digits = false;
            else
                n = n * 10 + (line[v] - '0');
        }
        while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
        if (!digits || v != line.size())
            fault = "Content-Length is not a number of bytes";
        else if (length >= 0 && length != n)
            fault = "two different Content-Length headers";
        else
            length = n;
    }
    if (fault.empty() && length < 0) fault = "the message has no Content-Length header";
    if (!fault.empty()) {
        // A body of a believable length is dropped with its header, so that the next
        // message is read from its start.
        if (length >= 0 && static_cast<unsigned long long>(length) <= maxBody_ && !Skip(static_cast<size_t>(length)))
            return Read::Closed;
        body = fault;
        return Read::Fault;
    }
    if (static_cast<unsigned long long>(length) > maxBody_) {
        if (!Skip(static_cast<size_t>(length))) return Read::Closed;
        body = "a message of " + std::to_string(length) + " bytes is over the limit of " + std::to_string(maxBody_);
        return Read::Fault;
    }
    while (buf_.size() - pos_ < static_cast<size_t>(length))
        if (!Fill()) return Read::Closed;
    body.assign(buf_, pos_, static_cast<size_t>(length));
    pos_ += static_cast<size_t>(length);
    return Read::Message;
}

bool Transport::Waiting() {
    if (buf_.size() > pos_) return true;
    pollfd p{in_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

bool Transport::Send(const std::string& body) {
    const std::string message = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    size_t done = 0;
    while (done < message.size()) {
        const ssize_t n = write(out_, message.data() + done, message.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace tvc::lsp
