#include "tracebuild/traffic_ip.hpp"

#include <algorithm>
#include <string>

#include "base/byte_order.hpp"

namespace ornpcap::tracebuild::traffic {

void putBytes(Bytes& b, std::initializer_list<uint8_t> bytes) {
    b.insert(b.end(), bytes);
}

void putBe16(Bytes& b, uint16_t v) {
    b.resize(b.size() + 2);
    storeBe16(&b[b.size() - 2], v);
}

void putBe32(Bytes& b, uint32_t v) {
    putBe16(b, static_cast<uint16_t>(v >> 16));
    putBe16(b, static_cast<uint16_t>(v));
}

void putText(Bytes& b, std::string_view text) {
    b.insert(b.end(), text.begin(), text.end());
}

void putRandom(Bytes& b, Rng& rng, size_t n) {
    const size_t at = b.size();
    b.resize(at + n);
    for (size_t i = 0; i < n; i += 4) {
        std::array<uint8_t, 4> word;
        storeLe32(word.data(), rng.next());
        std::copy_n(word.begin(), std::min<size_t>(4, n - i), &b[at + i]);
    }
}

uint32_t ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return (uint32_t{a} << 24) | (uint32_t{b} << 16) | (uint32_t{c} << 8) | d;
}

namespace {

constexpr std::string_view kWords[] = {
    "the",      "network",  "service", "customer", "access",   "router",   "update",  "status",
    "report",   "server",   "session", "message",  "traffic",  "address",  "online",  "page",
    "news",     "weather",  "contact", "product",  "price",    "order",    "search",  "home",
    "about",    "support",  "download", "video",   "music",    "account",  "secure",  "daily",
    "local",    "world",    "business", "time",    "and",      "for",      "with",    "your",
    "new",      "more",     "from",     "this",    "that",     "all",      "our",     "offer",
    "free",     "best",     "city",     "today",   "team",     "event",    "travel",  "photo",
    "market",   "energy",   "public",   "school",  "health",   "family",   "sport",   "game",
};
constexpr std::string_view kHostNames[] = {
    "www.example.com",   "mail.example.net",    "cdn.example.org",   "news.example.com",
    "shop.example.net",  "api.example.org",     "update.example.com", "ntp.example.net",
    "login.example.com", "static.example.org",  "video.example.net", "files.example.com",
};

std::string_view pickWord(Rng& rng) {
    return rng.pick(std::span<const std::string_view>(kWords));
}

void putPath(Bytes& b, Rng& rng) {
    const uint32_t depth = rng.between(1, 3);
    for (uint32_t i = 0; i < depth; ++i) {
        putText(b, "/");
        putText(b, pickWord(rng));
    }
    putText(b, rng.percent(50) ? ".html" : "/");
}

void putWords(Bytes& b, Rng& rng, size_t n) {
    const size_t end = b.size() + n;
    while (b.size() < end) {
        putText(b, pickWord(rng));
        putText(b, rng.percent(10) ? ". " : " ");
    }
    b.resize(end);
}

// One line of markup, a paragraph or a list entry.
void putMarkupLine(Bytes& b, Rng& rng) {
    switch (rng.below(5)) {
        case 0:
            putText(b, "<p>");
            putWords(b, rng, rng.between(40, 320));
            putText(b, "</p>\n");
            break;
        case 1:
            putText(b, "<li><a href=\"");
            putPath(b, rng);
            putText(b, "\">");
            putText(b, pickWord(rng));
            putText(b, "</a></li>\n");
            break;
        case 2:
            putText(b, "<div class=\"");
            putText(b, pickWord(rng));
            putText(b, "-box\">\n");
            break;
        case 3: putText(b, "</div>\n"); break;
        default:
            putText(b, "<img src=\"/images/");
            putText(b, pickWord(rng));
            putText(b, ".jpg\" alt=\"");
            putText(b, pickWord(rng));
            putText(b, "\" width=\"320\" height=\"240\">\n");
            break;
    }
}

// Text is cut from a megabyte written once, much faster than word by word
// and as varied within a block of the trace.
constexpr size_t kCorpusSize = 1 << 20;

Bytes makeCorpus(void (*line)(Bytes&, Rng&), uint64_t seed) {
    Rng rng(seed);
    Bytes corpus;
    corpus.reserve(kCorpusSize + 4096);
    while (corpus.size() < kCorpusSize) {
        line(corpus, rng);
    }
    return corpus;
}

void putSlice(Bytes& b, Rng& rng, const Bytes& corpus, size_t n) {
    while (n > 0) {
        const size_t at = rng.below(static_cast<uint32_t>(corpus.size() / 2));
        const size_t take = std::min(n, corpus.size() - at);
        b.insert(b.end(), corpus.begin() + static_cast<std::ptrdiff_t>(at),
                 corpus.begin() + static_cast<std::ptrdiff_t>(at + take));
        n -= take;
    }
}

}  // namespace

