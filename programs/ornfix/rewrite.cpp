#include "ornfix/rewrite.hpp"

#include <cstring>
#include <new>

#include "base/interrupt.hpp"
#include "trace/block_expander.hpp"

namespace ornpcap::ornfix {

namespace {

struct Rewrite {
    InputWindow in;
    const SalvagePlan& plan;
    TraceWriter writer;
    std::vector<uint8_t> expanded;

    ResultCode copy(const KeptBlock& b, const uint8_t* data);
    ResultCode reblock(const KeptBlock& b, const uint8_t* data);
    ResultCode block(const KeptBlock& b);
    ResultCode all();
};

ResultCode Rewrite::copy(const KeptBlock& b, const uint8_t* data) {
    if (checkBlockData(b.header, data) != ResultCode::Ok) {
        return ResultCode::CannotReadSource;
    }
    return writer.copyBlock(b.header, data, b.expanded, b.carryIn) ? ResultCode::Ok
                                                                   : ResultCode::CannotWriteTarget;
}

// The block's data expanded again, and the part of it in kept records cut
// into new blocks.
ResultCode Rewrite::reblock(const KeptBlock& b, const uint8_t* data) {
    const uint8_t* stream = data;
    if (!b.header.storedFlag()) {
        expanded.resize(kMostExpanded);
        uint32_t produced = kMostExpanded;
        if (BlockExpander::ensureInitialised() != BlockExpander::Success ||
            BlockExpander::expand(data, b.header.blockLength, expanded.data(), produced) !=
                BlockExpander::Success ||
            produced != b.expanded) {
            return ResultCode::CannotReadSource;
        }
        stream = expanded.data();
    } else if (b.header.blockLength != b.expanded) {
        return ResultCode::CannotReadSource;
    }
    RecordPhase phase;
    if (b.keepFrom == 0) {
        phase.consumed = b.carryIn;
        phase.remaining = b.toNextRecord;
    }
    return writer.appendStream(stream + b.keepFrom, b.keepTo - b.keepFrom, phase)
               ? ResultCode::Ok
               : ResultCode::CannotWriteTarget;
}

ResultCode Rewrite::block(const KeptBlock& b) {
    const uint8_t* data = in.view(b.offset + kBlockHeaderSize, b.header.blockLength);
    if (data == nullptr) {
        return ResultCode::CannotReadSource;
    }
    if (b.wholeKept() && uint64_t{b.carryIn} + b.expanded <= kMostExpanded) {
        return copy(b, data);
    }
    return reblock(b, data);
}

ResultCode Rewrite::all() {
    if (!writer.writeHeader(plan.header.header())) {
        return ResultCode::CannotWriteTarget;
    }
    for (const KeptBlock& b : plan.blocks) {
        if (pendingInterrupt() != 0) {
            return ResultCode::Interrupted;
        }
        if (b.nothingKept()) {
            continue;
        }
        if (const ResultCode rc = block(b); rc != ResultCode::Ok) {
            return rc;
        }
        if (writer.counts().full) {
            break;
        }
    }
    const bool keepOld = plan.trailer.state == TrailerState::Good;
    return writer.finish(keepOld ? &plan.trailer.trailer.bytes : nullptr)
               ? ResultCode::Ok
               : ResultCode::CannotWriteTarget;
}

}  // namespace

ResultCode rewrite(ByteSource& source, const SalvagePlan& plan, ByteSink& out,
                   WriterCounts& counts) {
    try {
        Rewrite run{InputWindow(source), plan,
                    TraceWriter(out, recordFormOf(plan.header.versionMajor), plan.chunkLimit), {}};
        const ResultCode rc = run.all();
        counts = run.writer.counts();
        return rc;
    } catch (const std::bad_alloc&) {
        return ResultCode::OutOfMemory;
    }
}

}  // namespace ornpcap::ornfix
