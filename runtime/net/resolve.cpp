#include "net/resolve.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/timing.h"
#include "core/wait.h"

namespace net {

namespace {

constexpr double kLookupMs = 5000;

struct Lookup {
    std::mutex m;
    bool done = false;
    uint32_t ip = 0;
};

}  // namespace

bool ResolveAddress(const char* text, uint16_t defaultPort, Address* out) {
    std::string host = text ? text : "";
    out->port = defaultPort;
    size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
        char* end = nullptr;
        long p = std::strtol(host.c_str() + colon + 1, &end, 10);
        if (colon + 1 == host.size() || *end || p < 1 || p > 65535) return false;
        out->port = static_cast<uint16_t>(p);
        host.resize(colon);
    }
    if (host.empty()) return false;
    if ((out->ip = ParseIpv4(host.c_str())) != 0) return true;

    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        uint32_t ip = 0;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found) {
            ip = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
            freeaddrinfo(found);
        }
        std::lock_guard lock(lookup->m);
        lookup->ip = ip;
        lookup->done = true;
    }).detach();
    const double until = __ClockMs() + kLookupMs;
    for (;;) {
        {
            std::lock_guard lock(lookup->m);
            if (lookup->done) {
                out->ip = lookup->ip;
                return out->ip != 0;
            }
        }
        if (__ClockMs() >= until) return false;
        __WaitStep(1);
    }
}

}  // namespace net