void putProse(Bytes& b, Rng& rng, size_t n) {
    static const Bytes corpus =
        makeCorpus([](Bytes& c, Rng& r) { putWords(c, r, r.between(40, 400)); }, 0x70726f7365);
    putSlice(b, rng, corpus, n);
}

void putHtml(Bytes& b, Rng& rng, size_t n) {
    static const Bytes corpus = makeCorpus(putMarkupLine, 0x68746d6c);
    putSlice(b, rng, corpus, n);
}

void putDigits(Bytes& b, Rng& rng, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        b.push_back(static_cast<uint8_t>('0' + rng.below(10)));
    }
}

std::string_view pickHostName(Rng& rng) {
    return rng.pick(std::span<const std::string_view>(kHostNames));
}

std::array<uint8_t, 6> macOf(uint32_t ip) {
    std::array<uint8_t, 6> mac = {0x00, 0x1b, 0x21};
    storeBe16(&mac[3], static_cast<uint16_t>((ip * 2654435761u) >> 16));
    mac[5] = static_cast<uint8_t>(ip);
    return mac;
}

void putMac(Bytes& b, const std::array<uint8_t, 6>& mac) {
    b.insert(b.end(), mac.begin(), mac.end());
}

// ---- Checksums: the one's complement sum of little-endian words is the
// byte-swapped sum of the network-order words, and so is its complement, so
// stored little-endian it lands in network order.

namespace {

constexpr uint8_t kIcmp = 1, kTcp = 6, kUdp = 17, kIcmpV6 = 58;

uint32_t addWords(uint32_t sum, const uint8_t* p, size_t n) {
    for (; n >= 2; p += 2, n -= 2) {
        sum += loadLe16(p);
    }
    return n == 1 ? sum + *p : sum;
}

uint16_t complementOf(uint32_t sum) {
    while (sum >> 16) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum);
}

struct ChecksumField {
    uint8_t protocol;
    uint8_t offset;
    bool pseudoHeader;
};
constexpr ChecksumField kChecksumFields[] = {
    {kIcmp, 2, false}, {kTcp, 16, true}, {kUdp, 6, true}, {kIcmpV6, 2, true}};

// The transport header at `at` runs to the end of b; addressSum is the sum of
// the pseudo header's addresses.
void finishTransport(Bytes& b, size_t at, uint8_t protocol, uint32_t addressSum) {
    const size_t length = b.size() - at;
    if (protocol == kUdp) {
        storeBe16(&b[at + 4], static_cast<uint16_t>(length));
    }
    for (const ChecksumField& field : kChecksumFields) {
        if (field.protocol != protocol) {
            continue;
        }
        std::array<uint8_t, 4> tail = {0, protocol, 0, 0};
        storeBe16(&tail[2], static_cast<uint16_t>(length));
        const uint32_t pseudo = field.pseudoHeader ? addWords(addressSum, tail.data(), 4) : 0;
        uint16_t value = complementOf(addWords(pseudo, &b[at], length));
        if (protocol == kUdp && value == 0) {
            value = 0xFFFF;
        }
        storeLe16(&b[at + field.offset], value);
    }
}

struct Ipv4Header {
    uint32_t src = 0, dst = 0;
    uint16_t id = 0;
    uint8_t ttl = 64;
    uint8_t protocol = kUdp;
};

void putIpv4Header(Bytes& b, const Ipv4Header& h) {
    putBytes(b, {0x45, 0x00, 0, 0});
    putBe16(b, h.id);
    putBe16(b, h.protocol == kTcp ? 0x4000 : 0);
    putBytes(b, {h.ttl, h.protocol, 0, 0});
    putBe32(b, h.src);
    putBe32(b, h.dst);
}

