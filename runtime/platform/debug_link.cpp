#include "platform/debug_link.h"

#include <unistd.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>

namespace plat {

int DebugLinkOpen() {
    const char* text = std::getenv("TOLVANE_DEBUG_PORT");
    if (!text || !*text) return -1;
    char* end = nullptr;
    const long port = std::strtol(text, &end, 10);
    if (*end || port < 1 || port > 65535) return -1;
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return -1;
    }
    const int on = 1;  // short messages go at once: the debugger waits for each answer
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return s;
}

bool DebugLinkWrite(int link, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = send(link, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

size_t DebugLinkRead(int link, char* buffer, size_t size) {
    for (;;) {
        const ssize_t n = recv(link, buffer, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
}

}  // namespace plat
