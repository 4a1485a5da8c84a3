#pragma once
// Cuts the expanded block stream into event records.

#include <cstdint>
#include <vector>

#include "base/result_code.hpp"
#include "trace/event_record.hpp"
#include "trace/record_source.hpp"

namespace ornpcap {

// Hands every complete record at the start of the work buffer to the sink and
// moves an incomplete one to the front. Ok, the sink's code, or Interrupted
// when a signal arrived (after the record in hand was taken).
ResultCode scanRecords(std::vector<uint8_t>& workBuffer, uint32_t& fill, const RecordForm& form,
                       RecordSink& sink);

}  // namespace ornpcap