// The IPv4 packet at `at` runs to the end of b: total length and checksums.
void finishIpv4(Bytes& b, size_t at) {
    storeBe16(&b[at + 2], static_cast<uint16_t>(b.size() - at));
    storeLe16(&b[at + 10], complementOf(addWords(0, &b[at], 20)));
    finishTransport(b, at + 20, b[at + 9], addWords(0, &b[at + 12], 8));
}

}  // namespace

// ---- IPv6

namespace {

// fe80::, then the EUI-64 of the station address.
void putLinkLocal(Bytes& b, const std::array<uint8_t, 6>& mac) {
    putBytes(b, {0xfe, 0x80, 0, 0, 0, 0, 0, 0});
    putBytes(b, {static_cast<uint8_t>(mac[0] ^ 0x02), mac[1], mac[2], 0xff, 0xfe, mac[3], mac[4],
                 mac[5]});
}

void putMulticast(Bytes& b, uint8_t group) {
    putBytes(b, {0xff, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, group});
}

void putDnsServer6(Bytes& b) {
    putBytes(b, {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x53});
}

void putDnsName(Bytes& b, std::string_view name);

void putIcmpV6Body(Bytes& b, Rng& rng, const std::array<uint8_t, 6>& mac, uint8_t kind) {
    if (kind == 0) {  // router solicitation with the source link-layer address
        putBytes(b, {133, 0, 0, 0, 0, 0, 0, 0, 1, 1});
        putMac(b, mac);
        return;
    }
    if (kind == 1) {  // neighbour solicitation for a neighbour's address
        putBytes(b, {135, 0, 0, 0, 0, 0, 0, 0});
        putLinkLocal(b, macOf(rng.next()));
        putBytes(b, {1, 1});
        putMac(b, mac);
        return;
    }
    putBytes(b, {128, 0, 0, 0});  // echo request
    putBe16(b, 0x1f00);
    putBe16(b, static_cast<uint16_t>(rng.below(200)));
    for (uint8_t i = 0; i < 56; ++i) {
        b.push_back(static_cast<uint8_t>(0x10 + i));
    }
}

}  // namespace

void putIpv6Packet(Bytes& b, Rng& rng, const std::array<uint8_t, 6>& host) {
    const size_t at = b.size();
    const uint8_t kind = static_cast<uint8_t>(rng.below(4));
    const bool udp = kind == 3;
    putBytes(b, {0x60, 0, 0, 0, 0, 0, udp ? kUdp : kIcmpV6, 255});
    putLinkLocal(b, host);
    if (udp) {
        putDnsServer6(b);
        putBe16(b, static_cast<uint16_t>(rng.between(49152, 65535)));
        putBytes(b, {0x00, 0x35, 0, 0, 0, 0});
        putBe16(b, static_cast<uint16_t>(rng.next()));
        putBytes(b, {0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0});
        putDnsName(b, pickHostName(rng));
        putBytes(b, {0x00, 28, 0x00, 0x01});
    } else {
        putMulticast(b, kind == 2 ? 1 : 2);
        putIcmpV6Body(b, rng, host, kind);
    }
    storeBe16(&b[at + 4], static_cast<uint16_t>(b.size() - at - 40));
    finishTransport(b, at + 40, b[at + 6], addWords(0, &b[at + 8], 32));
}

// ---- Conversations

namespace {

constexpr uint8_t kFin = 0x01, kSyn = 0x02, kPsh = 0x08, kAck = 0x10;

struct Ends {
    uint32_t clientIp = 0, serverIp = 0;
    uint16_t clientPort = 0, serverPort = 0;
    bool clientNear = true;
};

// Builds one conversation's packets in order into its queue.
class Conversation {
public:
    Conversation(Rng& rng, std::deque<IpPacket>& queue, const Ends& ends, uint16_t mtu)
        : rng_(rng), queue_(queue), ends_(ends), mss_(static_cast<uint16_t>(mtu - 40)),
          clientSeq_(rng.next()), serverSeq_(rng.next()),
          clientId_(static_cast<uint16_t>(rng.next())), serverId_(static_cast<uint16_t>(rng.next())),
          clientTtl_(ttlOf(ends.clientNear)), serverTtl_(ttlOf(!ends.clientNear)) {}

    Rng& rng() { return rng_; }
    uint16_t mss() const { return mss_; }
    Ends& ends() { return ends_; }

    Bytes& udp(bool fromClient) {
        begin(fromClient, kUdp);
        putBe16(packet_, fromClient ? ends_.clientPort : ends_.serverPort);
        putBe16(packet_, fromClient ? ends_.serverPort : ends_.clientPort);
        putBytes(packet_, {0, 0, 0, 0});
        return packet_;
    }

