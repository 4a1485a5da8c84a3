#include "writers/output_preparation.hpp"

#include <sys/stat.h>

namespace ornpcap {

namespace {

enum class Standing { Missing, Regular, Folder, Link, Device, Fifo, Socket };

Standing standingAt(const std::string& name) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0) {
        return Standing::Missing;
    }
    if (S_ISLNK(st.st_mode)) {
        return Standing::Link;
    }
    if (S_ISREG(st.st_mode)) {
        return Standing::Regular;
    }
    if (S_ISDIR(st.st_mode)) {
        return Standing::Folder;
    }
    if (S_ISFIFO(st.st_mode)) {
        return Standing::Fifo;
    }
    return S_ISSOCK(st.st_mode) ? Standing::Socket : Standing::Device;
}

// Where a symbolic link leads, as what it is there.
Standing standingThrough(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
        return Standing::Regular;  // a file (or none yet): written through as one
    }
    if (S_ISFIFO(st.st_mode)) {
        return Standing::Fifo;
    }
    return S_ISSOCK(st.st_mode) ? Standing::Socket : Standing::Device;
}

const char* kindName(Standing kind) {
    switch (kind) {
        case Standing::Link: return "a symbolic link";
        case Standing::Device: return "a device";
        case Standing::Fifo: return "a FIFO";
        case Standing::Socket: return "a socket";
        default: return "a file";
    }
}

ResultCode refuse(OutputRefusal& refusal, const std::string& name, std::string reason) {
    refusal = {name, std::move(reason), 0};
    return ResultCode::CannotCreateTarget;
}

// The output the user named, where it is not a plain file: written through,
// unless the run makes further names from it or must seek in it.
ResultCode checkNamedOutput(const OutputNames& names, const OutputNeeds& needs,
                            OutputRefusal& refusal) {
    const std::string named = names.namedOutput();
    Standing kind = standingAt(named);
    if (kind == Standing::Link) {
        kind = standingThrough(named);
    }
    if (kind != Standing::Device && kind != Standing::Fifo && kind != Standing::Socket) {
        return ResultCode::Ok;
    }
    const bool derivesNames = needs.layout.perLsn || names.nameFor(needs.layout.lsn) != named;
    if (derivesNames) {
        return refuse(refusal, named,
                      std::string("is ") + kindName(kind) +
                          ": the files named after it (_XXXX, _In, _Out) are not made beside it");
    }
    if (needs.seeks && kind != Standing::Device) {
        return refuse(refusal, named,
                      std::string("is ") + kindName(kind) +
                          ": a .vn file is completed in place, which needs a file it can seek");
    }
    return ResultCode::Ok;
}

}  // namespace

ResultCode prepareOutputs(const OutputNames& names, const OutputNeeds& needs,
                          const FileIdentity& trace, OutputRefusal& refusal) {
    if (!names.clearOldOutputs(trace, refusal)) {
        return ResultCode::CannotCreateTarget;
    }
    if (ResultCode rc = checkNamedOutput(names, needs, refusal); rc != ResultCode::Ok) {
        return rc;
    }
    const std::string named = names.namedOutput();
    for (const std::string& name : names.standingOutputs(needs.layout)) {
        const Standing kind = standingAt(name);
        const bool leftToOpening = kind == Standing::Missing || kind == Standing::Folder ||
                                   (kind == Standing::Regular && identityOfEntry(name).sameAs(trace));
        if (leftToOpening || name == named) {
            continue;
        }
        return refuse(refusal, name,
                      std::string("is ") + kindName(kind) +
                          ", not a file this run created: nothing is written to it");
    }
    return ResultCode::Ok;
}

}  // namespace ornpcap
