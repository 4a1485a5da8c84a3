#include "trace/trace_stream.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/interrupt.hpp"
#include "trace/block_stream.hpp"
#include "trace/record_scanner.hpp"
#include "trace/trace_file.hpp"

namespace ornpcap {

namespace {

// The largest block there can be, before the trailer tells maxBlockLength.
constexpr uint32_t kLargestBlock = 0xFFFF;
constexpr size_t kReadSize = 256 * 1024;

// One read of at most n bytes that waits for the writer and ends on a signal
// that ends the run: the signals are let through only while the call waits
// (ppoll), so that one caught just before it cannot be missed.
ssize_t readSome(int fd, uint8_t* into, size_t n) {
    sigset_t ending;
    sigemptyset(&ending);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&ending, signalNumber);
    }
    for (;;) {
        sigset_t before;
        ::pthread_sigmask(SIG_BLOCK, &ending, &before);
        if (pendingInterrupt() != 0) {
            ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
            errno = EINTR;
            return -1;
        }
        struct pollfd wait {fd, POLLIN, 0};
        const int ready = ::ppoll(&wait, 1, nullptr, &before);
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;  // a signal that ends the run is noted above
            }
            return -1;
        }
        const ssize_t got = ::read(fd, into, n);
        if (got >= 0 || (errno != EINTR && errno != EAGAIN)) {
            return got;
        }
    }
}

// The bytes of the descriptor, a window of them at a time.
class StreamBytes {
public:
    explicit StreamBytes(int fd) : fd_(fd) {}

    // At least n bytes from the position on, unless the stream ends before:
    // false when a read fails or a signal ends it (error says which).
    bool want(size_t n) {
        if (end_ - pos_ >= n || ended_) {
            return true;
        }
        if (pos_ != 0) {
            std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
            end_ -= pos_;
            pos_ = 0;
        }
        if (buffer_.size() < std::max(n, kReadSize)) {
            buffer_.resize(std::max(n, kReadSize));
        }
        while (end_ < n) {
            const ssize_t got = readSome(fd_, buffer_.data() + end_, buffer_.size() - end_);
            if (got < 0) {
                error_ = errno;
                return false;
            }
            if (got == 0) {
                ended_ = true;
                break;
            }
            end_ += static_cast<size_t>(got);
        }
        return true;
    }
    // More bytes, as many as come at once; false as want().
    bool more() { return want(end_ - pos_ + 1); }

    size_t available() const { return end_ - pos_; }
    const uint8_t* data() const { return buffer_.data() + pos_; }
    void consume(size_t n) {
        pos_ += n;
        offset_ += n;
    }
    bool ended() const { return ended_; }
    uint64_t offset() const { return offset_; }  // of the position in the stream
    int error() const { return error_; }

private:
    int fd_;
    std::vector<uint8_t> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    uint64_t offset_ = 0;
    bool ended_ = false;
    int error_ = 0;
};

// What each block read showed, to be held against the trailer at the end:
// the bytes of the stream up to its end, for the first blockCount blocks
// there can be; and where the block length and the room a block needed
// first rose above every one before (at most one entry per value).
struct BlockLedger {
    std::vector<uint32_t> streamEnds;  // of block n + 1, from the stream's start
    struct Rise {
        uint32_t position;
        uint32_t value;
    };
    std::vector<Rise> lengths;
    std::vector<Rise> needs;

    static void note(std::vector<Rise>& rises, uint32_t position, uint32_t value) {
        if (rises.empty() || value > rises.back().value) {
            rises.push_back({position, value});
        }
    }
    // The first block at or before `last` whose value exceeds the limit, 0 when none.
    static uint32_t firstAbove(const std::vector<Rise>& rises, uint32_t limit, uint32_t last,
                               uint32_t& value) {
        for (const Rise& r : rises) {
            if (r.position > last) {
                break;
            }
            if (r.value > limit) {
                value = r.value;
                return r.position;
            }
        }
        return 0;
    }
};

struct StreamRun {
    StreamBytes& bytes;
    const TraceRequest& request;
    RecordSink& sink;
    TraceReport& report;
    RecordChain chain;
    BlockLedger ledger;
    // The check a block failed where the stream stopped being read as
    // blocks: a fault, or the end of the blocks, as the trailer tells.
    TraceFault stop;
    uint32_t stopPosition = 0;
    uint64_t stopOffset = 0;

    ResultCode blocks();
    ResultCode block(uint32_t position, uint64_t offset, std::vector<uint8_t>& expansion,
                     BlockRecords& cut, std::vector<RecordRef>& refs, PreparedRecords* prepared,
                     bool& more);
    ResultCode tail();
    ResultCode verdict(uint64_t trailerOffset);
    uint32_t blocksAsAFile(const TraceTrailer& trailer) const;
    ResultCode failAt(const TraceFault& fault, uint32_t position) {
        report.fault = fault;
        report.fault.block = position;
        report.fault.offset = position == stopPosition
                                  ? stopOffset
                                  : report.header.headerSize +
                                        (position > 1 ? ledger.streamEnds[position - 2] : 0);
        return fault.code;
    }
};

