// What waits in a program for its players is bounded by count and by bytes, empty
// messages included; and a program that does not read for a while loses nothing: the
// senders hold back what does not fit.
#include "net/exchange.h"
#include "net/net_harness.h"

namespace {

using namespace nettest;

TEST(NetInbox, CountsMessagesAndBytes) {
    net::Exchange ex;
    // Empty messages count: the count limit holds them.
    std::vector<uint32_t> one = {7};
    size_t n = 0;
    while (ex.PutMessage(one, "") && n <= net::kMaxInboxMessages) ++n;
    EXPECT_EQ(n, net::kMaxInboxMessages);
    std::string text;
    EXPECT_TRUE(ex.TakeMessage(7, text));
    EXPECT_TRUE(ex.PutMessage(one, ""));
    // Big ones: the byte limit, each with its cost besides its text.
    net::Exchange big;
    const std::string k64(65535, 'x');
    size_t bytes = 0;
    while (big.PutMessage(one, k64)) bytes += k64.size() + net::kMessageCost;
    EXPECT_LE(bytes, net::kMaxInboxBytes);
    EXPECT_GT(bytes + k64.size() + net::kMessageCost, net::kMaxInboxBytes);
    // One message to several players counts once for each.
    net::Exchange many;
    std::vector<uint32_t> four = {1, 2, 3, 4};
    size_t put = 0;
    while (many.PutMessage(four, "") && put < net::kMaxInboxMessages) put += 4;
    EXPECT_EQ(put, net::kMaxInboxMessages);
}

// A message to every other player reaches this program's own players and goes to the
// others' programs, or neither: refused when what waits to be acknowledged is full, it
// leaves nothing in the inbox; refused when the inbox is full, nothing goes out.
TEST(NetInbox, AMessageToEveryoneIsTakenWholeOrNotAtAll) {
    net::Exchange ex;
    const std::string k64(65535, 'x');
    while (ex.Push({net::Command::Send, 1, 0, k64})) {
    }
    std::vector<net::Command> queued;
    ex.TakeCommands(queued);  // taken, not acknowledged: they still wait
    EXPECT_FALSE(ex.PutAndPush({5, 6}, true, {net::Command::Send, 1, 0, k64}));
    std::string text;
    EXPECT_FALSE(ex.TakeMessage(5, text));
    EXPECT_TRUE(ex.PutAndPush({5, 6}, false, {net::Command::Send, 1, 0, "own only"}));
    EXPECT_TRUE(ex.TakeMessage(6, text));
    EXPECT_EQ(text, "own only");

    net::Exchange full;
    while (full.PutMessage({5}, k64)) {
    }
    EXPECT_FALSE(full.PutAndPush({5}, true, {net::Command::Send, 1, 0, k64}));
    full.TakeCommands(queued);
    EXPECT_TRUE(queued.empty());
    EXPECT_TRUE(full.PutAndPush({}, true, {net::Command::Send, 1, 0, "others only"}));
    full.TakeCommands(queued);
    EXPECT_EQ(queued.size(), 1u);
}

// 300,000 messages to a program that reads none for a while: more than its inbox takes.
// When it reads, every one comes, once and in order.
TEST(NetInbox, AProgramThatDoesNotReadLosesNothing) {
    const int port = FreeUdpPort();
    Peer a(port), b(port);
    ASSERT_EQ(a("host 0 arena"), "1");
    ASSERT_EQ(b("join 0 arena 127.0.0.1"), "1");
    const std::string ann = a("create Ann"), bob = b("create Bob");
    ASSERT_EQ(a.Until("num", "2"), "2");
    EXPECT_EQ(a("burst " + ann + " " + bob + " 300000"), "300000");
    Sleep(4);  // b's inbox fills up meanwhile
    b("collect " + bob);
    EXPECT_EQ(b.Until("check " + bob + " " + ann + " 300000", "ok", 120), "ok");
}

}  // namespace
