#include "suite/console.hpp"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace ornpcap::console {

namespace {
Capture* activeCapture = nullptr;
}  // namespace

Capture::Capture() : previous_(activeCapture) { activeCapture = this; }

Capture::~Capture() { activeCapture = previous_; }

void print(std::string_view text) {
    if (activeCapture != nullptr) {
        activeCapture->text_.append(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void progress(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void errorLine(std::string_view text) {
    std::string line(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void printLine(std::string_view text) {
    print(text);
    print("\n");
}

void printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list sizing;
    va_copy(sizing, args);
    const int length = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (length > 0) {
        std::vector<char> text(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        print(std::string_view(text.data(), static_cast<size_t>(length)));
    }
    va_end(args);
}

}  // namespace ornpcap::console
