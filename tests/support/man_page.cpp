#include "tests/support/man_page.hpp"

#include <cstdlib>

#include "tests/support/temp_dir.hpp"

namespace ornpcap::test {

namespace {
std::string textOf(const TempDir& dir, const std::string& name) {
    const Bytes bytes = dir.read(name);
    return std::string(bytes.begin(), bytes.end());
}
}  // namespace

RenderedPage renderManPage(const std::string& name) {
    return renderManFile(ORNPCAP_SOURCE_DIR "/man/" + name);
}

RenderedPage renderManFile(const std::string& path) {
    RenderedPage page;
    page.groffInstalled = std::system("groff --version >/dev/null 2>&1") == 0;
    if (!page.groffInstalled) {
        return page;
    }
    TempDir dir;
    // Plain text without hyphenation, so that messages stay whole.
    const std::string command = "groff -ww -man -Tutf8 -P-cbou -rHY=0 '" + path + "' >'" +
                                dir / "page" + "' 2>'" + dir / "warnings" + "'";
    page.rendered = std::system(command.c_str()) == 0;
    page.text = textOf(dir, "page");
    page.warnings = textOf(dir, "warnings");
    return page;
}

}  // namespace ornpcap::test
