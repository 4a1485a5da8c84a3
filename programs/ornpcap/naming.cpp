#include "ornpcap/naming.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "base/text.hpp"

namespace ornpcap::converter {

namespace {

std::string lsnSuffix(uint16_t lsnValue) {
    char text[8];
    std::snprintf(text, sizeof text, "_%04X", static_cast<unsigned>(lsnValue));
    return text;
}

bool isUpperHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// The text between base and extension: ("_" + 4 upper-case hex digits)?
// followed by ("_In" | "_Out")?.
bool isSuffixRun(std::string_view middle) {
    if (middle.size() >= 5 && middle[0] == '_' &&
        std::all_of(middle.begin() + 1, middle.begin() + 5, isUpperHexDigit)) {
        middle.remove_prefix(5);
    }
    return middle.empty() || middle == "_In" || middle == "_Out";
}

std::vector<std::string> listDirectory(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Only a regular file of an output's name is one to delete, never the trace
// (by any name): a symbolic link, a device, a FIFO, a socket or a folder of
// that name is not ours.
bool isOldOutput(const std::string& path, const FileIdentity& keep) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           !identityOfEntry(path).sameAs(keep);
}

bool entryExists(const std::string& name) {
    struct stat st {};
    return ::lstat(name.c_str(), &st) == 0;
}

}  // namespace

NameParts splitName(std::string_view name) {
    NameParts parts;
    const size_t slash = name.rfind('/');
    const size_t fileStart = slash == std::string_view::npos ? 0 : slash + 1;
    parts.directory = std::string(name.substr(0, fileStart));
    const std::string_view file = name.substr(fileStart);
    const size_t dot = file.rfind('.');
    if (dot == std::string_view::npos) {
        parts.baseName = std::string(file);
    } else {
        parts.baseName = std::string(file.substr(0, dot));
        parts.extension = std::string(file.substr(dot));
    }
    return parts;
}

bool isOutputNameOf(const NameParts& output, std::string_view candidate) {
    const size_t fixed = output.baseName.size() + output.extension.size();
    if (candidate.size() < fixed || !candidate.starts_with(output.baseName) ||
        !candidate.ends_with(output.extension)) {
        return false;
    }
    return isSuffixRun(candidate.substr(output.baseName.size(), candidate.size() - fixed));
}

bool clearOldOutputs(const std::string& outputName, const FileIdentity& keep,
                     OutputRefusal& refusal) {
    const NameParts output = splitName(outputName);
    const std::string directory = output.drive + output.directory;
    for (const std::string& name : listDirectory(directory.empty() ? "." : directory)) {
        if (!isOutputNameOf(output, name)) {
            continue;
        }
        const std::string path = directory + name;
        if (!isOldOutput(path, keep)) {
            continue;
        }
        if (::unlink(path.c_str()) != 0) {
            refusal = {path, "an old output that cannot be deleted: old and new packets would mix",
                       errno};
            return false;
        }
    }
    return true;
}

OutputNaming::OutputNaming(std::string_view outputName, std::string_view converterExtension,
                           Direction direction)
    : parts_(splitName(outputName)), direction_(direction) {
    if (!converterExtension.empty() && equalsIgnoreCase(parts_.extension, ".pcap")) {
        parts_.extension = std::string(converterExtension);
    }
}

std::string OutputNaming::nameFor(uint16_t lsn) const {
    std::string name = parts_.drive + parts_.directory + parts_.baseName;
    if (lsn != 0) {
        name += lsnSuffix(lsn);
    }
    if (direction_ != Direction::InOut) {
        name += "_" + std::string(directionName(direction_));
    }
    return name + parts_.extension;
}

bool OutputNaming::clearOldOutputs(const FileIdentity& keep, OutputRefusal& refusal) const {
    return converter::clearOldOutputs(outputName(), keep, refusal);
}

// base, then "_" and four upper-case hex digits other than 0000, then the
// direction's suffix when one direction is extracted, then the extension.
bool OutputNaming::isNameOfSomeLsn(std::string_view candidate) const {
    const std::string direction =
        direction_ == Direction::InOut ? "" : "_" + std::string(directionName(direction_));
    const std::string_view base = parts_.baseName;
    const std::string tail = direction + parts_.extension;
    if (!candidate.starts_with(base) || !candidate.ends_with(tail) ||
        candidate.size() < base.size() + tail.size()) {
        return false;
    }
    const std::string_view lsn =
        candidate.substr(base.size(), candidate.size() - base.size() - tail.size());
    return lsn.empty() || (lsn.size() == 5 && lsn[0] == '_' && lsn != "_0000" &&
                           std::all_of(lsn.begin() + 1, lsn.end(), isUpperHexDigit));
}

std::vector<std::string> OutputNaming::standingOutputs(const OutputLayout& layout) const {
    std::vector<std::string> standing;
    if (!layout.perLsn) {
        const std::string name = nameFor(layout.lsn);
        if (entryExists(name)) {
            standing.push_back(name);
        }
        return standing;
    }
    const std::string directory = parts_.drive + parts_.directory;
    for (const std::string& name : listDirectory(directory.empty() ? "." : directory)) {
        if (isNameOfSomeLsn(name)) {
            standing.push_back(directory + name);
        }
    }
    return standing;
}

}  // namespace ornpcap::converter
