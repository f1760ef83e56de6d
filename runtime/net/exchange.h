// Internal: what the BASIC commands and the network thread hand each other, under one
// lock: the commands' requests one way; the session as the commands see it, the messages
// that arrived for this program's players and the answers to creates the other way.
//
// The commands never wait on the lock for long: the network thread holds it only to
// copy small things in or out.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/protocol.h"
#include "net/send_cost.h"

namespace net {

// A request of the commands to the network thread.
struct Command {
    enum Kind : uint8_t { Send, Create, Cancel, Destroy } kind = Send;
    uint32_t a = 0;    // Send: from; Create, Cancel: token; Destroy: player
    uint32_t b = 0;    // Send: to
    std::string text;  // Send: the text; Create: the name
};

// Where the session stands, as the network thread last said.
enum class Status : uint8_t {
    Joining,  // looking for the host, or waiting for its welcome
    Joined,
    Hosting,
    Failed,   // the join did not come through
    Lost,     // the session was lost: no program of it could be reached any more
};

// The session as the commands see it.
struct View {
    Status status = Status::Joining;
    Refusal refusal{};  // why a join failed, when the host said so
    uint32_t me = 0;    // this program's peer id
    bool reached = false;  // joining: the host answered; its welcome may take a while under loss
    std::vector<PlayerEntry> players;
};

// The limits of what waits in memory: messages that arrived and were not read yet,
// and messages sent and not yet acknowledged by every receiver (net/send_cost.h).
constexpr size_t kMaxInboxMessages = 262144;
constexpr size_t kMaxInboxBytes = 32u << 20;
constexpr size_t kMaxOutgoingBytes = 64u << 20;

// How long a program waiting for a message looks for it before it sleeps, and how
// recent the last message must be for it to look at all.
constexpr int kAwaitLookUs = 500;
constexpr int64_t kLivelyNs = 2'000'000;

class Exchange {
public:
    Exchange();
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // ---- the commands' side ----
    // Queues a request and wakes the thread. A Send is refused (false) when what waits
    // to be acknowledged would pass kMaxOutgoingBytes.
    bool Push(Command c);
    // Copies the view when it changed since `version`; true then.
    bool ViewIfNewer(uint64_t& version, View& out);
    // The oldest message waiting for the player; false when there is none.
    bool TakeMessage(uint32_t player, std::string& text);
    // Waits at most `us` microseconds for a message for the player.
    void AwaitMessage(uint32_t player, int us);
    // Puts a message straight into the inbox (from a player of this program to another
    // of its players); false when the inbox is full.
    bool PutMessage(const std::vector<uint32_t>& players, std::string_view text);
    // A message to every other player: into the inbox for this program's own `players`
    // and, when `others`, queued (as Push does) for the rest; both or neither.
    bool PutAndPush(const std::vector<uint32_t>& players, bool others, Command c);
    // Forgets the messages of players that are not in the list.
    void KeepOnly(const std::vector<uint32_t>& players);
    // The answer to a create: true when there is one; `id` 0 when the host made none.
    bool TakeCreated(uint32_t token, uint32_t& id);
    // The thread's wake-up descriptor (a readable event when something was pushed).
    int WakeFd() const { return wakeFd_; }

    // ---- the network thread's side ----
    void TakeCommands(std::vector<Command>& out);
    void SetView(View v);
    // Puts one arrived message into the inboxes of the players (all of them or none);
    // false when that would pass the inbox's limits.
    bool Deliver(const std::vector<uint32_t>& players, std::string_view text);
    // Whether the inbox has taken up again after being full (below three quarters).
    bool InboxHasRoom() const;
    void SetCreated(uint32_t token, uint32_t id);
    // A Send's bytes no longer wait (acknowledged by every receiver, or dropped).
    void Release(size_t bytes);
    // Sleeping: the next Push writes the wake-up event. Returns false (and stays awake)
    // when commands are already waiting.
    bool Sleep();
    void Awake();
    void DrainWake();

private:
    bool PutLocked(const std::vector<uint32_t>& players, std::string_view text, bool dryRun = false);
    bool PushLocked(Command& c);
    void Wake();

    mutable std::mutex m_;
    std::condition_variable arrived_;
    std::atomic<int> waiting_{0};
    std::atomic<uint64_t> delivered_{0};
    std::atomic<int64_t> lastDelivery_{0};  // when the last message came (steady clock ticks)
    std::vector<Command> commands_;
    std::atomic<size_t> pending_{0};
    std::atomic<size_t> outgoing_{0};
    std::atomic<uint64_t> viewVersion_{0};
    View view_;
    std::unordered_map<uint32_t, std::deque<std::string>> inbox_;
    size_t inboxCount_ = 0, inboxBytes_ = 0;
    std::unordered_map<uint32_t, uint32_t> created_;
    std::atomic<bool> sleeping_{false};
    int wakeFd_ = -1;
};

}  // namespace net
