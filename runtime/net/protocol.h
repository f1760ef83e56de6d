// Internal: the session protocol's packets, as bytes. Nothing here talks to the network.
//
// Every packet carried over a session connection starts with the magic byte 'T', the
// protocol version and the packet type; all numbers are little-endian. A packet is
// decoded only when it has exactly the length its fields say and every field is in
// range; anything else is dropped by the receiver. Texts are a length (u8 or u16) and
// that many bytes. Ids of peers and players and sequence numbers are never 0 and never
// above kMaxId; a list never holds an id twice.
//
// The session. The host gives every program (peer) an id in joining order, so the
// lowest id is the oldest peer, and every player an id; neither is ever given twice in
// a session. Every peer holds the session's tables (peers, players) as the host sent
// them: the whole of them in Welcome, then each change as it happens.
//
//   Hello         joiner -> host   application id[16], session name u16, peer u32,
//                                  host u32, secret[16], next peer id u32,
//                                  next player id u32, WebSocket port u16,
//                                  players u16 x (id u32, token u32, name u8)
//                  A new program sends peer 0, host 0, a zero secret, counters 1 and no
//                  players. A program that lost its host sends its own id and secret,
//                  the counters it knows and the players it owns, to the next host; with
//                  `host` the one peer it means (the old host, tried once more), else 0.
//                  The WebSocket port is the TCP port the program accepts browsers on
//                  (0: none; a browser itself).
//   Refuse        host -> joiner   reason u8, host u32 (NotHost: the host this program
//                                  follows; else 0)
//   Welcome       host -> joiner   you u32, secret[16], host u32, term u32,
//                                  next peer id u32, next player id u32,
//                                  peers u16 x (id u32, ipv4 u32, port u16, ws port u16,
//                                  digest[32]),
//                                  players u16 x (id u32, owner u32, token u32, name u8)
//                  `you` and `host` are listed peers, every owner is a listed peer, the
//                  counters are above every listed id. ipv4 is 0 for the host itself and
//                  as the host saw the peer otherwise (network byte order); digest is the
//                  SHA-256 of the peer's secret. port is 0 for a peer that came over
//                  WebSocket (a browser: it has no UDP port and can never host).
//                  `term` counts the session's hosts: 1 for the one that made it, one
//                  more at every take-over.
//   PeerJoined    host -> peers    id u32, ipv4 u32, port u16, ws port u16, digest[32]
//                                  (also a returning peer's new address)
//   PeerLeft      host -> peers    id u32                (its players leave with it)
//   PlayerAdded   host -> peers    id u32, owner u32, token u32, name u8
//   PlayerRemoved host -> peers    id u32
//   Create        peer -> host     token u32, name u8     (token: the creator's own count)
//   Created       host -> peer     token u32, id u32
//   NoPlayer      host -> peer     token u32              (the session is full)
//   Cancel        peer -> host     token u32              (a create given up: undo it)
//   Destroy       peer -> host     player id u32
//   Send          peer -> host     u16 x (from u32, to u32 (0: every other player),
//                                  u8 x (receiving peer u32, sequence u32), text u16)
//   Deliver       host -> peer     u16 x (sending peer u32, sequence u32, from u32,
//                                  to u32, text u16)
//   Skip          host -> peer     u16 x (sending peer u32, sequence u32)   (refused by
//                                  the host: the receiver moves past it)
//   Ack           both ways        u16 x (peer u32, sequence u32)
//   Resume        both ways        u16 x (peer u32, sequence u32)
//   Leave         both ways        (empty)               (the program leaves the session)
//   KeepAlive     both ways        (empty)
//   Follow        host -> peers    host u32, term u32, ipv4 u32, port u16, ws port u16
//                                  (this host steps down: the peers go to that one,
//                                  as after a host change)
//
// Messages. Every peer numbers what it sends to each other peer 1, 2, 3 ...; the
// receiving peer takes a message only when its number is the next one from that sender,
// and says so (Ack: "everything from that peer up to this number"). The sender keeps
// every message until its receiver has acknowledged it. Ack and Resume go from a
// receiver to the host with the sending peer in `peer`, and from the host to the sender
// with the receiving peer in `peer`. Resume ("send again from this number") comes from a
// receiver that took up again after a gap or a full inbox, or that reached a new host;
// after a host change every peer also sends the new host everything still unacknowledged.
// So a message arrives once and in order per sender, through any number of host changes.
//
// The same packets go over ENet (UDP) between desktop programs and over WebSocket (binary
// messages, one packet each) between a browser and a desktop program: both are reliable
// and in order, and the session does not tell them apart beyond who may host.
//
// Session search, outside the connections: a plain datagram "TLVN", version, kind
// (1 asks, 2 answers), application id[16], name u16+bytes. A host answers a search for
// its own application and exact session name from the socket it listens on.
//
// Host claims, the same way: "TLVN", version, kind (3 asks for an answer, 4 answers),
// application id[16], name u16+bytes, term u32, host u32, ipv4 u32, port u16, ws port
// u16: "this host leads the session in this term, at this address" (ipv4 0: the sender
// itself). A host sends them to where another host may be (a peer it lost, the host it
// replaced, the session port held by another); every program of the session answers one that
// names another host than its own. Of two hosts the one with the higher term stays, at
// the same term the older (lower id): the other steps down and rejoins it.
//
// Pings, the same way: "TLVN", version, kind (5 asks, 6 answers), application id[16],
// name u16+bytes. Every program of the session answers one for its application and
// name: it is alive, whether or not a connection to it works.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

