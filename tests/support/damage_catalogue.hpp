#pragma once
// One catalogue of damaged traces, each built from the same good trace (port
// 3, 40 Raw-IP records of 60 bytes in 400-byte blocks, stored and compressed
// in turn) with one kind of damage, and what each program must make of it:
// OrnPcap's exit code and the end of its report, orninfo's verdict, ornfix's
// repair. The OrnPcap, orninfo and ornfix tests each run every case as a test
// of its own.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"
#include "tracebuild/trace_builder.hpp"

namespace ornpcap::test {

struct DamageCase {
    std::string id;    // a test name: letters and digits
    std::string name;  // what was damaged
    Bytes trace;

    // OrnPcap -f4 -p3.
    int ornpcapExit = 0;
    std::string ornpcapTail;  // what stdout ends with ("": nothing after the options)
    bool outputLeft = false;  // records before the damage were written

    // orninfo: the detail of its DAMAGED verdict (a part of it), the block
    // of the fault (0: none), the records read before it.
    std::string detail;
    uint16_t block = 0;
    uint64_t records = 0;
    bool headerKnown = true;
    bool trailerKnown = true;
    bool goodBlocksBefore = true;  // those of the good trace: the fault's offset is known

    // ornfix: its exit code (0 repaired, 15 nothing salvaged) and, when it
    // repairs, the fewest records the repaired trace holds.
    int ornfixExit = 0;
    uint64_t ornfixRecords = 0;

    // Whether orninfo reports on it at all: what is no trace gets no report.
    bool orninfoReports = true;
};

// The good trace's bytes; its layout changed by `damage`, built.
Bytes goodDamageBase();
Bytes damagedBase(const std::function<void(tracebuild::TraceSpec&)>& damage);
// Where block n (from 1) of the good trace begins in the file, and the
// complete records of the blocks before it.
uint64_t offsetOfBaseBlock(uint16_t n);
uint64_t recordsBeforeBaseBlock(uint16_t n);

const std::vector<DamageCase>& damageCatalogue();

// "id" of each case, for INSTANTIATE_TEST_SUITE_P over the indexes.
std::string damageCaseName(size_t index);

}  // namespace ornpcap::test
