#pragma once
// mktrace scenarios: a small line-oriented text that describes a trace.
//
//   # comment (to the end of the line)
//   version 8                   trace format version, 5 to 8
//   start 2009-12-09 12:00:00   trace start, local device time
//   utc +01:00:00               UTC offset of the start (version 8 only)
//   snap 1600                   snapLength
//   description Varnek ORN trace
//   blocks 512 alternate        record bytes per block; compressed, stored,
//                               alternate (compressed first) or smallest.
//                               Without it: 512 alternate, or, for records
//                               that 65535 such blocks cannot hold, blocks
//                               as much larger as they need (defaultBlockBytes)
//   level 10                    NRV2B compression level, 1 to 10
//
//   frame <ms> <port> <lsn> <in|out|typeN> [status=N] [orig=N] [async]
//         [badfcs] [cut=N] : <hex bytes>
//       One event record. Numbers are decimal or 0x-prefixed hex. Indented
//       lines that follow continue the hex bytes. "async" sends the bytes as
//       a PPP-Async frame: FCS-16 appended ("badfcs" makes it wrong), then
//       flags and escapes; "cut=N" keeps only the first N bytes of the final
//       payload (origLength stays the full length unless orig= is given).
//
//   bulk count=N port=P lsn=L [lsns=K] [size=S] [step=MS] [time=MS]
//       N generated records of S bytes (an Ethernet/IPv4/UDP frame with a
//       sequence number, then mostly random bytes), LSNs L to L+K-1 in turn,
//       sent and received in turn, one every MS milliseconds from time MS.
//
//   traffic format=F count=N port=P [lsn=L] [lsns=K] [seed=S] [time=MS] [step=MS]
//       N records of realistic traffic of frame format F (ethernet, ppp-sync,
//       ppp-async, raw-ip, i4b, internal-udp; see traffic.hpp): K links or
//       terminals on LSNs L to L+K-1 (ETHERNET puts its protocol codes in the
//       lsn field instead), from time MS (default 0), MS milliseconds apart
//       on average (default 10), the same records for the same seed S
//       (default 1). Level 1 compresses several times faster than 10.
//
// Settings lines apply to the whole trace and must come before the first
// record.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace ornpcap::tracebuild {

struct ScenarioResult {
    bool ok = false;
    bool stopped = false;  // by ScenarioOptions::stop; error is then empty
    std::string error;     // "line N: ..." when not ok
    unsigned long records = 0;
    unsigned blocks = 0;
};

struct ScenarioOptions {
    // Threads that compress blocks (trace/block_compressor.hpp): 0 for one
    // per CPU, 1 for none. The trace is the same whatever their number.
    uint32_t workers = 0;
    // After every block written: the records generated so far, out of all
    // that the scenario announces.
    std::function<void(uint64_t records, uint64_t announced)> progress;
    // Asked after every block written and every record generated (also
    // while the scenario is first read): true stops the run, which leaves
    // what it wrote without a trailer.
    std::function<bool()> stop;
};

// The record bytes per block of a scenario without a blocks line whose
// records take streamBytes: 512, or, where 65535 blocks of 512 cannot hold
// them, the first of 1024, 2048, ... 32768 and 60000 that can (60000 when
// none can: the trace then fails as too large).
size_t defaultBlockBytes(uint64_t streamBytes);

// Reads the scenario text and writes the trace to out. The text is read
// twice: once to find its errors and the size of its records before
// anything is written (a line refused leaves out as it was), then to write.
ScenarioResult runScenario(const std::string& text, std::FILE* out,
                           const ScenarioOptions& options = {});

}  // namespace ornpcap::tracebuild
