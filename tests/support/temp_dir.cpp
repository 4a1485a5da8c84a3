#include "tests/support/temp_dir.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace ornpcap::test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "ornpcap-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files or folders made by a test must not block the removal.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const Bytes& bytes) const {
    if (!tracebuild::writeFile(*this / name, bytes)) {
        throw std::runtime_error("cannot write " + name);
    }
}

Bytes TempDir::read(const std::string& name) const { return tracebuild::readFile(*this / name); }

bool TempDir::exists(const std::string& name) const { return fs::exists(*this / name); }

void TempDir::makeDir(const std::string& name) const { fs::create_directories(*this / name); }

std::vector<std::string> TempDir::list(const std::string& sub) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(*this / sub)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace ornpcap::test
