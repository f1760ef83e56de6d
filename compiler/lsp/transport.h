// Internal: the language server's messages on a pair of file descriptors, framed as the
// protocol frames them: header lines ("Content-Length: N"), an empty line, N bytes.
//
// Reading is bounded: a header line of more than 8 KiB, more than 32 header lines, or a
// body over the size limit is a framing fault the caller answers, never a reason to
// hold the bytes; an oversized body is read and dropped.
#pragma once

#include <cstddef>
#include <string>

namespace tvc::lsp {

class Transport {
public:
    static constexpr size_t kMaxHeaderLine = 8 * 1024;
    static constexpr int kMaxHeaderLines = 32;
    static constexpr size_t kDefaultMaxBody = 64 * 1024 * 1024;

    Transport(int in, int out, size_t maxBody = kDefaultMaxBody) : in_(in), out_(out), maxBody_(maxBody) {}

    enum class Read { Message, Fault, Closed };
    // The next message's body into `body`; for a Fault, `body` says what was wrong.
    Read Next(std::string& body);
    // A whole message is waiting (in the buffer or on the descriptor) without blocking.
    bool Waiting();
    // Writes one message; false when the other side is gone.
    bool Send(const std::string& body);

private:
    bool Fill();  // more bytes into the buffer; false at the end of input
    bool Line(std::string& line, bool& tooLong);
    bool Skip(size_t n);  // drops n bytes of input

    int in_, out_;
    size_t maxBody_;
    std::string buf_;
    size_t pos_ = 0;
};

}  // namespace tvc::lsp
