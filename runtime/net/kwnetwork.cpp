#include "net/kwnetwork.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/timing.h"
#include "core/wait.h"
#include "net/app_id.h"
#include "net/exchange.h"
#include "net/net_thread.h"
#include "net/resolve.h"
#include "net/ws_links.h"

KWNetwork* pKWNet = nullptr;

namespace {

constexpr double kJoinWaitMs = 4000;    // a join waits this long for the host's welcome
constexpr double kReachedWaitMs = 12000; // or this long once the host answered (under loss)
constexpr double kSearchWaitMs = 1600;  // and this much longer when it searches first
constexpr double kCreateWaitMs = 10000; // a create waits this long for the host's answer
constexpr double kFlushMs = 200;        // what was sent may take this long to go out at the end
constexpr int kAgainUs = 100;           // NETGETMSG$ for the same player this soon after an empty answer
constexpr int kAwaitUs = 500;           // waits at most this long for a message

}  // namespace

KWNetwork::KWNetwork(uint16_t port) : port_(port), app_(net::kApplicationId), view_(std::make_unique<net::View>()) {}

KWNetwork::~KWNetwork() { CleanUp(); }

void KWNetwork::CleanUp() {
    if (thread_) thread_->Stop(kFlushMs);
    thread_.reset();
    exchange_.reset();
    *view_ = net::View{};
    viewVersion_ = 0;
    hidden_.clear();
}

int KWNetwork::Init(const KWCONNECTION_INFO& info) {
    state_ = kNotConnected;
    CleanUp();
    connection_ = info;
    connection_.sessionName[sizeof connection_.sessionName - 1] = 0;
    connection_.address[sizeof connection_.address - 1] = 0;
    state_ = kConnecting;
    return DoHostOrJoin();
}

int KWNetwork::DoHostOrJoin() {
    if (connection_.connectionType != 0) return kUnsupportedType;
    int r = connection_.hostFlag ? Host() : Join();
    if (r != kOk) CleanUp();  // the state stays "connecting": no session
    return r;
}

bool KWNetwork::IsSetup() const { return (state_ == kHosting || state_ == kJoined) && thread_; }

bool KWNetwork::Start(bool host, uint32_t ip, uint16_t port, const std::string& url) {
    net::SessionConfig cfg;
    cfg.host = host;
    cfg.port = port_;
    cfg.app = app_;
    cfg.name = connection_.sessionName;
    cfg.target = net::Address{ip, port};
    cfg.url = url;
    // The origins of the pages the host lets in (else those of this machine only).
    if (const char* origins = std::getenv("TOLVANE_NET_ORIGINS")) {
        std::string list = origins;
        for (size_t at = 0; at <= list.size();) {
            size_t end = list.find(',', at);
            if (end == std::string::npos) end = list.size();
            std::string one = list.substr(at, end - at);
            one.erase(0, one.find_first_not_of(' '));
            one.erase(one.find_last_not_of(' ') + 1);
            if (!one.empty()) cfg.origins.push_back(one);
            at = end + 1;
        }
    }
    cfg.lanSearch = lanSearch_;
    exchange_ = std::make_unique<net::Exchange>();
    thread_ = std::make_unique<net::NetThread>(*exchange_, cfg);
    if (thread_->Start()) return true;
    thread_.reset();
    return false;
}

int KWNetwork::Host() {
    if (!Start(true, 0, 0, std::string())) return kCannotListen;
    Service();
    return state_ == kHosting ? kOk : kCannotListen;
}

int KWNetwork::Join() {
    net::Address target;
    std::string address = connection_.address;
    net::WsUrl url;
    const bool byWebSocket = net::ParseWsUrl(address, &url);
    // "ws://host" is the session port there (a "wss://" address without one goes to a TLS
    // proxy's port 443).
    if (byWebSocket && !url.portGiven)
        address = std::string(url.secure ? "wss://" : "ws://") + url.host + ":" +
                  std::to_string(url.secure ? 443 : port_) + url.path;
    const bool search = address.empty();
    // Without UDP (a page) only a ws:// address leads anywhere: no search, no plain address.
    if (!byWebSocket && !net::Transport::HasUdp()) return kNotFound;
    if (!byWebSocket && !search && !net::ResolveAddress(address.c_str(), port_, &target)) return kNotFound;
    if (!Start(false, target.ip, target.port, byWebSocket ? address : std::string())) return kNoNetwork;
    // The thread looks for the host and asks it in; the program's window stays alive.
    const double start = __ClockMs() + (search ? kSearchWaitMs : 0);
    for (;;) {
        Service();
        if (view_->status == net::Status::Joined) return kOk;
        if (view_->status == net::Status::Failed)
            return view_->refusal != net::Refusal{} ? kRefused : kNotFound;
        if (__ClockMs() >= start + (view_->reached ? kReachedWaitMs : kJoinWaitMs)) return kNotFound;
        __WaitStep(1);
    }
}