    Bytes& icmpEcho(bool fromClient, uint16_t id, uint16_t sequence) {
        begin(fromClient, kIcmp);
        putBytes(packet_, {static_cast<uint8_t>(fromClient ? 8 : 0), 0, 0, 0});
        putBe16(packet_, id);
        putBe16(packet_, sequence);
        return packet_;
    }

    Bytes& tcp(bool fromClient, uint8_t flags) {
        begin(fromClient, kTcp);
        tcpFlags_ = flags;
        putBe16(packet_, fromClient ? ends_.clientPort : ends_.serverPort);
        putBe16(packet_, fromClient ? ends_.serverPort : ends_.clientPort);
        putBe32(packet_, fromClient ? clientSeq_ : serverSeq_);
        putBe32(packet_, (flags & kAck) != 0 ? (fromClient ? serverSeq_ : clientSeq_) : 0);
        const bool syn = (flags & kSyn) != 0;
        putBytes(packet_, {static_cast<uint8_t>(syn ? 0x80 : 0x50), flags});
        putBe16(packet_, fromClient ? 64240 : 29200);
        putBytes(packet_, {0, 0, 0, 0});
        if (syn) {  // MSS, window scale, SACK permitted
            putBytes(packet_, {0x02, 0x04});
            putBe16(packet_, mss_);
            putBytes(packet_, {0x01, 0x03, 0x03, 0x07, 0x01, 0x01, 0x04, 0x02});
        }
        payloadAt_ = packet_.size();
        return packet_;
    }

    void send() {
        finishIpv4(packet_, 0);
        if (packet_[9] == kTcp) {
            const uint32_t length = static_cast<uint32_t>(packet_.size() - payloadAt_) +
                                    ((tcpFlags_ & (kSyn | kFin)) != 0 ? 1 : 0);
            (fromClient_ ? clientSeq_ : serverSeq_) += length;
        }
        const bool out = fromClient_ == ends_.clientNear;
        queue_.push_back({std::move(packet_), out, ends_.clientNear ? ends_.serverIp : ends_.clientIp});
        packet_ = Bytes();
    }

private:
    uint8_t ttlOf(bool near) { return near ? 64 : static_cast<uint8_t>(rng_.between(44, 120)); }

    void begin(bool fromClient, uint8_t protocol) {
        fromClient_ = fromClient;
        packet_.clear();
        packet_.reserve(mss_ + 40);
        uint16_t& id = fromClient ? clientId_ : serverId_;
        putIpv4Header(packet_, {fromClient ? ends_.clientIp : ends_.serverIp,
                                fromClient ? ends_.serverIp : ends_.clientIp, id++,
                                fromClient ? clientTtl_ : serverTtl_, protocol});
    }

