// The desktop's WebSocket endpoint: Boost.Beast over Boost.Asio, header-only, kept in this
// one file (it is the slowest file of the runtime to compile). One io_context, owned by the
// endpoint and run only inside Poll (poll, never run), so every handler runs on the owner's
// thread; the only other thread is the one Asio starts to look up host names for Connect.
// Every call takes an error_code: nothing a peer sends makes anything throw.
//
// A connection's life: an accepted one reads its HTTP request here (so that it can be
// checked before the upgrade), is refused with 400 or 403 or upgraded, and counts against
// the handshake limits until it is open; one being made looks up its host (numeric hosts
// skip the look-up), connects and sends its upgrade. Open, it keeps one read of a whole
// message pending and writes its queue one message at a time; Close queues the close frame
// behind the messages. Handlers hold the connection by shared_ptr, so a connection dropped
// while an operation of its is pending stays whole until that operation's handler has run
// (with an error) and seen that it ended.
#define BOOST_BEAST_USE_STD_STRING_VIEW

#include "platform/websocket.h"

#include <unistd.h>
#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/websocket/rfc6455.hpp>
#include <boost/beast/websocket/stream.hpp>

namespace plat {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ws = beast::websocket;
using tcp = asio::ip::tcp;
// Sockets, acceptors and look-ups bound to the io_context's own executor, and streams
// without compression: far fewer templates to compile than the defaults.
using Executor = asio::io_context::executor_type;
using Socket = asio::basic_stream_socket<tcp, Executor>;
using Acceptor = asio::basic_socket_acceptor<tcp, Executor>;
using Resolver = asio::ip::basic_resolver<tcp, Executor>;
using Stream = ws::stream<Socket, false>;
using ErrorCode = boost::system::error_code;
using Clock = std::chrono::steady_clock;
using Id = WebSockets::Id;
using Event = WebSockets::Event;

constexpr uint32_t kLoopback = 0x7f000001;  // 127.0.0.1, host byte order
constexpr size_t kHeaderLimit = 8 * 1024;   // bytes of an upgrade request's header
constexpr size_t kHandlersPerPoll = 4096;

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '/')) text.remove_suffix(1);
    return text;
}

// The host part of "scheme://host[:port][/...]", lower case; empty when there is none.
std::string OriginHost(std::string_view origin) {
    const size_t scheme = origin.find("://");
    if (scheme == std::string_view::npos) return {};
    std::string_view rest = origin.substr(scheme + 3);
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        return close == std::string_view::npos ? std::string{} : Lower(rest.substr(0, close + 1));
    }
    return Lower(rest.substr(0, rest.find_first_of(":/")));
}

// Whether a handshake naming this Origin is let in: one of `allowed` (or "*"), or, when
// none are given, one whose host is this machine.
bool OriginAllowed(std::string_view origin, const std::vector<std::string>& allowed, const std::string& hostName) {
    const std::string asked = Lower(Trim(origin));
    if (!allowed.empty()) {
        return std::any_of(allowed.begin(), allowed.end(), [&](const std::string& entry) {
            const std::string_view trimmed = Trim(entry);
            return trimmed == "*" || Lower(trimmed) == asked;
        });
    }
    const std::string host = OriginHost(asked);
    return host == "127.0.0.1" || host == "localhost" || (!hostName.empty() && host == hostName);
}

// This machine's name, lower case (empty when it has none).
std::string MachineName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return Lower(name);
}

// A close code this end may send: 1000 in place of one outside 1000..4999 or one that
// only describes what happened (1005, 1006, 1015).
uint16_t SendableCode(uint16_t code) {
    if (code < 1000 || code > 4999 || code == 1005 || code == 1006 || code == 1015) return 1000;
    return code;
}

// "ws://host[:port][/path]": the parts, port 80 when none is given. False for anything else.
bool ParseUrl(const std::string& url, std::string& host, uint16_t& port, std::string& path) {
    if (Lower(url.substr(0, 5)) != "ws://") return false;
    std::string_view rest = std::string_view(url).substr(5);
    const size_t slash = rest.find('/');
    path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    std::string_view authority = rest.substr(0, slash);
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) return false;
        host = std::string(authority.substr(1, close - 1));
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return false;
            portText = after.substr(1);
            if (portText.empty()) return false;
        }
    } else {
        const size_t colon = authority.find(':');
        host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty()) return false;
        }
    }
    if (host.empty() || host.find_first_of("@ \t\r\n") != std::string::npos) return false;
    if (path.find_first_of(" \t\r\n") != std::string::npos) return false;
    port = 80;
    if (!portText.empty()) {
        if (portText.size() > 5) return false;
        unsigned value = 0;
        for (const char c : portText) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value < 1 || value > 65535) return false;
        port = static_cast<uint16_t>(value);
    }
    return true;
}

