#pragma once
// Whether an offset in the record stream after a break is where a record
// begins: the chain of record headers from it, each record's length leading
// exactly to the next header, judged record by record.
//
// A record is weighed in four respects: its kind (event type and status),
// its channel (port and LSN), its length (within the snapLength) and its
// time (near a record beside it, the first near the one after it: less
// than an hour and ten minutes after it, or a minute before). A respect
// holds when the trace's records kept so far show it, or another record of
// the chain does: one at another time, in time with its own neighbours,
// whose own kind is known (to lend its channel), whose channel holds (to
// lend its kind), or both (to lend a length); false headers in a run of one
// pattern share their values, and must not vouch for each other. A header
// of bytes all alike (a run of zeros or of 0xFF) is padding, not a record.
// A record that fails in one respect is merely unusual and the chain holds
// on; one that fails in two or more breaks it, once the chain is as long as
// it will be for support (kSupport records, or 16 KiB of the stream): until
// then more data may bring what it lacks.
// Random bytes fail in most respects at once; a real record rarely in even
// one.
//
// A start is proven when its first kProof records hold, or when the chain
// holds to the end of the data at hand with at least kChain records, or,
// at the end of the record stream, when it ends exactly there. It is
// refuted when one of its first kProof records breaks it, or when no more
// data comes and it is not proven; else it is undecided, and more data will
// tell.

#include <bitset>
#include <cstdint>
#include <vector>

#include "trace/event_record.hpp"

namespace ornpcap::ornfix {

inline constexpr size_t kChain = 4;   // records that prove a start at the end of the data
inline constexpr size_t kProof = 16;  // records that prove a start wherever the data ends
// Records of the chain that lend their kinds, channels and lengths to the others.
inline constexpr size_t kSupport = 64;

// What the trace's own records are like, learned from those kept.
class RecordProfile {
public:
    explicit RecordProfile(uint16_t snapLength);
    void learn(const EventRecord& record);

    bool typeKnown(uint8_t type) const { return types_.test(type); }
    bool statusKnown(uint8_t status) const { return statuses_.test(status); }
    bool portKnown(uint16_t port) const { return ports_.test(port); }
    bool lsnKnown(uint16_t lsn) const { return lsns_.test(lsn); }
    bool kindKnown(const EventRecord& r) const;     // its event type and status
    bool channelKnown(const EventRecord& r) const;  // its port and LSN
    bool overSnap(const EventRecord& r) const {
        return snapLength_ != 0 && r.dataLength > snapLength_;
    }
    bool overSnapSeen() const { return overSnapSeen_; }
    bool seen() const { return seen_; }
    uint32_t lastTime() const { return lastTime_; }

private:
    std::bitset<256> types_;
    std::bitset<256> statuses_;
    std::bitset<0x10000> ports_;
    std::bitset<0x10000> lsns_;
    uint16_t snapLength_;
    bool seen_ = false;
    bool overSnapSeen_ = false;  // a record longer than the snapLength
    uint32_t lastTime_ = 0;
};

enum class ChainVerdict { Proven, Refuted, Undecided };

// What follows the data at hand: more of it, nothing of this run (the next
// block was lost), or nothing at all (the end of the record stream).
enum class DataEnd { MoreToCome, RunEnds, StreamEnds };

class RecordChain {
public:
    explicit RecordChain(const RecordForm& form) : form_(form) {}

    // The start at `at` in the `size` bytes at hand.
    ChainVerdict judge(const uint8_t* data, uint32_t size, uint32_t at,
                       const RecordProfile& profile, DataEnd end);

private:
    int anomalies(size_t i, const RecordProfile& profile) const;
    bool channelHolds(size_t i, const RecordProfile& profile) const;
    bool kindHolds(size_t i, const RecordProfile& profile) const;
    bool inTimeWithNeighbours(size_t i, const RecordProfile& profile) const;
    void findLenders(const RecordProfile& profile);

    RecordForm form_;
    std::vector<EventRecord> links_;  // reused from judgement to judgement
    std::vector<bool> timely_;        // each link in time with its neighbours
    std::vector<bool> filler_;        // each link's header bytes all alike
    std::vector<bool> lendsKind_;     // each link may lend its event type and status
    std::vector<bool> lendsChannel_;  // its port and LSN
    std::vector<bool> lendsLength_;   // a length over the snapLength
    std::vector<bool> channelHolds_;  // each link's port and LSN, known or lent
    std::vector<bool> kindHolds_;     // its event type and status
};

}  // namespace ornpcap::ornfix
