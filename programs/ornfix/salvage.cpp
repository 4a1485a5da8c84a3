#include "ornfix/salvage.hpp"

#include <algorithm>
#include <new>

#include "base/byte_order.hpp"
#include "base/interrupt.hpp"
#include "ornfix/block_walk.hpp"
#include "ornfix/header_layout.hpp"

namespace ornpcap::ornfix {

namespace {

std::array<uint8_t, kHeaderSizeV8> readHead(InputWindow& in) {
    std::array<uint8_t, kHeaderSizeV8> head{};
    const size_t length = static_cast<size_t>(std::min<uint64_t>(head.size(), in.size()));
    if (const uint8_t* bytes = in.view(0, length); bytes != nullptr) {
        std::copy(bytes, bytes + length, head.begin());
    }
    return head;
}

TrailerFinding readTrailer(InputWindow& in, uint32_t headerSize) {
    TrailerFinding found;
    if (in.size() < uint64_t{headerSize} + kTrailerSize) {
        return found;
    }
    const uint8_t* bytes = in.view(in.size() - kTrailerSize, kTrailerSize);
    if (bytes == nullptr) {
        return found;
    }
    std::copy(bytes, bytes + kTrailerSize, found.trailer.bytes.begin());
    switch (checkTrailer(found.trailer, in.size(), headerSize)) {
        case TrailerCheck::Good: found.state = TrailerState::Good; break;
        case TrailerCheck::BadFcs: found.state = TrailerState::BadFcs; break;
        case TrailerCheck::StreamTooLong: found.state = TrailerState::Impossible; break;
    }
    return found;
}

// The trailer that bounds block lengths in the words of the checks: the
// trace's own when it is intact, else one that allows any length.
TraceTrailer boundsOf(const TrailerFinding& found) {
    if (found.state == TrailerState::Good) {
        return found.trailer;
    }
    TraceTrailer any;
    storeLe16(&any.bytes[0], 0xFFFF);
    return any;
}

KeptBlock keptOf(const WalkStep& step) {
    KeptBlock b;
    b.offset = step.offset;
    b.header = step.header;
    b.position = step.position;
    b.expanded = step.expanded;
    return b;
}

void noteStep(SalvagePlan& plan, const WalkStep& step, int streamBreak) {
    if (step.skipped.empty() && step.continuous) {
        return;
    }
    Finding f;
    f.kind = step.skipped.empty() ? FindingKind::MissingBlocks : FindingKind::DamagedBlocks;
    f.from = step.skipped.from;
    f.to = step.skipped.to;
    f.fault = step.skipped.fault;
    f.blocksLost = step.blocksLost;
    f.nextPosition = step.position;
    f.nextOffset = step.offset;
    f.walkedOn = step.skipped.walkedOn;
    f.streamBreak = streamBreak;
    plan.findings.push_back(f);
}

void noteDuplicate(SalvagePlan& plan, const WalkStep& step) {
    Finding f;
    f.kind = FindingKind::DuplicateBlock;
    f.from = step.offset;
    f.to = step.offset + kBlockHeaderSize + step.header.blockLength;
    f.nextPosition = step.position;
    f.nextOffset = step.originalOffset;
    plan.findings.push_back(f);
}

// Whether the bytes at offset begin a block header carrying the number due.
bool startsDueBlock(InputWindow& in, uint64_t offset, uint16_t due) {
    const uint8_t* raw = in.view(offset, kBlockHeaderSize);
    return raw != nullptr && decodeBlockHeader(raw).blockNumber() == due &&
           decodeBlockHeader(raw).blockLength != 0;
}

void addFinding(SalvagePlan& plan, FindingKind kind, uint64_t from, uint64_t to,
                const TraceFault& fault = {}) {
    Finding f;
    f.kind = kind;
    f.from = from;
    f.to = to;
    f.fault = fault;
    plan.findings.push_back(f);
}

void addTrailerDamaged(SalvagePlan& plan) {
    const uint64_t size = plan.fileSize;
    TraceFault f;
    fault(&f, ResultCode::BadFormat,
          plan.trailer.state == TrailerState::BadFcs ? TraceCheck::TrailerChecksum
                                                     : TraceCheck::StreamTooLong,
          plan.trailer.trailer.streamLength(),
          static_cast<int64_t>(size - plan.header.size - kTrailerSize));
    addFinding(plan, FindingKind::TrailerDamaged, size - kTrailerSize, size, f);
}

// What the bytes after the last intact block were, and the trailer: a cut
// block (the file ends inside it); with an intact trailer, a damaged block
// or bytes that are no block before it; without one, those and 16 bytes of
// a damaged trailer, or fewer bytes than a trailer (one cut short).
void noteTail(SalvagePlan& plan, const Skipped& tail, InputWindow& in, uint16_t due) {
    const bool trailerGood = plan.trailer.state == TrailerState::Good;
    const TraceCheck check = tail.fault.check;
    const bool dueBlock = tail.from < tail.to && startsDueBlock(in, tail.from, due);
    const uint64_t length = tail.to - tail.from;
    const FindingKind kind = dueBlock ? FindingKind::DamagedAtEnd : FindingKind::BytesAfterStream;
    if (!trailerGood && (check == TraceCheck::BlockHeaderCut ||
                         (check == TraceCheck::BlockDataCut && dueBlock))) {
        addFinding(plan, FindingKind::CutShort, tail.from, tail.to, tail.fault);
    } else if (trailerGood) {
        if (length != 0) {
            addFinding(plan, kind, tail.from, tail.to, tail.fault);
        }
    } else if (length >= kTrailerSize && plan.trailer.state != TrailerState::Absent) {
        if (length > kTrailerSize) {
            addFinding(plan, kind, tail.from, tail.to - kTrailerSize, tail.fault);
        }
        addTrailerDamaged(plan);
    } else {
        addFinding(plan, FindingKind::TrailerMissing, tail.from, tail.to);
    }
}

}  // namespace

namespace {

std::string number(uint64_t n) { return std::to_string(n); }

// Whether an intact trailer lets the conversion read every block kept, as
// they stand; the fields that do not, in words.
bool trailerAgrees(const SalvagePlan& plan, std::string& detail) {
    const TraceTrailer& t = plan.trailer.trailer;
    const uint32_t room = 2u * t.maxBlockLength();
    uint64_t stream = 0;
    std::vector<std::string> faults;
    for (const KeptBlock& b : plan.blocks) {
        stream += kBlockHeaderSize + b.header.blockLength;
        if (faults.empty() && b.header.blockLength > t.maxBlockLength()) {
            faults.push_back("maxBlockLength " + number(t.maxBlockLength()) + " where block " +
                             number(b.position) + " is " + number(b.header.blockLength) +
                             " bytes long");
        } else if (faults.empty() && b.carryIn + b.expanded > room) {
            faults.push_back("maxBlockLength " + number(t.maxBlockLength()) + " leaves block " +
                             number(b.position) + " too little room (it needs " +
                             number(b.carryIn + b.expanded) + " bytes of the work buffer)");
        }
    }
    if (t.blockCount() != plan.blocks.size()) {
        faults.insert(faults.begin(), "blockCount " + number(t.blockCount()) +
                                          " where the blocks number " + number(plan.blocks.size()));
    }
    if (t.streamLength() != stream) {
        faults.push_back("streamLength " + number(t.streamLength()) + " where the blocks take " +
                         number(stream) + " bytes");
    }
    for (const std::string& f : faults) {
        detail += (detail.empty() ? "" : ", ") + f;
    }
    return faults.empty();
}

void noteTrailerAndEnd(SalvagePlan& plan) {
    std::string detail;
    if (plan.trailer.state == TrailerState::Good && plan.findings.empty() &&
        !trailerAgrees(plan, detail)) {
        // Its bytes are not dropped: those the conversion does not read are kept.
        addFinding(plan, FindingKind::TrailerDisagrees, plan.fileSize - kTrailerSize,
                   plan.fileSize - kTrailerSize);
        plan.findings.back().detail = detail;
    }
    if (plan.tail.bytesDropped != 0) {
        addFinding(plan, FindingKind::IncompleteLastRecord, 0, 0);
    }
}

uint16_t chunkLimitOf(const SalvagePlan& plan) {
    uint32_t longest = 0;
    for (const KeptBlock& b : plan.blocks) {
        longest = std::max<uint32_t>(longest, b.header.blockLength);
    }
    if (plan.trailer.state == TrailerState::Good) {
        longest = std::max<uint32_t>(longest, plan.trailer.trailer.maxBlockLength());
    }
    return static_cast<uint16_t>(std::clamp<uint32_t>(longest, 1, 0xFFFF));
}

WalkLimits limitsOf(const SalvagePlan& plan) {
    WalkLimits limits;
    limits.begin = plan.header.size;
    const uint64_t end = plan.trailer.state == TrailerState::Good
                             ? plan.fileSize - kTrailerSize
                             : plan.fileSize;
    limits.end = std::max(limits.begin, end);
    limits.fileSize = plan.fileSize;
    limits.trailerIntact = plan.trailer.state == TrailerState::Good;
    limits.trailer = boundsOf(plan.trailer);
    return limits;
}

ResultCode walkBlocks(InputWindow& in, SalvagePlan& plan) {
    BlockWalker walker(in, limitsOf(plan));
    const uint16_t snapLength = loadLe16(&plan.header.bytes[header_offset::snapLength]);
    RecordStream stream(recordFormOf(plan.header.versionMajor), snapLength, plan.blocks);
    for (;;) {
        if (pendingInterrupt() != 0) {
            return ResultCode::Interrupted;
        }
        const WalkStep step = walker.next(stream.area());
        if (in.failed()) {
            return ResultCode::CannotReadSource;
        }
        if (step.end) {
            noteTail(plan, step.skipped, in, walker.expectedNumber());
            break;
        }
        if (step.duplicate) {
            noteDuplicate(plan, step);
            continue;
        }
        if (plan.blocks.size() == kMostBlocks) {
            addFinding(plan, FindingKind::TooManyBlocks, step.offset, plan.fileSize);
            break;
        }
        plan.blocks.push_back(keptOf(step));
        noteStep(plan, step, stream.take(step.continuous));
    }
    stream.finish();
    plan.breaks = stream.breaks();
    plan.tail = stream.tail();
    plan.records = stream.counts();
    return ResultCode::Ok;
}

ResultCode salvageIn(InputWindow& in, SalvagePlan& plan) {
    plan = SalvagePlan{};
    plan.fileSize = in.size();
    const std::array<uint8_t, kHeaderSizeV8> head = readHead(in);
    plan.header = examineHeader(head);
    settleHeader(in, head, plan.header);
    if (in.failed()) {
        return ResultCode::CannotReadSource;
    }
    if (!plan.header.usable()) {
        return ResultCode::CannotRepair;
    }
    if (plan.header.state == HeaderState::FcsRewritten ||
        plan.header.state == HeaderState::Rebuilt) {
        addFinding(plan, FindingKind::HeaderRewritten, 0, 0);
    }
    plan.trailer = readTrailer(in, plan.header.size);
    if (const ResultCode rc = walkBlocks(in, plan); rc != ResultCode::Ok) {
        return rc;
    }
    noteTrailerAndEnd(plan);
    plan.chunkLimit = chunkLimitOf(plan);
    plan.good = plan.header.state == HeaderState::Intact &&
                plan.trailer.state == TrailerState::Good && plan.findings.empty();
    return plan.good || plan.records.records != 0 ? ResultCode::Ok : ResultCode::CannotRepair;
}

}  // namespace

uint32_t SalvagePlan::blocksKept() const {
    return static_cast<uint32_t>(std::count_if(
        blocks.begin(), blocks.end(), [](const KeptBlock& b) { return !b.nothingKept(); }));
}

ResultCode salvage(ByteSource& source, SalvagePlan& plan) {
    try {
        InputWindow in(source);
        return salvageIn(in, plan);
    } catch (const std::bad_alloc&) {
        return ResultCode::OutOfMemory;
    }
}

}  // namespace ornpcap::ornfix
