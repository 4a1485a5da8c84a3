#pragma once
// Builds trace files the way the devices write them: header, numbered and
// FCS-checked blocks (stored, or compressed with UCL's NRV2B), trailer. Used by
// mktrace, the tests, the fuzz seeds and the benchmarks; not part of OrnPcap.
//
// Every field can be set wrong on purpose, so that damaged traces can be made
// as easily as good ones.

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "trace/block_compressor.hpp"
#include "trace/event_record.hpp"

namespace ornpcap::tracebuild {

using Bytes = std::vector<uint8_t>;

struct HeaderSpec {
    uint16_t versionMajor = 8;  // 8: 203-byte header, 7: 191, 5 and 6: 180
    uint16_t versionMinor = 0;
    uint8_t subVersion = 1;
    std::string fileCode = "02";
    std::string description = "Varnek ORN trace";
    std::optional<std::string> versionText;  // replaces "%05d.%03d" when set
    uint8_t day = 9;
    uint8_t month = 12;
    uint16_t year = 2009;
    uint8_t hour = 12;
    uint8_t minute = 0;
    uint8_t second = 0;
    uint16_t snapLength = 1600;
    std::array<uint8_t, 4> utcOffset = {1, 1, 0, 0};  // sign (+1/-1 as a byte), h, m, s
    bool badFcs = false;
};

uint32_t headerSizeFor(uint16_t versionMajor);
Bytes buildHeader(const HeaderSpec& layout);

struct TrailerSpec {
    uint16_t maxBlockLength = 0;
    uint16_t blockCount = 0;
    uint32_t streamLength = 0;
    bool badFcs = false;
};
Bytes buildTrailer(const TrailerSpec& layout);

// The record's header in the form of the version, then its payload. The
// record's dataLength is taken from the payload.
Bytes encodeRecord(EventRecord record, std::span<const uint8_t> payload, uint16_t versionMajor);

struct Record {
    EventRecord header;
    Bytes payload;
};
// The records one after the other, as the block stream holds them expanded.
Bytes recordStream(const std::vector<Record>& records, uint16_t versionMajor);

// NRV2B (8-bit) compression of UCL, level 1 (fast) to 10 (best).
Bytes compressNrv2b(std::span<const uint8_t> data, int level = 10);

// One block: its data before compression, how it is stored, and what to
// damage on purpose.
struct BlockSpec {
    Bytes data;
    bool stored = false;
    std::optional<uint16_t> number;        // block number (default: its position)
    std::optional<uint16_t> fcs;           // blockFcs (default: correct)
    std::optional<uint16_t> lengthField;   // blockLength as written (default: true length)
    Bytes appendToCompressed;              // bytes after the NRV2B end marker
    std::optional<size_t> cutCompressedTo; // keep only this many compressed bytes
    int level = 10;
};

// The block's header and data as they stand in the file.
Bytes encodeBlock(const BlockSpec& block, uint16_t position);

struct TraceSpec {
    HeaderSpec header;
    std::vector<BlockSpec> blocks;
    // Trailer fields; by default the true counts and the smallest
    // maxBlockLength with which the reader can hold every block: at least each
    // stored length, and half of what the work buffer must take in (the start
    // of a record carried over plus the block's expanded data).
    std::optional<uint16_t> maxBlockLength;
    std::optional<uint16_t> blockCount;
    std::optional<uint32_t> streamLength;
    size_t unusedBeforeTrailer = 0;  // zero bytes between the stream and the trailer
    bool badTrailerFcs = false;
};

Bytes buildTrace(const TraceSpec& layout);

// Cuts a record stream into blocks of at most chunk bytes, compressed,
// stored, or alternating (the first compressed).
enum class BlockMode { Compressed, Stored, Alternate, Smallest };
std::vector<BlockSpec> splitIntoBlocks(std::span<const uint8_t> stream, size_t chunk,
                                       BlockMode mode);

// A whole trace of the records with the header, cut into blocks.
Bytes traceOfRecords(const std::vector<Record>& records, const HeaderSpec& header = {},
                     size_t chunk = 4096, BlockMode mode = BlockMode::Alternate);

// The most record bytes a TraceWriter puts in one block.
inline constexpr size_t kLargestBlockData = 60000;

// Writes a trace to a file record by record, cutting blocks as it goes, so that
// traces of any size can be made without holding them in memory. The blocks
// are compressed on worker threads (trace/block_compressor.hpp: workers as
// there, 0 for one per CPU) and written in order: the file is the same
// whatever their number.
class TraceWriter {
public:
    TraceWriter(std::FILE* out, const HeaderSpec& header, size_t chunk, BlockMode mode,
                int level = 10, uint32_t workers = 0);
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;
    void addRecord(const EventRecord& record, std::span<const uint8_t> payload);
    // Writes the last blocks and the trailer. False when a write failed.
    // Blocks still in flight when the writer goes without finish() are lost.
    bool finish();

    // Asked after each block written, with the records added so far: true
    // stops the writer. Later records are dropped, and finish() writes no
    // trailer and fails.
    void stopWhen(std::function<bool(uint64_t recordsAdded)> afterBlock) {
        afterBlock_ = std::move(afterBlock);
    }
    bool stopped() const { return stopped_; }
    // False once stopped or past what a trailer counts: records added then
    // are dropped, and a generator may as well end.
    bool takesRecords() const { return !stopped_ && !tooManyBlocks_; }

    uint32_t blockCount() const { return blockCount_; }
    // More blocks (or stream bytes) than the trailer can count were asked for.
    bool tooManyBlocks() const { return tooManyBlocks_; }

private:
    void cutBlock(size_t length);
    void writeBlock(const CompressorBlock& block);

    std::FILE* out_;
    HeaderSpec header_;
    size_t chunk_;
    BlockMode mode_;
    Bytes pending_;  // record bytes not yet in a block
    Bytes carry_;    // what the reader holds back: the start of an incomplete record
    uint32_t blocksCut_ = 0;   // handed to the compressor
    uint32_t blockCount_ = 0;  // written; up to 65535, numbered modulo 32768
    uint16_t maxBlockLength_ = 0;
    uint32_t streamLength_ = 0;
    bool ok_ = true;
    bool tooManyBlocks_ = false;
    uint64_t recordsAdded_ = 0;
    std::function<bool(uint64_t)> afterBlock_;
    bool stopped_ = false;
    BlockCompressor compressor_;
};

bool writeFile(const std::string& path, std::span<const uint8_t> bytes);
Bytes readFile(const std::string& path);

// FCS-16 of RFC 1662 appended least significant byte first.
void appendFcs(Bytes& frame);
// Asynchronous HDLC-like framing: flag, escaped bytes (0x7E, 0x7D and bytes
// below 0x20), flag.
Bytes stuffAsync(std::span<const uint8_t> frame);

}  // namespace ornpcap::tracebuild