enum class Stage : uint8_t {
    Resolving,   // being made: its host's address is looked up
    Connecting,  // being made: its TCP connection is set up
    Upgrading,   // accepted: its HTTP request is read; being made: its upgrade is sent and answered
    Refusing,    // accepted: answered with an HTTP error, closed once that is written
    Accepting,   // accepted: its upgrade is answered
    Open,
    Closing,  // Close was asked: the queue, then the close frame, then the other side's
};

struct Connection {
    Connection(Socket socket, Id id, bool accepted) : stream(std::move(socket)), id(id), accepted(accepted) {}

    Stream stream;
    Id id;
    bool accepted;  // accepted here (else made by Connect)
    Stage stage = Stage::Upgrading;
    bool ended = false;    // closed and forgotten; handlers still pending see this and stop
    bool counted = false;  // counts against the handshake limits
    bool writing = false;  // a message or the close frame is being written
    bool closeSent = false;
    bool kicked = false;  // an operation was started outside Poll
    uint16_t closeCode = 1000;
    uint32_t ip = 0;  // the other side's IPv4 address, host byte order
    Clock::time_point deadline;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::empty_body>> request;
    std::unique_ptr<http::response<http::string_body>> refusal;
    std::optional<Resolver> resolver;
    std::string host, path;  // being made: the Host header's value and the target
    uint16_t port = 0;
    std::deque<std::vector<uint8_t>> queue;
    size_t queued = 0;
};
using ConnectionPtr = std::shared_ptr<Connection>;

struct Listener {
    explicit Listener(asio::io_context& io) : acceptor(io) {}
    Acceptor acceptor;
    bool paused = false;  // accepting failed (out of descriptors...): tried again at the next Poll
};
using ListenerPtr = std::shared_ptr<Listener>;

class BeastWebSockets final : public WebSockets {
public:
    explicit BeastWebSockets(const Limits& limits) : limits_(limits), machine_(MachineName()) {
        const double ms = limits_.handshakeMs > 0 ? std::min(limits_.handshakeMs, 86400e3) : 0.0;
        handshakeTime_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
    }

    ~BeastWebSockets() override { CloseAll(); }