ResultCode StreamRun::block(uint32_t position, uint64_t offset, std::vector<uint8_t>& expansion,
                            BlockRecords& cut, std::vector<RecordRef>& refs,
                            PreparedRecords* prepared, bool& more) {
    more = false;
    const auto stopHere = [&](const TraceFault& fault) {
        stop = fault;
        stopPosition = position;
        stopOffset = offset;
        return ResultCode::Ok;
    };
    if (!bytes.want(kBlockHeaderSize + kTrailerSize)) {
        return ResultCode::CannotReadSource;
    }
    if (bytes.available() < kBlockHeaderSize + kTrailerSize) {
        TraceFault f;
        fault(&f, ResultCode::CannotReadSource, TraceCheck::BlockHeaderCut);
        return stopHere(f);
    }
    const BlockHeader header = decodeBlockHeader(bytes.data());
    TraceTrailer largest;
    storeLe16(largest.bytes.data(), kLargestBlock);
    TraceFault f;
    if (checkBlockHeader(header, largest, expectedBlockNumber(position), &f) != ResultCode::Ok) {
        return stopHere(f);
    }
    const size_t whole = kBlockHeaderSize + header.blockLength;
    if (!bytes.want(whole + kTrailerSize)) {
        return ResultCode::CannotReadSource;
    }
    if (bytes.available() < whole + kTrailerSize) {
        fault(&f, ResultCode::CannotReadSource, TraceCheck::BlockDataCut, header.blockLength);
        return stopHere(f);
    }
    const uint8_t* data = bytes.data() + kBlockHeaderSize;
    if (checkBlockData(header, data, &f) != ResultCode::Ok) {
        return stopHere(f);
    }
    const uint32_t carried = chain.carried();
    uint32_t length = 0;
    if (expandInto(header, data, expansion.data(), 2 * kLargestBlock - carried, length, &f) !=
        ResultCode::Ok) {
        return stopHere(f);
    }
    const uint8_t* records = header.storedFlag() ? data : expansion.data();
    chain.cut(records, length, cut);
    decodeRecords(cut, records, chain.form(), refs);
    if (const ResultCode rc = deliverBlock(sink, refs, prepared); rc != ResultCode::Ok) {
        return rc;
    }
    const uint32_t before = position > 1 ? ledger.streamEnds.back() : 0;
    if (position <= 0xFFFF) {
        ledger.streamEnds.push_back(before + static_cast<uint32_t>(whole));
    }
    BlockLedger::note(ledger.lengths, position, header.blockLength);
    BlockLedger::note(ledger.needs, position, carried + length);
    ++report.blocksRead;
    bytes.consume(whole);
    if (pendingInterrupt() != 0) {
        return ResultCode::Interrupted;
    }
    if (request.observer != nullptr) {
        BlockProgress progress;
        progress.position = position;
        progress.offset = offset;
        progress.stored = header.storedFlag();
        progress.storedLength = header.blockLength;
        progress.expandedLength = length;
        progress.done = bytes.offset() - report.header.headerSize;
        request.observer->blockDone(progress);
    }
    more = true;
    return ResultCode::Ok;
}

ResultCode StreamRun::blocks() {
    std::vector<uint8_t> expansion;
    std::unique_ptr<PreparedRecords> prepared;
    try {
        expansion.resize(2 * kLargestBlock);
        prepared = sink.makePrepared();
    } catch (const std::bad_alloc&) {
        return ResultCode::OutOfMemory;
    }
    BlockRecords cut;
    std::vector<RecordRef> refs;
    bool more = true;
    for (uint32_t position = 1; more; ++position) {
        const ResultCode rc =
            block(position, bytes.offset(), expansion, cut, refs, prepared.get(), more);
        if (rc != ResultCode::Ok) {
            return rc;
        }
    }
    return tail();
}

// Whatever follows the blocks, to the end: only its last 16 bytes are kept.
ResultCode StreamRun::tail() {
    for (;;) {
        if (bytes.available() > kTrailerSize) {
            bytes.consume(bytes.available() - kTrailerSize);
        }
        if (bytes.ended()) {
            break;
        }
        if (!bytes.more()) {
            return ResultCode::CannotReadSource;
        }
    }
    return verdict(bytes.offset());
}

// How many blocks the block loop reads of a file with this trailer: up to
// blockCount, or to the block whose end is exactly streamLength.
uint32_t StreamRun::blocksAsAFile(const TraceTrailer& trailer) const {
    const uint32_t count = trailer.blockCount();
    if (trailer.streamLength() == 0) {
        return 0;
    }
    const auto& ends = ledger.streamEnds;
    const auto at = std::find(ends.begin(), ends.end(), trailer.streamLength());
    return std::min<uint32_t>(count,
                              at == ends.end() ? count : static_cast<uint32_t>(at - ends.begin()) + 1);
}

