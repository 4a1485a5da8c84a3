#include "app/naming.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <dirent.h>
#include <vector>

#include <unistd.h>

namespace ornpcap {

namespace {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

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

// The entry itself, or what a symbolic link of that name leads to.
bool isTheTrace(const std::string& path, const FileIdentity& keep) {
    return identityOfEntry(path).sameAs(keep) || identityOfPath(path).sameAs(keep);
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

std::string withConverterExtension(std::string_view name, std::string_view extension) {
    NameParts parts = splitName(name);
    if (equalsIgnoreCase(parts.extension, ".pcap")) {
        parts.extension = std::string(extension);
    }
    return parts.join();
}

void computeOutputName(ConversionSettings& settings, uint16_t lsnValue) {
    if (settings.format == FrameFormat::I4bIsdn) {
        settings.outputName = withConverterExtension(settings.outputName, ".i4b");
    } else if (writesVn(settings)) {
        settings.outputName = withConverterExtension(settings.outputName, ".vn");
    }
    settings.currentOutputName = settings.outputName;

    const NameParts parts = splitName(settings.outputName);
    const std::string stem = parts.drive + parts.directory + parts.baseName;
    if (settings.direction == Direction::InOut) {
        if (lsnValue != 0) {
            settings.currentOutputName = stem + lsnSuffix(lsnValue) + parts.extension;
        }
        return;
    }
    const std::string lsnPart = lsnValue != 0 ? lsnSuffix(lsnValue) : std::string();
    settings.currentOutputName = stem + lsnPart + "_" +
                                 std::string(directionName(settings.direction)) + parts.extension;
}

void computeVnOutputName(ConversionSettings& settings, uint16_t lsnValue) {
    settings.outputName = withConverterExtension(settings.outputName, ".vn");
    settings.currentOutputName = settings.outputName;
    if (lsnValue != 0) {
        const NameParts parts = splitName(settings.outputName);
        settings.currentOutputName =
            parts.drive + parts.directory + parts.baseName + lsnSuffix(lsnValue) + parts.extension;
    }
}

bool isOutputNameOf(const NameParts& output, std::string_view candidate) {
    const size_t fixed = output.baseName.size() + output.extension.size();
    if (candidate.size() < fixed || !candidate.starts_with(output.baseName) ||
        !candidate.ends_with(output.extension)) {
        return false;
    }
    return isSuffixRun(candidate.substr(output.baseName.size(), candidate.size() - fixed));
}

bool clearOldOutputs(const std::string& outputName, const FileIdentity& keep) {
    const NameParts output = splitName(outputName);
    const std::string directory = output.drive + output.directory;
    for (const std::string& name : listDirectory(directory.empty() ? "." : directory)) {
        if (!isOutputNameOf(output, name)) {
            continue;
        }
        const std::string path = directory + name;
        if (isTheTrace(path, keep)) {
            continue;
        }
        if (::unlink(path.c_str()) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace ornpcap
