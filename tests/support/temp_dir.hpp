#pragma once
// A temporary folder for one test, removed with everything in it afterwards.

#include <string>
#include <vector>

#include "tracebuild/trace_builder.hpp"

namespace ornpcap::test {

using tracebuild::Bytes;

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    void write(const std::string& name, const Bytes& bytes) const;
    Bytes read(const std::string& name) const;
    bool exists(const std::string& name) const;
    void makeDir(const std::string& name) const;
    // Names of the files and folders in the folder (or a subfolder), sorted.
    std::vector<std::string> list(const std::string& sub = ".") const;

private:
    std::string path_;
};

}  // namespace ornpcap::test
