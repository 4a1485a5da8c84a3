#pragma once
// The record stream of the blocks ornfix keeps: cut into records as the
// conversion cuts it, broken wherever blocks were lost, and found again
// after each break.
//
// Past a break the first bytes are the end of a record whose start is gone.
// The first record kept is found by trying every offset in turn as a start,
// its chain of records judged by record_chain.hpp: the first start proven
// is taken. A start that the data at hand cannot decide yet (a length that
// runs past it, too few records before it ends) waits for the next block;
// where no more data comes (the next block lost, or the end of the stream)
// it is set aside and the search goes on at the next byte. Every record kept is a whole record
// of the trace; records that cannot be proven so are dropped, never guessed
// at.
//
// For each kept block it notes the part of its data that lies in kept
// records, and where the record in progress at its start ends, so that the
// writer can copy whole blocks and cut new ones.

#include <cstdint>
#include <vector>

#include "ornfix/block_walk.hpp"
#include "ornfix/record_chain.hpp"
#include "trace/event_record.hpp"

namespace ornpcap::ornfix {

struct KeptBlock {
    uint64_t offset = 0;  // of its header in the trace
    BlockHeader header;
    uint32_t position = 0;     // in the trace's stream, from 1
    uint32_t expanded = 0;     // bytes of record stream it holds
    uint64_t streamStart = 0;  // of its data in the stream of the kept blocks
    uint32_t keepFrom = 0;     // its bytes [keepFrom, keepTo) lie in kept records
    uint32_t keepTo = 0;
    uint32_t carryIn = 0;       // bytes of the record in progress at its start
    uint32_t toNextRecord = 0;  // bytes from its start to the end of that record

    bool wholeKept() const { return keepFrom == 0 && keepTo == expanded; }
    bool nothingKept() const { return keepTo <= keepFrom; }
};

// Where the stream broke: between two kept blocks that do not follow each
// other, or at its end.
struct StreamBreak {
    uint32_t recordsCut = 0;    // a record whose start was kept and its end lost
    uint64_t bytesDropped = 0;  // record bytes not kept: that start, and what came before
                                // the first record proven after the break
    bool hasBefore = false;
    bool hasAfter = false;
    uint32_t timeBefore = 0;  // the last record kept before the break
    uint32_t timeAfter = 0;   // the first record kept after it
};

struct StreamCounts {
    uint64_t records = 0;
    uint32_t firstTime = 0;
    uint32_t lastTime = 0;
    uint32_t largestRecord = 0;  // header and payload
};

class RecordStream {
public:
    RecordStream(const RecordForm& form, uint16_t snapLength, std::vector<KeptBlock>& blocks);

    // Where the walker expands the next block.
    ExpansionArea area() { return {buffer_, fill_}; }
    // blocks.back() was just expanded into the area. Returns the index of the
    // break it makes (not continuous), else -1.
    int take(bool continuous);
    // The end of the stream: what was still open is dropped.
    void finish();

    const StreamCounts& counts() const { return counts_; }
    const std::vector<StreamBreak>& breaks() const { return breaks_; }
    const StreamBreak& tail() const { return tail_; }

private:
    void search(DataEnd end);
    bool cutRecord();
    void emit(uint32_t at, uint32_t length);
    void annotate(uint64_t start, uint64_t end);
    StreamBreak breakHere() const;
    void closeRun(size_t endIndex);
    void cut(DataEnd end);

    RecordForm form_;
    RecordProfile profile_;
    RecordChain chain_;
    std::vector<KeptBlock>& blocks_;
    std::vector<uint8_t> buffer_;
    uint32_t fill_ = 0;
    uint32_t pos_ = 0;         // next record (synced) or next candidate
    uint64_t bufferStart_ = 0;  // stream offset of buffer_[0]
    uint64_t streamEnd_ = 0;
    bool synced_ = true;  // the stream starts with a record
    bool covered_ = true;
    uint64_t keptFrom_ = 0;  // the records kept in the current run
    uint64_t keptTo_ = 0;
    size_t runFirst_ = 0;
    size_t annotated_ = 0;
    int searching_ = -1;  // the break whose first record is being looked for
    StreamCounts counts_;
    std::vector<StreamBreak> breaks_;
    StreamBreak tail_;
};

}  // namespace ornpcap::ornfix
