// Session packets and search datagrams, as any peer or stranger may send them: the input
// goes to every decoder of net/protocol.h as it is, and once more under each packet
// type's header. Whatever a decoder takes must be encoded back to the very same bytes
// (a decoder takes only what the protocol can say, and exactly that).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "net/protocol.h"

namespace {

using net::Bytes;
using net::Type;

void Same(const Bytes& encoded, const uint8_t* data, size_t size) {
    if (encoded.size() != size || (size && std::memcmp(encoded.data(), data, size) != 0)) std::abort();
}

void Decode(const uint8_t* data, size_t size) {
    if (auto h = net::DecodeHello(data, size)) Same(net::EncodeHello(*h), data, size);
    if (auto r = net::DecodeRefuse(data, size)) Same(net::EncodeRefuse(*r), data, size);
    if (auto w = net::DecodeWelcome(data, size)) Same(net::EncodeWelcome(*w), data, size);
    if (auto p = net::DecodePeerJoined(data, size)) Same(net::EncodePeerJoined(*p), data, size);
    if (auto id = net::DecodePeerLeft(data, size)) Same(net::EncodePeerLeft(*id), data, size);
    if (auto p = net::DecodePlayerAdded(data, size)) Same(net::EncodePlayerAdded(*p), data, size);
    if (auto id = net::DecodePlayerRemoved(data, size)) Same(net::EncodePlayerRemoved(*id), data, size);
    if (auto c = net::DecodeCreate(data, size)) Same(net::EncodeCreate(c->first, c->second), data, size);
    if (auto c = net::DecodeCreated(data, size)) Same(net::EncodeCreated(*c), data, size);
    if (auto t = net::DecodeNoPlayer(data, size)) Same(net::EncodeNoPlayer(*t), data, size);
    if (auto t = net::DecodeCancel(data, size)) Same(net::EncodeCancel(*t), data, size);
    if (auto id = net::DecodeDestroy(data, size)) Same(net::EncodeDestroy(*id), data, size);
    if (auto list = net::DecodeSend(data, size)) {
        net::RecordWriter w(Type::Send);
        for (const net::Outgoing& m : *list) w.Add(m);
        Same(w.Take(), data, size);
    }
    if (auto list = net::DecodeDeliver(data, size)) {
        net::RecordWriter w(Type::Deliver);
        for (const net::Incoming& m : *list) w.Add(m);
        Same(w.Take(), data, size);
    }
    for (Type t : {Type::Skip, Type::Ack, Type::Resume})
        if (auto list = net::DecodeSeqList(t, data, size)) Same(net::EncodeSeqList(t, *list), data, size);
    for (Type t : {Type::Leave, Type::KeepAlive})
        if (net::DecodeEmpty(t, data, size)) Same(net::EncodeEmpty(t), data, size);
    if (auto c = net::DecodeFollow(data, size)) Same(net::EncodeFollow(*c), data, size);
    if (auto s = net::DecodeSearch(data, size)) Same(net::EncodeSearch(*s), data, size);
    if (auto c = net::DecodeClaim(data, size)) Same(net::EncodeClaim(*c), data, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Decode(data, size);
    // The same bytes under every packet type's header (the first three bytes replaced).
    if (size >= 3) {
        std::vector<uint8_t> copy(data, data + size);
        copy[0] = net::kMagic;
        copy[1] = net::kVersion;
        for (uint8_t t = static_cast<uint8_t>(Type::Hello); t <= static_cast<uint8_t>(Type::Follow); ++t) {
            copy[2] = t;
            Decode(copy.data(), copy.size());
        }
    }
    return 0;
}
