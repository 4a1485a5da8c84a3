// The frame-format recogniser on the bundled sample, on realistic traffic of
// every format over many ports, and on frames that fit no format well.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "tests/support/temp_dir.hpp"
#include "tests/support/trace_records.hpp"
#include "tracebuild/traffic.hpp"
#include "frames/format_recogniser.hpp"

namespace ornpcap::test {
namespace {

using tracebuild::Record;
using tracebuild::TrafficFormat;
using tracebuild::TrafficSpec;

std::map<uint16_t, FormatGuess> guessPerPort(const std::vector<Record>& records) {
    std::map<uint16_t, FormatRecogniser> recognisers;
    for (const Record& r : records) {
        recognisers[r.header.port].add(r.header, r.payload.empty() ? nullptr : r.payload.data());
    }
    std::map<uint16_t, FormatGuess> guesses;
    for (const auto& [port, recogniser] : recognisers) {
        guesses[port] = recogniser.best();
    }
    return guesses;
}

TEST(FramesRecogniser, NamesTheFormatOfEveryPortOfTheSample) {
    TempDir dir;
    dir.write("Trace.orn", tracebuild::readFile(std::string(ORNPCAP_SOURCE_DIR) + "/examples/Trace.orn"));
    const std::map<uint16_t, FormatGuess> guesses = guessPerPort(readTraceRecords(dir / "Trace.orn"));
    const std::map<uint16_t, int32_t> expected = {{30, 1}, {20, 2}, {21, 3}, {40, 4}, {3, 5}, {50, 6}};
    ASSERT_EQ(guesses.size(), expected.size());
    for (const auto& [port, format] : expected) {
        EXPECT_EQ(guesses.at(port).format, format) << "port " << port;
        std::printf("sample port %u: format %d, confidence %.3f\n", port, guesses.at(port).format,
                    guesses.at(port).confidence);
    }
}

FormatGuess recognise(const TrafficSpec& recipe) {
    FormatRecogniser recogniser;
    tracebuild::generateTraffic(recipe, [&](const EventRecord& r, std::span<const uint8_t> p) {
        recogniser.add(r, p.data());
    });
    return recogniser.best();
}

struct FormatName {
    TrafficFormat traffic;
    const char* name;
};
constexpr FormatName kFormats[] = {
    {TrafficFormat::Ethernet, "ethernet"}, {TrafficFormat::PppSync, "ppp-sync"},
    {TrafficFormat::PppAsync, "ppp-async"}, {TrafficFormat::RawIp, "raw-ip"},
    {TrafficFormat::I4b, "i4b"},           {TrafficFormat::InternalUdp, "internal-udp"},
};

// 100 ports of each format, each with its own seed, 1 to 200 records and 1 to
// 3 links. The format must be named for 95% of them, and no port may be
// named as another format with a confidence that would make OrnPcap warn.
TEST(FramesRecogniser, RecognisesRealisticTrafficOfEachFormat) {
    constexpr uint32_t kPorts = 100;
    for (const FormatName& f : kFormats) {
        const int32_t format = static_cast<int32_t>(f.traffic);
        uint32_t right = 0, unknown = 0, confidentlyWrong = 0;
        for (uint32_t n = 0; n < kPorts; ++n) {
            TrafficSpec recipe{f.traffic, static_cast<uint16_t>(n), static_cast<uint16_t>(n % 3),
                             static_cast<uint16_t>(1 + n % 3), 1 + (n * 37) % 200, 1000 + n * 7919};
            const FormatGuess guess = recognise(recipe);
            right += guess.format == format;
            unknown += guess.format == 0;
            confidentlyWrong += guess.format != 0 && guess.format != format && guess.confidence >= 0.8;
        }
        const double rate = 100.0 * right / kPorts;
        std::printf("recognised %-12s %5.1f%% of %u ports (%u unknown)\n", f.name, rate, kPorts, unknown);
        ::testing::Test::RecordProperty(std::string("rate_") + f.name, std::to_string(rate));
        EXPECT_GE(rate, 95.0) << f.name;
        EXPECT_EQ(confidentlyWrong, 0u) << f.name;
    }
}

// Feeds the frames as one port's records on the LSN (the protocol code of
// ETHERNET), sent and received in turn.
FormatGuess recogniseFrames(const std::vector<Bytes>& frames, uint16_t lsn = 0) {
    FormatRecogniser recogniser;
    EventRecord r;
    for (const Bytes& frame : frames) {
        r.lsn = lsn;
        r.eventType = r.eventType == kEventFrameSent ? kEventFrameReceived : kEventFrameSent;
        r.dataLength = r.origLength = static_cast<uint16_t>(frame.size());
        recogniser.add(r, frame.data());
    }
    return recogniser.best();
}

std::vector<Bytes> trafficFrames(TrafficFormat format, unsigned long count, uint32_t seed) {
    std::vector<Bytes> frames;
    TrafficSpec recipe{format, 1, 0, 1, count, seed};
    tracebuild::generateTraffic(recipe, [&](const EventRecord&, std::span<const uint8_t> p) {
        frames.emplace_back(p.begin(), p.end());
    });
    return frames;
}

TEST(FramesRecogniser, FramesThatFitNoFormatWellStayUnknown) {
    uint32_t state = 99;
    std::vector<Bytes> random;
    for (size_t n = 0; n < 200; ++n) {
        Bytes b(3 + (n * 131) % 1500);
        for (uint8_t& byte : b) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<uint8_t>(state >> 24);
        }
        random.push_back(std::move(b));
    }
    for (uint16_t lsn = 0; lsn <= 7; ++lsn) {
        EXPECT_EQ(recogniseFrames(random, lsn).format, 0) << "random bytes, lsn " << lsn;
    }
    // Raw IPv6 packets (Raw-IP knows IPv4 only).
    std::vector<Bytes> ipv6;
    for (Bytes& frame : trafficFrames(TrafficFormat::Ethernet, 3000, 4)) {
        if (frame.size() > 54 && frame[12] == 0x86 && frame[13] == 0xdd) {
            ipv6.emplace_back(frame.begin() + 14, frame.end());
        }
    }
    ASSERT_GT(ipv6.size(), 20u);
    EXPECT_EQ(recogniseFrames(ipv6).format, 0) << "IPv6";
    // Ethernet frames under a protocol code that no converter takes: not
    // ETHERNET (their IPv4 packets still make Raw-IP).
    EXPECT_NE(recogniseFrames(trafficFrames(TrafficFormat::Ethernet, 200, 5), 3).format, 1);
    // Half the port PPP-Sync, half LAPD: contradictory.
    std::vector<Bytes> mixed = trafficFrames(TrafficFormat::PppSync, 100, 6);
    for (Bytes& frame : trafficFrames(TrafficFormat::I4b, 100, 6)) {
        mixed.push_back(std::move(frame));
    }
    EXPECT_EQ(recogniseFrames(mixed).format, 0) << "PPP-Sync and LAPD";
    // PPP-Async frames that all arrived damaged: the framing alone is too little.
    std::vector<Bytes> damaged;
    for (Bytes& frame : trafficFrames(TrafficFormat::PppAsync, 100, 7)) {
        frame[frame.size() / 2] ^= 0x01;
        damaged.push_back(std::move(frame));
    }
    const FormatGuess guess = recogniseFrames(damaged);
    EXPECT_TRUE(guess.format == 0 || guess.confidence < 0.8) << guess.format << " " << guess.confidence;
}

// Frames that fit a format and Raw-IP too are that format; the IPv4 packets
// on their own are Raw-IP.
TEST(FramesRecogniser, TheMostSpecificGoodFitWins) {
    const auto framesOf = [](TrafficFormat format, auto keep) {
        std::vector<Bytes> frames;
        TrafficSpec recipe{format, 1, 0, 1, 600, 9};
        tracebuild::generateTraffic(recipe, [&](const EventRecord& r, std::span<const uint8_t> p) {
            if (keep(r, p)) frames.emplace_back(p.begin(), p.end());
        });
        return frames;
    };
    const std::vector<Bytes> ppp = framesOf(TrafficFormat::PppSync, [](auto&, auto p) {
        return p[2] == 0x00 && p[3] == 0x21;  // IPv4 only: FF 03 00 21 45 ...
    });
    const std::vector<Bytes> ethernet = framesOf(TrafficFormat::Ethernet, [](auto& r, auto p) {
        return r.lsn == 1 && p.size() > 60;  // IPv4, unpadded
    });
    const std::vector<Bytes> internal = framesOf(TrafficFormat::InternalUdp, [](auto&, auto) { return true; });
    ASSERT_GT(ppp.size(), 100u);
    ASSERT_GT(ethernet.size(), 100u);
    EXPECT_EQ(recogniseFrames(ppp).format, 2);
    EXPECT_EQ(recogniseFrames(ethernet, 1).format, 1);
    EXPECT_EQ(recogniseFrames(internal).format, 6);
    for (const auto& [frames, offset] : {std::pair{&ppp, 4}, {&ethernet, 12}, {&internal, 26}}) {
        std::vector<Bytes> packets;
        for (const Bytes& frame : *frames) {
            packets.emplace_back(frame.begin() + offset, frame.end());
        }
        EXPECT_EQ(recogniseFrames(packets, 1).format, 4) << "after " << offset << " bytes";
    }
    // Behind 40 bytes of a header it does not know, IPv4 is no Raw-IP link.
    std::vector<Bytes> behind;
    for (const Bytes& frame : internal) {
        behind.push_back(Bytes(40, 0x11));
        behind.back().insert(behind.back().end(), frame.begin() + 26, frame.end());
    }
    EXPECT_EQ(recogniseFrames(behind).format, 0);
}

// The numbers OrnPcap and orninfo go by: few frames say little, frames that
// fit nothing or another format lower the confidence.
TEST(FramesRecogniser, ConfidenceWeighsShareAgainstRivalAndEvidence) {
    const Bytes lcp = {0xff, 0x03, 0xc0, 0x21, 0x01, 0x01, 0x00, 0x0e, 0x01,
                       0x04, 0x05, 0xdc, 0x05, 0x06, 0x3c, 0x1d, 0x9e, 0x01};
    const Bytes rr = {0x02, 0x81, 0x01, 0x02};       // LAPD
    const Bytes noise = {0x13, 0x37, 0x00, 0x00, 0x5a};  // fits nothing
    const auto times = [](std::vector<Bytes> frames, const Bytes& frame, size_t n) {
        frames.insert(frames.end(), n, frame);
        return frames;
    };
    const struct {
        std::vector<Bytes> frames;
        int32_t format;
        double confidence;
    } cases[] = {
        {times({}, lcp, 1), 2, 0.5},
        {times({}, lcp, 3), 2, 0.875},
        {times({}, lcp, 10), 2, 1 - 1.0 / 1024},
        {times(times({}, lcp, 9), noise, 1), 2, 0.9 * (1 - 1.0 / 512)},
        {times(times({}, lcp, 8), rr, 2), 2, 0.6 * (1 - 1.0 / 256)},
        {times(times({}, lcp, 6), rr, 4), 0, 0},
    };
    for (const auto& c : cases) {
        const FormatGuess guess = recogniseFrames(c.frames);
        EXPECT_EQ(guess.format, c.format) << c.frames.size() << " frames";
        EXPECT_NEAR(guess.confidence, c.confidence, 1e-9) << c.frames.size() << " frames";
    }
}

TEST(FramesRecogniser, JudgesOnlyWhatTheConvertersConvertAndStopsInTime) {
    const std::vector<Bytes> frames = trafficFrames(TrafficFormat::PppSync, 1000, 8);
    FormatRecogniser skipped;
    EventRecord r;
    r.dataLength = static_cast<uint16_t>(frames[0].size());
    constexpr std::pair<int, int> kSkipped[] = {{20, 1}, {21, 9}, {22, 0}, {0, 0}};  // type, status
    for (const auto& [type, status] : kSkipped) {
        r.eventType = static_cast<uint8_t>(type);
        r.eventStatus = static_cast<uint8_t>(status);
        skipped.add(r, frames[0].data());
    }
    r.eventType = kEventFrameSent;
    r.eventStatus = 0;
    r.dataLength = 0;
    skipped.add(r, nullptr);
    EXPECT_EQ(skipped.examined(), 0u);
    EXPECT_EQ(skipped.best().format, 0);

    FormatRecogniser many;
    for (const Bytes& frame : frames) {
        r.dataLength = r.origLength = static_cast<uint16_t>(frame.size());
        many.add(r, frame.data());
    }
    EXPECT_EQ(many.examined(), kEnoughRecords);
    EXPECT_EQ(many.best().format, 2);
    EXPECT_GT(many.best().confidence, 0.9);
}

}  // namespace
}  // namespace ornpcap::test
