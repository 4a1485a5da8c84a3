// FCS-16, and the recognition of trace headers and trailers on real bytes.

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/temp_dir.hpp"
#include "trace/fcs16.hpp"
#include "trace/trace_file.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap::test {
namespace {

using tracebuild::HeaderSpec;
using tracebuild::TraceSpec;

TEST(TraceFcs16, PublishedCheckValue) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    Fcs16 fcs;
    fcs.reset().update(digits, sizeof digits);
    EXPECT_EQ(fcs.value(), 0x6F91);
    EXPECT_EQ(fcs.result(), 0x906E);
    const uint8_t lsbFirst[] = {0x6E, 0x90};
    EXPECT_TRUE(Fcs16(fcs).update(lsbFirst, 2).isGood());
    const uint8_t msbFirst[] = {0x90, 0x6E};
    EXPECT_FALSE(Fcs16(fcs).update(msbFirst, 2).isGood());
}

TEST(TraceFcs16, AnySplitGivesTheSameValue) {
    // Eight bytes at a time or one: the running value must not depend on it.
    Bytes data(61);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    const uint16_t whole = Fcs16().reset().update(data.data(), 61).value();
    for (uint32_t cut = 0; cut <= 61; ++cut) {
        Fcs16 split;
        split.reset().update(data.data(), cut).update(data.data() + cut, 61 - cut);
        uint16_t byByte = 0xFFFF;
        for (uint8_t b : data) {
            byByte = static_cast<uint16_t>((byByte >> 8) ^ fcs16_detail::kTable[(byByte ^ b) & 0xFF]);
        }
        EXPECT_EQ(split.value(), whole) << cut;
        EXPECT_EQ(byByte, whole);
    }
}

TEST(TraceFcs16, EmptyUpdate) {
    Fcs16 fcs;
    fcs.reset().update(nullptr, 0);
    EXPECT_EQ(fcs.value(), 0xFFFF);
    EXPECT_FALSE(fcs.isGood());
    EXPECT_EQ(fcs.result(), 0x0000);
}

struct Validation {
    ResultCode code;
    TraceHeader header;
    TraceTrailer trailer;
    long position = -1;
};

Validation validate(const Bytes& trace, uint16_t major, uint16_t minor = 0) {
    TempDir dir;
    dir.write("t.orn", trace);
    Validation v;
    std::FILE* f = std::fopen((dir / "t.orn").c_str(), "rb");
    v.code = validateTrace(f, major, minor, v.header, v.trailer);
    v.position = std::ftell(f);
    std::fclose(f);
    return v;
}

ResultCode probe(const Bytes& trace, uint16_t& major, uint16_t& minor) {
    TempDir dir;
    dir.write("t.orn", trace);
    return probeTrace(dir / "t.orn", major, minor);
}

TEST(TraceHeader, OlderHeadersAreWidenedInMemory) {
    for (uint16_t version : {5, 6, 7, 8}) {
        TraceSpec layout;
        layout.header.versionMajor = version;
        layout.header.snapLength = 256;
        layout.header.year = 2008;
        layout.header.utcOffset = {0xFF, 5, 0, 0};
        layout.unusedBeforeTrailer = 20;
        const Validation v = validate(tracebuild::buildTrace(layout), version);
        ASSERT_EQ(v.code, ResultCode::Ok) << version;
        EXPECT_EQ(v.header.headerSize, tracebuild::headerSizeFor(version));
        EXPECT_EQ(v.position, static_cast<long>(v.header.headerSize)) << "at the first block";
        EXPECT_EQ(v.header.snapLength(), 256);
        EXPECT_EQ(v.header.startYear(), 2008);
        const auto expected = version == 8 ? std::array<uint8_t, 4>{0xFF, 5, 0, 0}
                                           : std::array<uint8_t, 4>{1, 1, 0, 0};
        EXPECT_EQ(v.header.utcOffset(), expected) << version;
        uint16_t major = 0, minor = 9;
        EXPECT_EQ(probe(tracebuild::buildTrace(layout), major, minor), ResultCode::Ok);
        EXPECT_EQ(major, version);
        EXPECT_EQ(minor, 0);
    }
}

TEST(TraceHeader, CodeAndDescriptionAreNotChecked) {
    TraceSpec layout;
    layout.header.fileCode = "0B";
    layout.header.description = "something else";
    uint16_t major = 0, minor = 0;
    EXPECT_EQ(probe(tracebuild::buildTrace(layout), major, minor), ResultCode::Ok);
    EXPECT_EQ(validate(tracebuild::buildTrace(layout), 8).code, ResultCode::Ok);
}

TEST(TraceHeader, ValidationFailures) {
    EXPECT_EQ(validate(Bytes(195, 0), 8).code, ResultCode::CannotReadSource);
    EXPECT_EQ(validate(tracebuild::buildTrace({}), 9).code, ResultCode::BadVersion);
    EXPECT_EQ(validate(tracebuild::buildTrace({}), 7).code, ResultCode::BadFormat)
        << "a version-8 header read as version 7";

    TraceSpec sub;
    sub.header.subVersion = 2;
    EXPECT_EQ(validate(tracebuild::buildTrace(sub), 8).code, ResultCode::BadFormat);
    TraceSpec trailer;
    trailer.badTrailerFcs = true;
    EXPECT_EQ(validate(tracebuild::buildTrace(trailer), 8).code, ResultCode::CannotReadSource);
    TraceSpec stream;
    stream.unusedBeforeTrailer = 10;
    stream.streamLength = 10;
    EXPECT_EQ(validate(tracebuild::buildTrace(stream), 8).code, ResultCode::Ok) << "exactly fits";
    stream.streamLength = 11;
    EXPECT_EQ(validate(tracebuild::buildTrace(stream), 8).code, ResultCode::BadFormat);
}

TEST(TraceHeader, ValidationAcceptsShortVersionSixFileTheProbeCannotRead) {
    TraceSpec layout;
    layout.header.versionMajor = 6;
    const Bytes trace = tracebuild::buildTrace(layout);
    ASSERT_EQ(trace.size(), 196u);
    uint16_t major = 0, minor = 0;
    EXPECT_EQ(probe(trace, major, minor), ResultCode::CannotReadSource);
    EXPECT_EQ(validate(trace, 6).code, ResultCode::Ok);
}

TEST(TraceHeader, VersionSevenWithoutBlocksPassesBoth) {
    TraceSpec layout;
    layout.header.versionMajor = 7;
    const Bytes trace = tracebuild::buildTrace(layout);
    ASSERT_EQ(trace.size(), 207u);
    uint16_t major = 0, minor = 0;
    EXPECT_EQ(probe(trace, major, minor), ResultCode::Ok);
    EXPECT_EQ(validate(trace, 7).code, ResultCode::Ok);
}

TEST(TraceHeader, ProbeCannotOpen) {
    uint16_t major = 0, minor = 0;
    EXPECT_EQ(probeTrace("/nonexistent/Trace.orn", major, minor), ResultCode::CannotOpenSource);
}

TEST(TraceHeader, AcceptVersion) {
    EXPECT_FALSE(acceptVersion(4, 0));
    EXPECT_TRUE(acceptVersion(5, 0));
    EXPECT_TRUE(acceptVersion(8, 0));
    EXPECT_FALSE(acceptVersion(8, 1));
    EXPECT_FALSE(acceptVersion(9, 0));
}

}  // namespace
}  // namespace ornpcap::test
