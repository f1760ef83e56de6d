// A small static file server for pages tolvanec makes: GET and HEAD of the page's files
// inside one folder, on 127.0.0.1 only. Each connection is served on a thread of its own,
// so a slow or silent client holds up nobody else; a request must arrive whole, with a
// head of at most 16 KiB, within a few seconds.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "web_serve.h"

namespace fs = std::filesystem;

namespace tvc {
namespace {

constexpr size_t kMostRequestBytes = 16384;
// A request's head must be complete this long after the connection was taken, and a
// client may stay silent at most kIdleMs at a time, sending the answer included.
constexpr int kRequestMs = 5000, kIdleMs = 2000;
// Connections served at once; more are answered "busy" at once.
constexpr int kMostConnections = 64;
std::atomic<int> g_connections{0};

const char* ContentType(const fs::path& file) {
    const std::string ext = file.extension().string();
    if (ext == ".html") return "text/html; charset=utf-8";
    if (ext == ".js") return "text/javascript";
    if (ext == ".wasm") return "application/wasm";
    if (ext == ".txt") return "text/plain; charset=utf-8";
    if (ext == ".json") return "application/json";
    if (ext == ".png") return "image/png";
    if (ext == ".bmp") return "image/bmp";
    if (ext == ".wav") return "audio/wav";
    return "application/octet-stream";
}

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void Answer(int fd, int status, const char* reason, const std::string& type, const std::string& body, bool head) {
    std::ostringstream h;
    h << "HTTP/1.1 " << status << ' ' << reason << "\r\nContent-Type: " << type << "\r\nContent-Length: "
      << body.size() << "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
    const std::string headers = h.str();
    if (SendAll(fd, headers.data(), headers.size()) && !head) SendAll(fd, body.data(), body.size());
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The path of a request target, %-decoded, without its query; false for one that could
// leave the folder or holds a NUL.
bool DecodePath(const std::string& target, std::string& path) {
    path.clear();
    for (size_t i = 0; i < target.size() && target[i] != '?' && target[i] != '#'; ++i) {
        char c = target[i];
        if (c == '%') {
            if (i + 2 >= target.size()) return false;
            const int hi = HexDigit(target[i + 1]), lo = HexDigit(target[i + 2]);
            if (hi < 0 || lo < 0) return false;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (c == 0 || c == '\\') return false;
        path += c;
    }
    if (path.empty() || path[0] != '/') return false;
    for (const auto& part : fs::path(path))
        if (part == "..") return false;
    if (path.back() == '/') path += "index.html";
    return true;
}

// The page's files are all there is to see: not tolvanec's own note of what it built
// (build-key, which names the build machine's paths), nor hidden files.
bool PageFile(const std::string& path) {
    if (path == "/build-key") return false;
    for (const auto& part : fs::path(path))
        if (part.string().starts_with(".")) return false;
    return true;
}

// Reads the request's head; false when the client is too slow or goes away, with `tooLarge`
// set when the head outgrew its limit.
bool ReadHead(int fd, std::string& request, bool& tooLarge) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestMs);
    char buf[2048];
    tooLarge = false;
    while (request.find("\r\n\r\n") == std::string::npos) {
        if (request.size() > kMostRequestBytes) {
            tooLarge = true;
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left, kIdleMs)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        request.append(buf, static_cast<size_t>(n));
    }
    return true;
}

void Handle(int fd, const fs::path& root) {
    std::string request;
    bool tooLarge = false;
    if (!ReadHead(fd, request, tooLarge)) {
        if (tooLarge) {
            Answer(fd, 431, "Request Header Fields Too Large", "text/plain", "request too large\n", false);
            // What the client still sends is read and dropped for a moment, so that closing
            // with it unread does not reset the connection before the answer arrives.
            shutdown(fd, SHUT_WR);
            char drop[4096];
            for (int i = 0; i < 256; ++i) {
                pollfd p{fd, POLLIN, 0};
                if (poll(&p, 1, 200) <= 0 || recv(fd, drop, sizeof drop, 0) <= 0) break;
            }
        }
        return;
    }
    std::istringstream line(request.substr(0, request.find("\r\n")));
    std::string method, target, version;
    line >> method >> target >> version;
    const bool head = method == "HEAD";
    if (method != "GET" && !head) {
        Answer(fd, 405, "Method Not Allowed", "text/plain", "only GET and HEAD\n", false);
        return;
    }
    std::string path;
    if (!DecodePath(target, path)) {
        Answer(fd, 400, "Bad Request", "text/plain", "bad path\n", head);
        return;
    }
    if (!PageFile(path)) {
        Answer(fd, 404, "Not Found", "text/plain", "not found\n", head);
        return;
    }
    std::error_code ec;
    const fs::path file = fs::weakly_canonical(root / path.substr(1), ec);
    const std::string rootText = root.string() + "/";
    if (ec || file.string().compare(0, rootText.size(), rootText) != 0 || !fs::is_regular_file(file, ec)) {
        Answer(fd, 404, "Not Found", "text/plain", "not found\n", head);
        return;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream body;
    body << in.rdbuf();
    Answer(fd, 200, "OK", ContentType(file), body.str(), head);
}

int Listen(int port, int& bound) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(fd);
        return -1;
    }
    bound = ntohs(addr.sin_port);
    return fd;
}

}  // namespace

int ServeFolder(const std::string& folder, int port) {
    std::error_code ec;
    const fs::path root = fs::canonical(folder, ec);
    if (ec) {
        std::fprintf(stderr, "tolvanec: cannot serve %s\n", folder.c_str());
        return 1;
    }
    int bound = 0;
    // Without a port asked for, 8080 when it is free, else any.
    int fd = Listen(port ? port : 8080, bound);
    if (fd < 0 && port == 0) fd = Listen(0, bound);
    if (fd < 0) {
        std::fprintf(stderr, "tolvanec: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    std::printf("tolvanec: serving %s at http://127.0.0.1:%d/ (Ctrl+C ends)\n", root.c_str(), bound);
    std::fflush(stdout);
    for (;;) {
        const int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "tolvanec: %s\n", std::strerror(errno));
            close(fd);
            return 1;
        }
        // A client that stops reading the answer is left after a while too.
        timeval timeout{kIdleMs / 1000, 0};
        setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        if (g_connections.fetch_add(1) >= kMostConnections) {
            g_connections.fetch_sub(1);
            Answer(client, 503, "Service Unavailable", "text/plain", "busy\n", false);
            close(client);
            continue;
        }
        std::thread([client, root] {
            Handle(client, root);
            close(client);
            g_connections.fetch_sub(1);
        }).detach();
    }
}

}  // namespace tvc