using AppId = std::array<uint8_t, 16>;
using Secret = std::array<uint8_t, 16>;
using Digest = std::array<uint8_t, 32>;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kMagic = 'T';
constexpr uint8_t kVersion = 4;
constexpr size_t kMaxSessionName = 1023;
constexpr size_t kMaxPlayerName = 255;
constexpr size_t kMaxPlayers = 256;
constexpr size_t kMaxPeers = 64;
constexpr size_t kMaxText = 65535;
constexpr size_t kMaxRecords = 65535;
constexpr uint32_t kMaxId = 0x7FFFFFFF;  // ids are shown as positive decimal numbers

enum class Type : uint8_t {
    Hello = 1,
    Refuse,
    Welcome,
    PeerJoined,
    PeerLeft,
    PlayerAdded,
    PlayerRemoved,
    Create,
    Created,
    NoPlayer,
    Cancel,
    Destroy,
    Send,
    Deliver,
    Skip,
    Ack,
    Resume,
    Leave,
    KeepAlive,
    Follow,
};
enum class Refusal : uint8_t {
    WrongApplication = 1,
    WrongName,
    Full,        // no seat left, or too many programs from that address
    NotYou,      // a returning program that could not prove who it is
    NotHost,     // this program is not the session's host (see `host`)
};

struct PeerEntry {
    uint32_t id = 0;    // in joining order: the lowest is the oldest
    uint32_t ipv4 = 0;  // as the host saw it (network byte order); 0 for the host itself
    uint16_t port = 0;  // 0: a browser, which cannot host
    uint16_t wsPort = 0;  // where browsers reach it (TCP), 0: nowhere
    Digest digest{};    // SHA-256 of the peer's secret
};

struct PlayerEntry {
    uint32_t id = 0;
    uint32_t owner = 0;  // peer id
    uint32_t token = 0;  // the owner's create token
    std::string name;
};

struct Hello {
    AppId app{};
    std::string name;
    uint32_t peer = 0;  // 0: a new program
    uint32_t host = 0;  // the host it means to reach; 0: whoever hosts
    Secret secret{};
    uint32_t nextPeer = 1, nextPlayer = 1;
    uint16_t wsPort = 0;  // where this program accepts browsers; 0: it is one
    std::vector<PlayerEntry> players;  // owner is `peer`
};

struct RefuseInfo {
    Refusal reason{};
    uint32_t host = 0;
};

struct Welcome {
    uint32_t you = 0;
    Secret secret{};
    uint32_t host = 0;
    uint32_t term = 1;
    uint32_t nextPeer = 1, nextPlayer = 1;
    std::vector<PeerEntry> peers;
    std::vector<PlayerEntry> players;
};

struct Created {
    uint32_t token = 0, id = 0;
};

// Which host leads the session and where (Follow, and the host claims).
struct Claim {
    uint32_t term = 1;
    uint32_t host = 0;
    uint32_t ipv4 = 0;  // 0: where the claim came from
    uint16_t port = 0;
    uint16_t wsPort = 0;
};
// Whether the host of claim a stays rather than b's: the later term, at the same term
// the older host.
inline bool Outranks(const Claim& a, const Claim& b) { return a.term != b.term ? a.term > b.term : a.host < b.host; }

// One message from a player to a player (to 0: every other player), as a program sends
// it to the host with the numbers it gave each receiving peer.
struct Outgoing {
    uint32_t from = 0, to = 0;
    std::vector<std::pair<uint32_t, uint32_t>> receivers;  // (peer, sequence)
    std::string_view text;                                  // points into the decoded bytes
};

// One message as the host hands it on.
struct Incoming {
    uint32_t sender = 0, seq = 0;  // the sending peer and its number for this receiver
    uint32_t from = 0, to = 0;
    std::string_view text;  // points into the decoded bytes
};

