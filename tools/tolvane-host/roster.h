// What changed in a session's tables between two looks at them, as the lines tolvane-host
// logs: the programs (peers) that joined and left, and the players added and removed.
#pragma once

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "net/protocol.h"
#include "net/session_table.h"

namespace host {

// A name in double quotes, as a log line shows it: a quote and a backslash behind a
// backslash, control characters as \xNN, so that a name from a peer cannot end the line
// or forge one.
inline std::string Quoted(std::string_view name) {
    std::string out = "\"";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

class Roster {
public:
    // Compares the tables with those of the last look and keeps them. The lines of what
    // changed: players removed, peers that left, peers that joined, players added, each
    // in the tables' order. This program's own peer (`self`) is never reported.
    std::vector<std::string> Update(const net::SessionTable& table, uint32_t self) {
        std::vector<std::string> lines;
        const auto& peers = table.Peers();
        const auto& players = table.Players();
        if (SameIds(peers, peers_) && SameIds(players, players_)) return lines;
        for (const net::PlayerEntry& p : players_)
            if (!Has(players, p.id)) lines.push_back(PlayerLine(p, "removed"));
        for (const net::PeerEntry& p : peers_)
            if (p.id != self && !Has(peers, p.id)) lines.push_back("left: peer " + std::to_string(p.id));
        for (const net::PeerEntry& p : peers)
            if (p.id != self && !Has(peers_, p.id)) lines.push_back(JoinLine(p, players));
        for (const net::PlayerEntry& p : players)
            if (!Has(players_, p.id)) lines.push_back(PlayerLine(p, "added"));
        peers_ = peers;
        players_ = players;
        return lines;
    }

private:
    template <class Entry>
    static bool SameIds(const std::vector<Entry>& a, const std::vector<Entry>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](const Entry& x, const Entry& y) { return x.id == y.id; });
    }
    template <class Entry>
    static bool Has(const std::vector<Entry>& list, uint32_t id) {
        return std::any_of(list.begin(), list.end(), [id](const Entry& e) { return e.id == id; });
    }
    static std::string PlayerLine(const net::PlayerEntry& p, const char* what) {
        return "player " + std::to_string(p.id) + " " + Quoted(p.name) + " of peer " + std::to_string(p.owner) + " " +
               what;
    }
    // The host's own entry carries no address (it is the one every address is seen from).
    static std::string JoinLine(const net::PeerEntry& p, const std::vector<net::PlayerEntry>& players) {
        std::string line = "joined: peer " + std::to_string(p.id);
        if (p.ipv4 != 0) {
            char ip[INET_ADDRSTRLEN] = "?";
            inet_ntop(AF_INET, &p.ipv4, ip, sizeof ip);
            line += std::string(" from ") + ip;
        }
        const auto n =
            std::count_if(players.begin(), players.end(), [&](const net::PlayerEntry& e) { return e.owner == p.id; });
        return line + " (" + std::to_string(n) + (n == 1 ? " player)" : " players)");
    }

    std::vector<net::PeerEntry> peers_;
    std::vector<net::PlayerEntry> players_;
};

}  // namespace host
