#pragma once
// The one way out to the console: every text the tool shows passes through
// here, its reports on standard output (so that tests can capture them byte
// for byte), its diagnostics and progress on standard error.

#include <string>
#include <string_view>

namespace ornpcap::console {

// Prints the text exactly as it stands.
void print(std::string_view text);
// Prints the text and one newline.
void printLine(std::string_view text);
// Prints a formatted text (printf conventions).
void printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes to standard error: the progress line of long runs.
void progress(std::string_view text);
// Writes one line to standard error: a diagnostic for people.
void errorLine(std::string_view text);

// While one exists, console output goes into it instead of standard output.
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    const std::string& text() const { return text_; }

private:
    friend void print(std::string_view text);
    std::string text_;
    Capture* previous_;
};

}  // namespace ornpcap::console
