#pragma once
// A manual page of the project rendered by groff as plain text.

#include <string>

namespace ornpcap::test {

struct RenderedPage {
    bool groffInstalled = false;
    bool rendered = false;  // groff ended with 0
    std::string text;       // the page, plain text without hyphenation
    std::string warnings;   // what groff -ww said
};

// Renders man/<name> (for example "OrnPcap.1") with every warning enabled.
RenderedPage renderManPage(const std::string& name);
// The same for a page anywhere.
RenderedPage renderManFile(const std::string& path);

}  // namespace ornpcap::test