    Rng& rng_;
    std::deque<IpPacket>& queue_;
    Ends ends_;
    uint16_t mss_;
    uint32_t clientSeq_, serverSeq_;
    uint16_t clientId_, serverId_;
    uint8_t clientTtl_, serverTtl_;
    Bytes packet_;
    bool fromClient_ = true;
    uint8_t tcpFlags_ = 0;
    size_t payloadAt_ = 0;
};

void handshake(Conversation& c) {
    c.tcp(true, kSyn);
    c.send();
    c.tcp(false, kSyn | kAck);
    c.send();
    c.tcp(true, kAck);
    c.send();
}

void teardown(Conversation& c) {
    const bool clientCloses = c.rng().percent(70);
    c.tcp(clientCloses, kFin | kAck);
    c.send();
    c.tcp(!clientCloses, kFin | kAck);
    c.send();
    c.tcp(clientCloses, kAck);
    c.send();
}

// The server sends `size` bytes in full segments, the client acknowledging
// every second one; fill(b, offset, n) appends the n bytes from offset.
template <class Fill>
void serverStream(Conversation& c, size_t size, Fill fill) {
    size_t segments = 0;
    for (size_t offset = 0; offset < size; ++segments) {
        const size_t n = std::min<size_t>(c.mss(), size - offset);
        const bool last = offset + n == size;
        Bytes& b = c.tcp(false, static_cast<uint8_t>(kAck | (last ? kPsh : 0)));
        fill(b, offset, n);
        c.send();
        offset += n;
        if (segments % 2 == 1 || last) {
            c.tcp(true, kAck);
            c.send();
        }
    }
}

constexpr uint32_t kResponseSizes[] = {180, 420, 900, 1400, 2600, 5200, 9000, 16000, 42000};

size_t pickResponseSize(Rng& rng) {
    const uint32_t base = rng.pick(std::span<const uint32_t>(kResponseSizes));
    return base + rng.below(base / 2);
}

void putHttpRequest(Bytes& b, Rng& rng, std::string_view host) {
    putText(b, rng.percent(85) ? "GET " : "POST ");
    putPath(b, rng);
    putText(b, " HTTP/1.1\r\nHost: ");
    putText(b, host);
    putText(b, "\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64; rv:109.0) Gecko/20100101 "
               "Firefox/115.0\r\nAccept: text/html,application/xhtml+xml,application/xml;"
               "q=0.9,*/*;q=0.8\r\nAccept-Language: en-US,en;q=0.5\r\nAccept-Encoding: "
               "identity\r\nConnection: keep-alive\r\nCookie: session=");
    putDigits(b, rng, 16);
    putText(b, "\r\n\r\n");
}

void putHttpResponse(Bytes& b, Rng& rng, size_t n, size_t bodyLength) {
    const size_t end = b.size() + n;
    putText(b, "HTTP/1.1 200 OK\r\nDate: Wed, 09 Dec 2009 11:00:");
    putDigits(b, rng, 2);
    putText(b, " GMT\r\nServer: Apache/2.2.14 (Unix)\r\nCache-Control: max-age=600\r\n"
               "Content-Type: text/html; charset=utf-8\r\nContent-Length: ");
    putText(b, std::to_string(bodyLength));
    putText(b, "\r\n\r\n<!DOCTYPE html>\n<html>\n<head><title>");
    putProse(b, rng, 24);
    putText(b, "</title></head>\n<body>\n");
    if (b.size() < end) {
        putHtml(b, rng, end - b.size());
    }
    b.resize(end);
}

void web(Conversation& c) {
    Rng& rng = c.rng();
    const std::string_view host = pickHostName(rng);
    handshake(c);
    for (uint32_t requests = rng.between(1, 3); requests > 0; --requests) {
        putHttpRequest(c.tcp(true, kPsh | kAck), rng, host);
        c.send();
        const size_t size = pickResponseSize(rng);
        serverStream(c, size, [&](Bytes& b, size_t offset, size_t n) {
            if (offset == 0) {
                putHttpResponse(b, rng, n, size - std::min<size_t>(size, 260));
            } else {
                putHtml(b, rng, n);
            }
        });
    }
    teardown(c);
}

// A TLS record header, then n - 5 bytes of what looks encrypted (n bytes in
// all; a tail too short for a header is left without one).
void putTlsRecord(Bytes& b, Rng& rng, uint8_t type, size_t n) {
    if (n < 6) {
        putRandom(b, rng, n);
        return;
    }
    putBytes(b, {type, 0x03, 0x03});
    putBe16(b, static_cast<uint16_t>(n - 5));
    putRandom(b, rng, n - 5);
}

// A ClientHello of 517 bytes, as browsers send it: random, session id,
// cipher suites, the server name, padding.
void putClientHello(Bytes& b, Rng& rng, std::string_view host) {
    const size_t start = b.size();
    putBytes(b, {0x16, 0x03, 0x01, 0x02, 0x00, 0x01, 0x00, 0x01, 0xfc, 0x03, 0x03});
    putRandom(b, rng, 32);
    b.push_back(32);
    putRandom(b, rng, 32);
    putBytes(b, {0x00, 0x20, 0x13, 0x01, 0x13, 0x03, 0x13, 0x02, 0xc0, 0x2b, 0xc0, 0x2f, 0xcc,
                 0xa9, 0xcc, 0xa8, 0xc0, 0x2c, 0xc0, 0x30, 0xc0, 0x0a, 0xc0, 0x09, 0xc0, 0x13,
                 0xc0, 0x14, 0x00, 0x9c, 0x00, 0x9d, 0x00, 0x2f, 0x01, 0x00});
    const size_t extensions = b.size();
    putBytes(b, {0x00, 0x00, 0x00, 0x00});  // extensions length; server name extension
    putBe16(b, static_cast<uint16_t>(host.size() + 5));
    putBe16(b, static_cast<uint16_t>(host.size() + 3));
    b.push_back(0x00);
    putBe16(b, static_cast<uint16_t>(host.size()));
    putText(b, host);
    putBytes(b, {0x00, 0x15});
    const size_t padding = 517 - std::min<size_t>(517, b.size() - start + 2);
    putBe16(b, static_cast<uint16_t>(padding));
    b.resize(b.size() + padding, 0);
    storeBe16(&b[extensions], static_cast<uint16_t>(b.size() - extensions - 2));
}

// ServerHello (TLS 1.3, X25519 key share), ChangeCipherSpec, then what
// follows encrypted as application data: n bytes in all.
void putServerHello(Bytes& b, Rng& rng, size_t n) {
    const size_t end = b.size() + n;
    putBytes(b, {0x16, 0x03, 0x03, 0x00, 0x7a, 0x02, 0x00, 0x00, 0x76, 0x03, 0x03});
    putRandom(b, rng, 32);
    b.push_back(32);
    putRandom(b, rng, 32);
    putBytes(b, {0x13, 0x01, 0x00, 0x00, 0x2e, 0x00, 0x2b, 0x00, 0x02, 0x03, 0x04, 0x00, 0x33,
                 0x00, 0x24, 0x00, 0x1d, 0x00, 0x20});
    putRandom(b, rng, 32);
    putBytes(b, {0x14, 0x03, 0x03, 0x00, 0x01, 0x01});
    putTlsRecord(b, rng, 0x17, end - b.size());
}

void tls(Conversation& c) {
    Rng& rng = c.rng();
    handshake(c);
    putClientHello(c.tcp(true, kPsh | kAck), rng, pickHostName(rng));
    c.send();
    // One record per segment, as many servers send them.
    serverStream(c, rng.between(2400, 4600), [&](Bytes& b, size_t offset, size_t n) {
        offset == 0 ? putServerHello(b, rng, n) : putTlsRecord(b, rng, 0x17, n);
    });
    for (uint32_t exchanges = rng.between(1, 3); exchanges > 0; --exchanges) {
        putTlsRecord(c.tcp(true, kPsh | kAck), rng, 0x17, rng.between(90, 700));
        c.send();
        serverStream(c, pickResponseSize(rng), [&](Bytes& b, size_t, size_t n) {
            putTlsRecord(b, rng, 0x17, n);
        });
    }
    teardown(c);
}

void putDnsName(Bytes& b, std::string_view name) {
    while (!name.empty()) {
        const size_t dot = std::min(name.find('.'), name.size());
        b.push_back(static_cast<uint8_t>(dot));
        putText(b, name.substr(0, dot));
        name.remove_prefix(std::min(dot + 1, name.size()));
    }
    b.push_back(0);
}

void putDnsAnswer(Bytes& b, Rng& rng, uint16_t type) {
    putBytes(b, {0xc0, 0x0c});
    putBe16(b, type);
    putBytes(b, {0x00, 0x01});
    putBe32(b, rng.between(60, 86400));
    putBe16(b, type == 28 ? 16 : 4);
    if (type == 28) {
        putBytes(b, {0x20, 0x01, 0x0d, 0xb8, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0});
        putBe16(b, static_cast<uint16_t>(rng.next()));
    } else {
        putBytes(b, {93, 184, static_cast<uint8_t>(rng.below(256)), static_cast<uint8_t>(rng.below(256))});
    }
}

void dns(Conversation& c) {
    Rng& rng = c.rng();
    for (uint32_t queries = rng.between(1, 2); queries > 0; --queries) {
        const uint16_t id = static_cast<uint16_t>(rng.next());
        const uint16_t type = rng.percent(70) ? 1 : 28;
        const std::string_view name = pickHostName(rng);
        for (const bool fromClient : {true, false}) {
            Bytes& b = c.udp(fromClient);
            const uint16_t answers = fromClient ? 0 : static_cast<uint16_t>(rng.between(1, 4));
            putBe16(b, id);
            putBe16(b, fromClient ? 0x0100 : 0x8180);
            putBytes(b, {0, 1, 0, 0, 0, 0, 0, 0});
            storeBe16(&b[b.size() - 6], answers);
            putDnsName(b, name);
            putBe16(b, type);
            putBytes(b, {0x00, 0x01});
            for (uint16_t i = 0; i < answers; ++i) {
                putDnsAnswer(b, rng, type);
            }
            c.send();
        }
    }
}

void putNtp(Bytes& b, Rng& rng, bool request) {
    putBytes(b, {static_cast<uint8_t>(request ? 0x23 : 0x24), static_cast<uint8_t>(request ? 0 : 2),
                 0x06, static_cast<uint8_t>(request ? 0x20 : 0xe9)});
    putBe32(b, request ? 0 : rng.below(4096));
    putBe32(b, request ? 0 : 0x0a5e + rng.below(64));
    putBe32(b, request ? 0 : ipv4(192, 0, 2, 123));
    const uint32_t seconds = 0xceca01b9 + rng.below(3600);
    for (int stamp = 0; stamp < 4; ++stamp) {
        const bool used = !request || stamp == 3;
        putBe32(b, used ? seconds : 0);
        putBe32(b, used ? rng.next() & 0xFFFF0000u : 0);
    }
}

void ntp(Conversation& c) {
    putNtp(c.udp(true), c.rng(), true);
    c.send();
    putNtp(c.udp(false), c.rng(), false);
    c.send();
}

void syslog(Conversation& c) {
    Rng& rng = c.rng();
    static constexpr std::string_view kTags[] = {"pppd", "dhcpd", "kernel", "sshd", "ornd", "ntpd"};
    for (uint32_t messages = rng.between(1, 4); messages > 0; --messages) {
        Bytes& b = c.udp(true);
        putText(b, "<13");
        putDigits(b, rng, 1);
        putText(b, ">Dec  9 12:");
        putDigits(b, rng, 2);
        putText(b, ":");
        putDigits(b, rng, 2);
        putText(b, " orn ");
        putText(b, rng.pick(std::span<const std::string_view>(kTags)));
        putText(b, "[");
        putDigits(b, rng, 4);
        putText(b, "]: port ");
        putDigits(b, rng, 2);
        putText(b, " ");
        putProse(b, rng, rng.between(20, 180));
        c.send();
    }
}

// BER: the tag, the length of what follows from `at`, in its short or long form.
void wrapBer(Bytes& b, size_t at, uint8_t tag) {
    const size_t length = b.size() - at;
    Bytes head{tag};
    if (length < 0x80) {
        head.push_back(static_cast<uint8_t>(length));
    } else {
        putBytes(head, {0x82});
        putBe16(head, static_cast<uint16_t>(length));
    }
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), head.begin(), head.end());
}