ResultCode StreamRun::verdict(uint64_t trailerOffset) {
    const uint64_t length = trailerOffset + bytes.available();
    report.length = length;
    report.incompleteBytes = chain.carried();
    if (bytes.available() < kTrailerSize || length < kSmallestTrace) {
        return fault(&report.fault, ResultCode::CannotReadSource, TraceCheck::TrailerUnreadable);
    }
    std::memcpy(report.trailer.bytes.data(), bytes.data(), kTrailerSize);
    const TraceTrailer& trailer = report.trailer;
    switch (checkTrailer(trailer, length, report.header.headerSize)) {
        case TrailerCheck::BadFcs:
            return fault(&report.fault, ResultCode::BadFormat, TraceCheck::TrailerChecksum);
        case TrailerCheck::StreamTooLong:
            return fault(&report.fault, ResultCode::BadFormat, TraceCheck::StreamTooLong,
                         trailer.streamLength(),
                         static_cast<int64_t>(length - report.header.headerSize - kTrailerSize));
        case TrailerCheck::Good: break;
    }
    report.validated = true;
    const uint32_t asAFile = blocksAsAFile(trailer);
    const uint32_t checked = std::min(asAFile, report.blocksRead);
    // The first block read as a file would have refused.
    uint32_t value = 0;
    const uint32_t tooLong =
        BlockLedger::firstAbove(ledger.lengths, trailer.maxBlockLength(), checked, value);
    uint32_t need = 0;
    const uint32_t noRoom = BlockLedger::firstAbove(
        ledger.needs, 2u * trailer.maxBlockLength(), checked, need);
    if (tooLong != 0 && (noRoom == 0 || tooLong <= noRoom)) {
        TraceFault f;
        fault(&f, ResultCode::BadFormat, TraceCheck::BlockTooLong, value,
              trailer.maxBlockLength());
        return failAt(f, tooLong);
    }
    if (noRoom != 0) {
        TraceFault f;
        fault(&f, ResultCode::BadFormat, TraceCheck::BlockNoRoom, need,
              2 * trailer.maxBlockLength());
        return failAt(f, noRoom);
    }
    if (report.blocksRead < asAFile) {
        return failAt(stop, stopPosition);
    }
    report.readPastEnd = report.blockAfterEnd = report.blocksRead > asAFile;
    return ResultCode::Ok;
}

// The header as the probe recognises it, from the first bytes.
ResultCode readHeader(StreamBytes& bytes, TraceReport& report) {
    if (!bytes.want(kHeaderSizeV8)) {
        return pendingInterrupt() != 0 ? ResultCode::Interrupted
                                       : fault(&report.fault, ResultCode::CannotReadSource,
                                               TraceCheck::HeadUnreadable);
    }
    std::array<uint8_t, kHeaderSizeV8> head{};
    std::memcpy(head.data(), bytes.data(), std::min<size_t>(bytes.available(), head.size()));
    if (bytes.ended() && bytes.available() < kSmallestTrace) {
        return fault(&report.fault, ResultCode::BadVersion, TraceCheck::FileTooShort,
                     static_cast<int64_t>(bytes.available()), kSmallestTrace);
    }
    const HeaderMatch match = recogniseHeader(head, HeaderVersions{});
    if (const ResultCode rc = headerVerdict(match, head, &report.fault); rc != ResultCode::Ok) {
        return rc;
    }
    const auto major = static_cast<uint16_t>(match.text.versionMajor);
    const auto minor = static_cast<uint16_t>(match.text.versionMinor);
    if (!acceptVersion(major, minor)) {
        return fault(&report.fault, ResultCode::BadVersion, TraceCheck::VersionRefused, major,
                     minor);
    }
    report.header = widenHeader(head, match.size);
    report.headerKnown = true;
    report.versionMajor = major;
    report.versionMinor = minor;
    bytes.consume(match.size);
    return ResultCode::Ok;
}

}  // namespace

bool readsInOnePass(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode);
}

ResultCode readTraceStream(int fd, const TraceRequest& request, RecordSink& sink,
                           TraceReport* report) {
    TraceReport local;
    TraceReport& out = report != nullptr ? *report : local;
    out = TraceReport{};
    out.streamed = true;
    StreamBytes bytes(fd);
    ResultCode rc = readHeader(bytes, out);
    if (rc != ResultCode::Ok) {
        return rc;
    }
    const OpenedTrace opened{out.header, out.trailer, out.versionMajor, identityOfDescriptor(fd)};
    rc = sink.start(opened);
    if (rc == ResultCode::Ok) {
        StreamRun run{bytes, request, sink, out, RecordChain(recordFormOf(out.versionMajor)),
                      {}, {}, 0, 0};
        rc = run.blocks();
        if (rc == ResultCode::CannotReadSource && pendingInterrupt() != 0) {
            rc = ResultCode::Interrupted;
        } else if (rc == ResultCode::CannotReadSource && !out.fault.failed()) {
            fault(&out.fault, ResultCode::CannotReadSource, TraceCheck::BlockDataCut);
            out.fault.osError = bytes.error();
            out.fault.block = out.blocksRead + 1;
            out.fault.offset = bytes.offset();
        }
    }
    return sink.finish(rc);
}

}  // namespace ornpcap