void KWNetwork::Service() {
    if (thread_) thread_->Pump();
    if (!exchange_ || !exchange_->ViewIfNewer(viewVersion_, *view_)) return;
    // Players destroyed here stay away until the thread's list no longer has them.
    std::erase_if(hidden_, [&](uint32_t id) {
        return std::none_of(view_->players.begin(), view_->players.end(),
                            [&](const net::PlayerEntry& p) { return p.id == id; });
    });
    std::erase_if(view_->players, [&](const net::PlayerEntry& p) {
        return std::find(hidden_.begin(), hidden_.end(), p.id) != hidden_.end();
    });
    switch (view_->status) {
    case net::Status::Hosting:
        state_ = kHosting;
        break;
    case net::Status::Joined:
        state_ = kJoined;
        break;
    case net::Status::Lost:
        state_ = kNotConnected;  // the session is gone: nothing is set up any more
        break;
    default:
        break;
    }
}

// ---- players ------------------------------------------------------------------------------------

bool KWNetwork::Mine(uint32_t player) const {
    return std::any_of(view_->players.begin(), view_->players.end(),
                       [&](const net::PlayerEntry& p) { return p.id == player && p.owner == view_->me; });
}

bool KWNetwork::Listed(uint32_t player) const {
    return std::any_of(view_->players.begin(), view_->players.end(),
                       [&](const net::PlayerEntry& p) { return p.id == player; });
}

int KWNetwork::CreatePlayer(const char* name, uint32_t* id) {
    *id = 0;
    Service();
    if (!IsSetup()) return kNotSetUp;
    token_ = token_ < net::kMaxId ? token_ + 1 : 1;
    const uint32_t token = token_;
    exchange_->Push({net::Command::Create, token, 0, std::string(name ? name : "").substr(0, net::kMaxPlayerName)});
    // The host answers at once, unless it is far away or being replaced. A create that is
    // given up is undone, so no player appears that its program never heard of.
    const double until = __ClockMs() + kCreateWaitMs;
    uint32_t got = 0;
    while (!exchange_->TakeCreated(token, got)) {
        Service();
        if (!IsSetup()) break;
        if (__ClockMs() >= until) {
            exchange_->Push({net::Command::Cancel, token, 0, {}});
            exchange_->TakeCreated(token, got);  // an answer that came just now is undone too
            got = 0;
            break;
        }
        __WaitStep(1);
    }
    Service();
    *id = got;
    return got ? kOk : kNoPlayerId;
}

void KWNetwork::DestroyPlayer(uint32_t id) {
    Service();
    if (!IsSetup() || !Mine(id)) return;
    exchange_->Push({net::Command::Destroy, id, 0, {}});
    hidden_.push_back(id);
    std::erase_if(view_->players, [&](const net::PlayerEntry& p) { return p.id == id; });
}

// ---- messages -----------------------------------------------------------------------------------

bool KWNetwork::SendMsg(uint32_t from, uint32_t to, const char* text, size_t length) {
    Service();
    if (!IsSetup() || !Mine(from) || (to && !Listed(to))) return false;
    std::string_view t(text ? text : "", text ? std::min(length, net::kMaxText) : 0);
    if (to) {
        if (Mine(to)) return exchange_->PutMessage({to}, t);  // between this program's own players
        return exchange_->Push({net::Command::Send, from, to, std::string(t)});
    }
    // To every other player: this program's own at once, the others' through the session.
    std::vector<uint32_t> mine;
    bool others = false;
    for (const net::PlayerEntry& p : view_->players) {
        if (p.id == from) continue;
        if (p.owner == view_->me) mine.push_back(p.id);
        else others = true;
    }
    return exchange_->PutAndPush(mine, others, {net::Command::Send, from, 0, std::string(t)});
}

bool KWNetwork::ReceiveMsg(uint32_t player, char* buffer, size_t size) {
    if (!buffer || !size) return false;
    buffer[0] = 0;
    if (!IsSetup()) return false;
    std::string m;
    if (!exchange_->TakeMessage(player, m)) {
        // A program that asks again at once for the same player waits for its message:
        // it waits a moment for one to come instead of keeping the processor from the
        // network thread that brings it.
        const auto now = std::chrono::steady_clock::now();
        const bool again = player == emptyPlayer_ && now - emptyAt_ < std::chrono::microseconds(kAgainUs);
        emptyPlayer_ = player;
        emptyAt_ = now;
        if (!again) return true;
        thread_->AwaitMessage(player, kAwaitUs);
        if (!exchange_->TakeMessage(player, m)) {
            emptyAt_ = std::chrono::steady_clock::now();
            return true;
        }
    }
    size_t n = m.size() < size ? m.size() : 0;
    std::memcpy(buffer, m.data(), n);
    buffer[n] = 0;
    return true;
}

void KWNetwork::GetPlayerName(uint32_t id, char* buffer, size_t size) const {
    if (!buffer || !size) return;
    buffer[0] = 0;
    if (!IsSetup()) return;
    for (const net::PlayerEntry& p : view_->players)
        if (p.id == id) {
            size_t n = std::min(p.name.size(), size - 1);
            std::memcpy(buffer, p.name.data(), n);
            buffer[n] = 0;
            return;
        }
}

int KWNetwork::NumPlayers() const { return IsSetup() ? static_cast<int>(view_->players.size()) : 0; }

uint32_t KWNetwork::GetPlayerID(int index) const {
    if (!IsSetup() || index < 0 || static_cast<size_t>(index) >= view_->players.size()) return 0;
    return view_->players[static_cast<size_t>(index)].id;
}
