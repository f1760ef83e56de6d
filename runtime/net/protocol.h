// Internal: the session protocol's packets, as bytes. Nothing here talks to the network.
//
// Every packet carried over a session connection starts with the magic byte 'T', the
// protocol version and the packet type; all numbers are little-endian. A packet is
// decoded only when it has exactly the length its fields say; anything else is dropped
// by the receiver.
//
//   Hello    joiner -> host   application id[16], rejoin peer u32, name u16+bytes
//   Refuse   host -> joiner   reason u8
//   State    host -> peer     you u32, host u32, next player id u32, next peer id u32,
//                             peers u16 x (id u32, ipv4 u32, port u16),
//                             players u16 x (id u32, owner u32, name u8+bytes)
//   Create   peer -> host     token u32, name u8+bytes
//   Created  host -> peer     token u32, player id u32
//   Destroy  peer -> host     player id u32
//   Message  both ways        from u32, to u32, text (the rest of the packet)
//
// Session search, outside the connections: a plain datagram "TLVN", version, kind
// (1 asks, 2 answers), application id[16], name u16+bytes. A host answers a search for
// its own application and exact session name from the socket it listens on.
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

constexpr uint8_t kMagic = 'T';
constexpr uint8_t kVersion = 1;
constexpr size_t kMaxSessionName = 1023;
constexpr size_t kMaxPlayerName = 255;
constexpr size_t kMaxPlayers = 256;
constexpr size_t kMaxPeers = 64;
constexpr size_t kMaxText = 65536;

enum class Type : uint8_t { Hello = 1, Refuse, State, Create, Created, Destroy, Message };
enum class Refusal : uint8_t { WrongApplication = 1, WrongName, Full };

struct PeerEntry {
    uint32_t id = 0;    // given by the host in joining order: the lowest is the oldest
    uint32_t ipv4 = 0;  // as the host saw it (network byte order); 0 for the host itself
    uint16_t port = 0;
};

struct PlayerEntry {
    uint32_t id = 0;
    uint32_t owner = 0;  // peer id
    std::string name;
};

struct Hello {
    AppId app{};
    uint32_t rejoinPeer = 0;  // 0: a new peer
    std::string name;
};

struct State {
    uint32_t you = 0, host = 0, nextPlayer = 1, nextPeer = 1;
    std::vector<PeerEntry> peers;
    std::vector<PlayerEntry> players;
};

struct Message {
    uint32_t from = 0, to = 0;
    std::string_view text;  // points into the decoded bytes
};

std::string EncodeHello(const Hello& h);
std::string EncodeRefuse(Refusal r);
std::string EncodeState(const State& s);
std::string EncodeCreate(uint32_t token, std::string_view name);
std::string EncodeCreated(uint32_t token, uint32_t id);
std::string EncodeDestroy(uint32_t id);
std::string EncodeMessage(uint32_t from, uint32_t to, std::string_view text);

// The type of a packet whose header is this protocol's, or nothing.
std::optional<Type> PacketType(const uint8_t* data, size_t size);
std::optional<Hello> DecodeHello(const uint8_t* data, size_t size);
std::optional<Refusal> DecodeRefuse(const uint8_t* data, size_t size);
std::optional<State> DecodeState(const uint8_t* data, size_t size);
std::optional<std::pair<uint32_t, std::string>> DecodeCreate(const uint8_t* data, size_t size);
std::optional<std::pair<uint32_t, uint32_t>> DecodeCreated(const uint8_t* data, size_t size);
std::optional<uint32_t> DecodeDestroy(const uint8_t* data, size_t size);
std::optional<Message> DecodeMessage(const uint8_t* data, size_t size);

// Session search datagrams.
struct Search {
    bool answer = false;
    AppId app{};
    std::string name;
};
std::string EncodeSearch(const Search& s);
std::optional<Search> DecodeSearch(const uint8_t* data, size_t size);

}  // namespace net
