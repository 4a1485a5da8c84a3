#pragma once

#include <new>

#include "base/result_code.hpp"

namespace ornpcap {

// Runs a step that returns a ResultCode, ending with OutOfMemory where it
// could not allocate, so that no bad_alloc leaves a stage.
template <class Step>
ResultCode unlessOutOfMemory(Step&& step) {
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return ResultCode::OutOfMemory;
    }
}

}  // namespace ornpcap