    bool Listen(uint16_t port) override {
        auto listener = std::make_shared<Listener>(io_);
        const tcp::endpoint at(tcp::v4(), port);
        ErrorCode ec;
        listener->acceptor.open(at.protocol(), ec);
        if (ec) return false;
        listener->acceptor.set_option(asio::socket_base::reuse_address(true), ec);
        listener->acceptor.bind(at, ec);
        if (ec) return false;
        listener->acceptor.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) return false;
        if (port_ == 0) {
            const tcp::endpoint local = listener->acceptor.local_endpoint(ec);
            if (ec) return false;
            port_ = local.port();
        }
        listeners_.push_back(listener);
        AcceptNext(listener);
        return true;
    }

    uint16_t Port() const override { return port_; }

    void StopListening() override {
        for (const ListenerPtr& listener : listeners_) {
            ErrorCode ec;
            listener->acceptor.close(ec);
        }
        listeners_.clear();
        port_ = 0;
    }

    Id Connect(const std::string& url) override {
        std::string host, path;
        uint16_t port = 0;
        if (!ParseUrl(url, host, port, path)) return 0;  // wss:// among them: no TLS here
        auto c = std::make_shared<Connection>(Socket(io_), NewId(), false);
        c->path = path;
        c->port = port;
        c->host = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
        c->deadline = Clock::now() + handshakeTime_;
        c->kicked = true;
        connections_.emplace(c->id, c);
        ErrorCode ec;
        const asio::ip::address address = asio::ip::make_address(host, ec);
        if (!ec) {
            ConnectTo(c, tcp::endpoint(address, port));
            return c->id;
        }
        c->stage = Stage::Resolving;
        c->resolver.emplace(io_);
        c->resolver->async_resolve(
            host, std::to_string(port),
            [this, c](const ErrorCode& error, const Resolver::results_type& found) { Resolved(c, error, found); });
        return c->id;
    }

    void Send(Id id, const uint8_t* data, size_t size) override {
        const ConnectionPtr c = Find(id);
        if (!c || c->stage != Stage::Open || (size && !data)) return;
        c->queue.emplace_back(data, data + size);
        c->queued += size;
        c->kicked = true;
        WriteNext(c);
    }

    void Close(Id id, uint16_t code) override {
        const ConnectionPtr c = Find(id);
        if (!c || c->stage == Stage::Closing) return;
        if (c->stage != Stage::Open) return End(c, true);  // not up yet: it simply ends
        c->stage = Stage::Closing;
        c->closeCode = SendableCode(code);
        c->deadline = Clock::now() + handshakeTime_;
        c->kicked = true;
        WriteNext(c);
    }

    void Drop(Id id) override {
        if (const ConnectionPtr c = Find(id)) End(c, false);
    }

    bool IsOpen(Id id) const override {
        const ConnectionPtr c = Find(id);
        return c && c->stage == Stage::Open;
    }

    size_t Queued(Id id) const override {
        const ConnectionPtr c = Find(id);
        return c ? c->queued : 0;
    }

    uint32_t RemoteIp(Id id) const override {
        const ConnectionPtr c = Find(id);
        return c ? htonl(c->ip) : 0;
    }

    void Poll(std::vector<Event>& out) override {
        for (const ListenerPtr& listener : listeners_) {
            if (!listener->paused) continue;
            listener->paused = false;
            AcceptNext(listener);
        }
        // A bounded number of handlers: a peer that sends without pause cannot hold Poll.
        ErrorCode ec;
        io_.restart();
        size_t ran = 0;
        while (ran < kHandlersPerPoll && io_.poll_one(ec) > 0) ++ran;
        behind_ = ran == kHandlersPerPoll;
        // Handshakes and closes that took too long.
        const Clock::time_point now = Clock::now();
        std::vector<ConnectionPtr> late;
        for (const auto& [id, c] : connections_) {
            c->kicked = false;
            if (c->stage != Stage::Open && now >= c->deadline) late.push_back(c);
        }
        for (const ConnectionPtr& c : late) End(c, true);
        for (Event& e : events_) out.push_back(std::move(e));
        events_.clear();
    }

    void WaitFds(std::vector<pollfd>& fds) const override {
        for (const ListenerPtr& listener : listeners_) {
            fds.push_back(pollfd{listener->acceptor.native_handle(), POLLIN, 0});
        }
        for (const auto& [id, c] : connections_) {
            Socket& socket = c->stream.next_layer();
            if (!socket.is_open()) continue;  // looking its host up
            short events = POLLIN;
            if (c->stage == Stage::Connecting || c->stage == Stage::Refusing) {
                events = POLLOUT;
            } else if (c->kicked || c->queued > 0 || behind_ || c->stage == Stage::Accepting) {
                events |= POLLOUT;
            }
            fds.push_back(pollfd{socket.native_handle(), events, 0});
        }
    }

    void CloseAll() override {
        StopListening();
        std::map<Id, ConnectionPtr> all;
        all.swap(connections_);
        for (const auto& [id, c] : all) End(c, false);
        events_.clear();
    }