// An SNMPv2c message: one variable binding per interface, the value its
// description (a response) or NULL (a request).
void putSnmp(Bytes& b, Rng& rng, uint32_t requestId, uint32_t bindings, bool response) {
    const size_t message = b.size();
    putBytes(b, {0x02, 0x01, 0x01, 0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c'});
    const size_t pdu = b.size();
    putBytes(b, {0x02, 0x04});
    putBe32(b, requestId);
    putBytes(b, {0x02, 0x01, 0x00, 0x02, 0x01, 0x00});
    const size_t list = b.size();
    for (uint32_t i = 1; i <= bindings; ++i) {
        const size_t binding = b.size();
        putBytes(b, {0x06, 0x0a, 0x2b, 0x06, 0x01, 0x02, 0x01, 0x02, 0x02, 0x01, 0x02,
                     static_cast<uint8_t>(i)});
        if (response) {
            const size_t value = b.size();
            putText(b, "ORN port ");
            putDigits(b, rng, 2);
            putText(b, " ");
            putProse(b, rng, rng.between(8, 40));
            wrapBer(b, value, 0x04);
        } else {
            putBytes(b, {0x05, 0x00});
        }
        wrapBer(b, binding, 0x30);
    }
    wrapBer(b, list, 0x30);
    wrapBer(b, pdu, response ? 0xa2 : 0xa1);
    wrapBer(b, message, 0x30);
}

void snmp(Conversation& c) {
    Rng& rng = c.rng();
    for (uint32_t polls = rng.between(1, 3); polls > 0; --polls) {
        const uint32_t id = rng.next() & 0x7FFFFFFF;
        const uint32_t bindings = rng.between(1, 24);
        putSnmp(c.udp(true), rng, id, bindings, false);
        c.send();
        putSnmp(c.udp(false), rng, id, bindings, true);
        c.send();
    }
}

// A device configuration, as a TFTP backup carries it.
void putConfigText(Bytes& b, Rng& rng, size_t n) {
    const size_t end = b.size() + n;
    while (b.size() < end) {
        putText(b, "interface ethernet0/");
        putDigits(b, rng, 1);
        putText(b, "\n description ");
        putProse(b, rng, rng.between(8, 30));
        putText(b, "\n ip address 10.");
        putDigits(b, rng, 2);
        putText(b, ".");
        putDigits(b, rng, 1);
        putText(b, ".1 255.255.255.0\n no shutdown\n!\n");
    }
    b.resize(end);
}

void tftp(Conversation& c) {
    Rng& rng = c.rng();
    Bytes& request = c.udp(true);
    putBytes(request, {0x00, 0x01});
    putText(request, "orn-");
    putDigits(request, rng, 4);
    putText(request, ".cfg");
    putBytes(request, {0x00, 'o', 'c', 't', 'e', 't', 0x00});
    c.send();
    c.ends().serverPort = static_cast<uint16_t>(rng.between(49152, 65535));
    const uint32_t blocks = rng.between(1, 12);
    for (uint16_t block = 1; block <= blocks; ++block) {
        Bytes& data = c.udp(false);
        putBytes(data, {0x00, 0x03});
        putBe16(data, block);
        putConfigText(data, rng, block == blocks ? rng.between(10, 511) : 512);
        c.send();
        Bytes& ack = c.udp(true);
        putBytes(ack, {0x00, 0x04});
        putBe16(ack, block);
        c.send();
    }
}

void ping(Conversation& c) {
    Rng& rng = c.rng();
    const uint16_t id = static_cast<uint16_t>(rng.next());
    const bool windows = rng.percent(40);
    const uint16_t first = static_cast<uint16_t>(rng.below(100));
    for (uint16_t n = 0, count = static_cast<uint16_t>(rng.between(1, 5)); n < count; ++n) {
        for (const bool fromClient : {true, false}) {
            Bytes& b = c.icmpEcho(fromClient, id, static_cast<uint16_t>(first + n));
            if (windows) {
                putText(b, "abcdefghijklmnopqrstuvwabcdefghi");
            } else {
                putBe32(b, 0x4b1f3a00 + first + n);
                putBe32(b, 0x000a1e4c);
                for (uint8_t i = 0; i < 48; ++i) {
                    b.push_back(static_cast<uint8_t>(0x10 + i));
                }
            }
            c.send();
        }
    }
}

struct AppProfile {
    App app;
    uint16_t serverPort;
    uint16_t clientPort;  // 0: an ephemeral port
    void (*build)(Conversation& c);
};
constexpr AppProfile kApps[] = {
    {App::Web, 80, 0, web},        {App::Tls, 443, 0, tls},       {App::Dns, 53, 0, dns},
    {App::Ntp, 123, 123, ntp},     {App::Syslog, 514, 514, syslog}, {App::Snmp, 161, 0, snmp},
    {App::Tftp, 69, 0, tftp},      {App::Ping, 0, 0, ping},
};

}  // namespace

IpTraffic::IpTraffic(Rng& rng, IpTrafficSpec recipe) : rng_(&rng), spec_(std::move(recipe)) {}

IpPacket IpTraffic::next() {
    std::deque<IpPacket>& queue = conversations_[rng_->below(conversations_.size())];
    if (queue.empty()) {
        startConversation(queue);
    }
    IpPacket packet = std::move(queue.front());
    queue.pop_front();
    return packet;
}

void IpTraffic::startConversation(std::deque<IpPacket>& queue) {
    Rng& rng = *rng_;
    const App app = rng.pick(spec_.apps);
    const AppProfile& profile = *std::find_if(std::begin(kApps), std::end(kApps),
                                              [&](const AppProfile& p) { return p.app == app; });
    Ends ends;
    ends.clientNear = rng.percent(spec_.nearClientPercent);
    const std::span<const uint32_t> nearHosts(spec_.nearHosts), farHosts(spec_.farHosts);
    ends.clientIp = rng.pick(ends.clientNear ? nearHosts : farHosts);
    ends.serverIp = rng.pick(ends.clientNear ? farHosts : nearHosts);
    ends.serverPort = profile.serverPort;
    ends.clientPort = profile.clientPort != 0 ? profile.clientPort
                                              : static_cast<uint16_t>(rng.between(49152, 65535));
    Conversation conversation(rng, queue, ends, spec_.mtu);
    profile.build(conversation);
}

}  // namespace ornpcap::tracebuild::traffic