// (peer, sequence) pairs: Skip, Ack and Resume.
using SeqList = std::vector<std::pair<uint32_t, uint32_t>>;

// The sequence numbers after and before s (0 is never one), and whether a comes before b.
inline uint32_t NextSeq(uint32_t s) { return s + 1 ? s + 1 : 1; }
inline uint32_t PrevSeq(uint32_t s) { return s - 1 ? s - 1 : 0xFFFFFFFFu; }
inline bool SeqBefore(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; }

Bytes EncodeHello(const Hello& h);
Bytes EncodeRefuse(const RefuseInfo& r);
Bytes EncodeWelcome(const Welcome& w);
Bytes EncodePeerJoined(const PeerEntry& p);
Bytes EncodePeerLeft(uint32_t id);
Bytes EncodePlayerAdded(const PlayerEntry& p);
Bytes EncodePlayerRemoved(uint32_t id);
Bytes EncodeCreate(uint32_t token, std::string_view name);
Bytes EncodeCreated(const Created& c);
Bytes EncodeNoPlayer(uint32_t token);
Bytes EncodeCancel(uint32_t token);
Bytes EncodeDestroy(uint32_t id);
Bytes EncodeSeqList(Type t, const SeqList& list);  // Skip, Ack, Resume
Bytes EncodeEmpty(Type t);                         // Leave, KeepAlive
Bytes EncodeFollow(const Claim& c);

// Send and Deliver packets are built a record at a time, and sent once they hold
// kBatchBytes (or as many records as a packet can).
constexpr size_t kBatchBytes = 32 * 1024;
class RecordWriter {
public:
    explicit RecordWriter(Type t);
    void Add(const Outgoing& m);  // Send
    void Add(const Incoming& m);  // Deliver
    size_t Count() const { return count_; }
    bool Full() const { return out_.size() >= kBatchBytes || count_ >= kMaxRecords; }
    Bytes Take();  // the packet; the writer starts over

private:
    Type type_;
    Bytes out_;
    size_t count_ = 0;
};

// The type of a packet whose header is this protocol's, or nothing.
std::optional<Type> PacketType(const uint8_t* data, size_t size);
std::optional<Hello> DecodeHello(const uint8_t* data, size_t size);
std::optional<RefuseInfo> DecodeRefuse(const uint8_t* data, size_t size);
std::optional<Welcome> DecodeWelcome(const uint8_t* data, size_t size);
std::optional<PeerEntry> DecodePeerJoined(const uint8_t* data, size_t size);
std::optional<uint32_t> DecodePeerLeft(const uint8_t* data, size_t size);
std::optional<PlayerEntry> DecodePlayerAdded(const uint8_t* data, size_t size);
std::optional<uint32_t> DecodePlayerRemoved(const uint8_t* data, size_t size);
std::optional<std::pair<uint32_t, std::string>> DecodeCreate(const uint8_t* data, size_t size);
std::optional<Created> DecodeCreated(const uint8_t* data, size_t size);
std::optional<uint32_t> DecodeNoPlayer(const uint8_t* data, size_t size);
std::optional<uint32_t> DecodeCancel(const uint8_t* data, size_t size);
std::optional<uint32_t> DecodeDestroy(const uint8_t* data, size_t size);
std::optional<std::vector<Outgoing>> DecodeSend(const uint8_t* data, size_t size);
std::optional<std::vector<Incoming>> DecodeDeliver(const uint8_t* data, size_t size);
std::optional<SeqList> DecodeSeqList(Type t, const uint8_t* data, size_t size);  // Skip, Ack, Resume
bool DecodeEmpty(Type t, const uint8_t* data, size_t size);                      // Leave, KeepAlive
std::optional<Claim> DecodeFollow(const uint8_t* data, size_t size);

// Session search datagrams.
struct Search {
    bool answer = false;
    AppId app{};
    std::string name;
};
Bytes EncodeSearch(const Search& s);
std::optional<Search> DecodeSearch(const uint8_t* data, size_t size);
struct ClaimDatagram {
    bool answer = false;
    AppId app{};
    std::string name;
    Claim claim;
};
Bytes EncodeClaim(const ClaimDatagram& c);
Bytes EncodePing(const Search& s);  // answer: a pong
std::optional<Search> DecodePing(const uint8_t* data, size_t size);
std::optional<ClaimDatagram> DecodeClaim(const uint8_t* data, size_t size);
// Whether a datagram is a search datagram or a claim at all (of any version).
bool IsSearchDatagram(const uint8_t* data, size_t size);

}  // namespace net