private:
    Id NewId() {
        if (nextId_ == 0) nextId_ = 1;  // after four thousand million connections
        return nextId_++;
    }

    ConnectionPtr Find(Id id) const {
        const auto found = connections_.find(id);
        return found == connections_.end() ? nullptr : found->second;
    }

    void AcceptNext(const ListenerPtr& listener) {
        listener->acceptor.async_accept([this, listener](const ErrorCode& ec, Socket socket) {
            if (ec == asio::error::operation_aborted || !listener->acceptor.is_open()) return;
            if (ec) {
                listener->paused = true;  // not again in this Poll: it would fail at once again
                return;
            }
            AcceptNext(listener);
            Accepted(std::move(socket));
        });
    }

    // A TCP connection accepted: let in within the limits, else closed at once.
    void Accepted(Socket socket) {
        ErrorCode ec;
        const tcp::endpoint remote = socket.remote_endpoint(ec);
        const uint32_t ip = !ec && remote.address().is_v4() ? remote.address().to_v4().to_uint() : 0;
        const auto from = perAddress_.find(ip);
        const size_t fromThere = from == perAddress_.end() ? 0 : from->second;
        if (ec || handshaking_ >= limits_.maxHandshaking ||
            (ip != kLoopback && fromThere >= limits_.maxHandshakingPerAddress)) {
            socket.close(ec);
            return;
        }
        socket.set_option(tcp::no_delay(true), ec);
        auto c = std::make_shared<Connection>(std::move(socket), NewId(), true);
        c->ip = ip;
        c->counted = true;
        ++handshaking_;
        ++perAddress_[ip];
        c->deadline = Clock::now() + handshakeTime_;
        connections_.emplace(c->id, c);
        c->request.emplace();
        c->request->header_limit(kHeaderLimit);
        http::async_read(c->stream.next_layer(), c->buffer, *c->request,
                         [this, c](const ErrorCode& error, size_t) { RequestRead(c, error); });
    }

    // The upgrade request of an accepted connection: refused, or answered by the upgrade.
    void RequestRead(const ConnectionPtr& c, const ErrorCode& ec) {
        if (c->ended) return;
        if (ec) return End(c, false);  // not HTTP, too long, or gone: no answer
        c->buffer.consume(c->buffer.size());
        const http::request<http::empty_body>& request = c->request->get();
        if (!ws::is_upgrade(request)) return Refuse(c, http::status::bad_request, "A WebSocket upgrade is expected.\n");
        const auto origin = request.find(http::field::origin);
        if (origin != request.end() && !OriginAllowed(origin->value(), limits_.origins, machine_)) {
            return Refuse(c, http::status::forbidden, "This origin may not connect.\n");
        }
        c->stage = Stage::Accepting;
        Configure(c);
        c->stream.async_accept(request, [this, c](const ErrorCode& error) {
            if (c->ended) return;
            if (error) return End(c, false);  // a bad upgrade (answered with 400 already), or gone
            Opened(c);
        });
    }

    void Refuse(const ConnectionPtr& c, http::status status, const char* why) {
        c->stage = Stage::Refusing;
        c->refusal = std::make_unique<http::response<http::string_body>>(status, c->request->get().version());
        c->refusal->set(http::field::connection, "close");
        c->refusal->set(http::field::content_type, "text/plain");
        c->refusal->body() = why;
        c->refusal->prepare_payload();
        http::async_write(c->stream.next_layer(), *c->refusal, [this, c](const ErrorCode&, size_t) {
            if (c->ended) return;
            ErrorCode ec;
            c->stream.next_layer().shutdown(asio::socket_base::shutdown_send, ec);
            End(c, false);
        });
    }

    void Resolved(const ConnectionPtr& c, const ErrorCode& ec, const Resolver::results_type& found) {
        if (c->ended) return;
        if (ec) return End(c, true);
        c->stage = Stage::Connecting;
        asio::async_connect(c->stream.next_layer(), found,
                            [this, c](const ErrorCode& error, const tcp::endpoint&) { Connected(c, error); });
    }

    void ConnectTo(const ConnectionPtr& c, const tcp::endpoint& at) {
        c->stage = Stage::Connecting;
        ErrorCode ec;
        c->stream.next_layer().open(at.protocol(), ec);
        if (ec) return End(c, true);
        c->stream.next_layer().async_connect(at, [this, c](const ErrorCode& error) { Connected(c, error); });
    }

    void Connected(const ConnectionPtr& c, const ErrorCode& ec) {
        if (c->ended) return;
        if (ec) return End(c, true);
        Socket& socket = c->stream.next_layer();
        ErrorCode ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        const tcp::endpoint remote = socket.remote_endpoint(ignored);
        if (!ignored && remote.address().is_v4()) c->ip = remote.address().to_v4().to_uint();
        c->stage = Stage::Upgrading;
        Configure(c);
        c->stream.async_handshake(c->host, c->path, [this, c](const ErrorCode& error) {
            if (c->ended) return;
            if (error) return End(c, true);
            Opened(c);
        });
    }

    void Configure(const ConnectionPtr& c) {
        c->stream.binary(true);
        // (0 would be no limit at all: at least one byte.)
        c->stream.read_message_max(std::max<size_t>(limits_.maxMessage, 1));
    }

    void Opened(const ConnectionPtr& c) {
        Uncount(c);
        c->stage = Stage::Open;
        c->request.reset();
        c->resolver.reset();
        events_.push_back(Event{Event::Opened, c->id, {}, 0});
        ReadNext(c);
        WriteNext(c);
    }

    void ReadNext(const ConnectionPtr& c) {
        c->stream.async_read(c->buffer, [this, c](const ErrorCode& ec, size_t) { MessageRead(c, ec); });
    }

    void MessageRead(const ConnectionPtr& c, const ErrorCode& ec) {
        if (c->ended) return;
        // The other side closed (its code is the stream's reason), the message was too long
        // (answered with 1009 already), or the connection failed.
        if (ec) return End(c, true);
        if (c->stage == Stage::Closing) {
            // What arrives after Close is not handed over; the close reads on by itself.
            c->buffer.consume(c->buffer.size());
            return;
        }
        if (!c->stream.got_binary()) {
            // Closed at once: what is queued goes unsent, but for a message being written.
            c->buffer.consume(c->buffer.size());
            while (c->queue.size() > (c->writing ? 1u : 0u)) {
                c->queued -= c->queue.back().size();
                c->queue.pop_back();
            }
            c->stage = Stage::Closing;
            c->closeCode = static_cast<uint16_t>(ws::close_code::unknown_data);
            c->deadline = Clock::now() + handshakeTime_;
            return WriteNext(c);
        }
        const auto data = c->buffer.data();
        const auto* bytes = static_cast<const uint8_t*>(data.data());
        events_.push_back(Event{Event::Message, c->id, std::vector<uint8_t>(bytes, bytes + data.size()), 0});
        c->buffer.consume(c->buffer.size());
        ReadNext(c);
    }

    // Starts writing the next queued message, or the close frame once the queue is empty.
    void WriteNext(const ConnectionPtr& c) {
        if (c->ended || c->writing) return;
        if (!c->queue.empty()) {
            c->writing = true;
            c->stream.async_write(asio::buffer(c->queue.front()), [this, c](const ErrorCode& ec, size_t) {
                c->writing = false;
                if (c->ended) return;
                if (ec) return End(c, true);
                c->queued -= c->queue.front().size();
                c->queue.pop_front();
                WriteNext(c);
            });
        } else if (c->stage == Stage::Closing && !c->closeSent) {
            c->writing = true;
            c->closeSent = true;
            c->stream.async_close(ws::close_reason(c->closeCode), [this, c](const ErrorCode&) {
                c->writing = false;
                if (!c->ended) End(c, true);
            });
        }
    }

    // Forgets the connection and closes its socket; `tell`: with a Closed event when the
    // owner knows the connection (it was opened, or it is one the owner is making).
    void End(const ConnectionPtr& c, bool tell) {
        if (c->ended) return;
        c->ended = true;
        Uncount(c);
        const bool known = c->stage == Stage::Open || c->stage == Stage::Closing || !c->accepted;
        const uint16_t code = c->stage == Stage::Open || c->stage == Stage::Closing
                                  ? static_cast<uint16_t>(c->stream.reason().code)
                                  : uint16_t{0};
        if (c->resolver) c->resolver->cancel();
        ErrorCode ec;
        c->stream.next_layer().close(ec);
        connections_.erase(c->id);  // the queue goes with the connection, once no write uses it
        if (tell && known) events_.push_back(Event{Event::Closed, c->id, {}, code});
    }

    // The connection no longer counts against the handshake limits.
    void Uncount(const ConnectionPtr& c) {
        if (!c->counted) return;
        c->counted = false;
        --handshaking_;
        const auto from = perAddress_.find(c->ip);
        if (from != perAddress_.end() && --from->second == 0) perAddress_.erase(from);
    }

    Limits limits_;
    std::string machine_;  // this machine's name, lower case
    Clock::duration handshakeTime_{};
    // Declared before everything that holds sockets, so that it is destroyed after them.
    asio::io_context io_{1};
    std::vector<ListenerPtr> listeners_;
    uint16_t port_ = 0;
    std::map<Id, ConnectionPtr> connections_;
    Id nextId_ = 1;
    size_t handshaking_ = 0;                           // accepted and not yet open
    std::unordered_map<uint32_t, size_t> perAddress_;  // the same, by address
    std::vector<Event> events_;                        // happened since the last Poll
    bool behind_ = false;  // the last Poll left handlers ready to run: WaitFds wakes at once
};

}  // namespace

std::unique_ptr<WebSockets> MakeWebSockets(const WebSockets::Limits& limits) {
    return std::make_unique<BeastWebSockets>(limits);
}

}  // namespace plat
