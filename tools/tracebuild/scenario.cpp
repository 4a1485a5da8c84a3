#include "tracebuild/scenario.hpp"

#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "tracebuild/trace_builder.hpp"
#include "tracebuild/traffic.hpp"

namespace ornpcap::tracebuild {

namespace {

constexpr size_t kDefaultChunk = 512;

struct Settings {
    HeaderSpec header;
    size_t chunk = kDefaultChunk;
    bool chunkGiven = false;  // by a blocks line
    BlockMode mode = BlockMode::Alternate;
    int level = 10;
};

// What a first reading of a scenario finds, before anything is written: when
// it gives no blocks line, the bytes its records take in the record stream
// (every traffic line generated once to count them; bulk and frame lines are
// counted without).
struct Survey {
    bool measured = false;
    uint64_t streamBytes = 0;
};

struct FrameLine {
    EventRecord record;
    Bytes bytes;
    std::optional<uint16_t> orig;
    std::optional<size_t> cut;
    bool async = false;
    bool badFcs = false;
};

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

bool number(const std::string& text, unsigned long& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtoul(text.c_str(), &end, 0);
    return *end == '\0';
}

bool hexBytes(const std::vector<std::string>& tokens, size_t from, Bytes& out) {
    for (size_t i = from; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t.size() % 2 != 0) {
            return false;
        }
        for (size_t j = 0; j < t.size(); j += 2) {
            unsigned long v = 0;
            if (!number("0x" + t.substr(j, 2), v)) {
                return false;
            }
            out.push_back(static_cast<uint8_t>(v));
        }
    }
    return true;
}

// What a bulk line asks for.
struct BulkRecipe {
    unsigned long count = 0;
    unsigned long port = 0;
    unsigned long lsn = 0;
    unsigned long lsns = 1;
    unsigned long size = 150;
    unsigned long step = 1;
    unsigned long time = 0;
};

// A word of a line that takes a number (key=value in bulk, traffic and
// frame lines, "key value" in the settings): its name, the numbers it takes,
// and where the number goes.
template <typename Target>
struct NumberWord {
    std::string_view name;
    unsigned long least;
    unsigned long most;
    void (*put)(Target& target, unsigned long value);
};

constexpr unsigned long kAny = ULONG_MAX;
constexpr unsigned long k16 = 0xFFFF;
constexpr unsigned long k32 = 0xFFFFFFFF;

const NumberWord<Settings> kSettingWords[] = {
    {"version", 5, 8, [](Settings& s, unsigned long v) { s.header.versionMajor = static_cast<uint16_t>(v); }},
    {"snap", 0, k16, [](Settings& s, unsigned long v) { s.header.snapLength = static_cast<uint16_t>(v); }},
    {"level", 1, 10, [](Settings& s, unsigned long v) { s.level = static_cast<int>(v); }},
};

// Any number: the size, lsns and port are held to their ranges together once
// the line is read, in one message.
const NumberWord<BulkRecipe> kBulkWords[] = {
    {"count", 0, kAny, [](BulkRecipe& b, unsigned long v) { b.count = v; }},
    {"port", 0, kAny, [](BulkRecipe& b, unsigned long v) { b.port = v; }},
    {"lsn", 0, kAny, [](BulkRecipe& b, unsigned long v) { b.lsn = v; }},
    {"lsns", 0, kAny, [](BulkRecipe& b, unsigned long v) { b.lsns = v; }},
    {"size", 0, kAny, [](BulkRecipe& b, unsigned long v) { b.size = v; }},
    {"step", 0, kAny, [](BulkRecipe& b, unsigned long v) { b.step = v; }},
    {"time", 0, kAny, [](BulkRecipe& b, unsigned long v) { b.time = v; }},
};

// format= names its format and is read apart.
const NumberWord<TrafficSpec> kTrafficWords[] = {
    {"count", 0, k32, [](TrafficSpec& t, unsigned long v) { t.count = v; }},
    {"port", 0, k16, [](TrafficSpec& t, unsigned long v) { t.port = static_cast<uint16_t>(v); }},
    {"lsn", 0, k16, [](TrafficSpec& t, unsigned long v) { t.lsn = static_cast<uint16_t>(v); }},
    {"lsns", 0, k16, [](TrafficSpec& t, unsigned long v) { t.lsns = static_cast<uint16_t>(v); }},
    {"seed", 0, k32, [](TrafficSpec& t, unsigned long v) { t.seed = static_cast<uint32_t>(v); }},
    {"time", 0, k32, [](TrafficSpec& t, unsigned long v) { t.startMs = static_cast<uint32_t>(v); }},
    {"step", 0, k32, [](TrafficSpec& t, unsigned long v) { t.stepMs = static_cast<uint32_t>(v); }},
};

// Beside the words async and badfcs.
const NumberWord<FrameLine> kFrameWords[] = {
    {"status", 0, 0xFF, [](FrameLine& f, unsigned long v) { f.record.eventStatus = static_cast<uint8_t>(v); }},
    {"orig", 0, k16, [](FrameLine& f, unsigned long v) { f.orig = static_cast<uint16_t>(v); }},
    {"cut", 0, kAny, [](FrameLine& f, unsigned long v) { f.cut = v; }},
};

const std::pair<std::string_view, BlockMode> kBlockModes[] = {
    {"compressed", BlockMode::Compressed},
    {"stored", BlockMode::Stored},
    {"alternate", BlockMode::Alternate},
    {"smallest", BlockMode::Smallest},
};

template <typename Target>
const NumberWord<Target>* wordNamed(std::span<const NumberWord<Target>> table, std::string_view name) {
    for (const NumberWord<Target>& word : table) {
        if (word.name == name) {
            return &word;
        }
    }
    return nullptr;
}

// What is wrong with a key=value word, if anything.
enum class WordFault { None, NotKeyValue, NotANumber, OutOfRange, Unknown };

// Reads a key=value word into the target by its row of the table. The value
// is read before the key is looked up: the value of a word not in the table
// is held to unknownMost, so that each line says what it always said.
template <typename Target>
WordFault readWord(const std::string& word, std::span<const NumberWord<Target>> table,
                   unsigned long unknownMost, Target& target) {
    const size_t eq = word.find('=');
    if (eq == std::string::npos) {
        return WordFault::NotKeyValue;
    }
    const NumberWord<Target>* row = wordNamed(table, std::string_view(word).substr(0, eq));
    unsigned long v = 0;
    if (!number(word.substr(eq + 1), v)) {
        return WordFault::NotANumber;
    }
    if (row == nullptr ? v > unknownMost : v < row->least || v > row->most) {
        return WordFault::OutOfRange;
    }
    if (row == nullptr) {
        return WordFault::Unknown;
    }
    row->put(target, v);
    return WordFault::None;
}

// Reads a scenario line by line and writes its records, or, given a Survey,
// only counts them.
class Parser {
public:
    Parser(std::FILE* out, const ScenarioOptions& options, size_t defaultChunk,
           unsigned long announced)
        : out_(out), options_(options), announced_(announced) {
        settings_.chunk = defaultChunk;
    }
    Parser(Survey& survey, const ScenarioOptions& options)
        : out_(nullptr), options_(options), survey_(&survey) {}

    bool line(const std::string& raw);
    bool finish();
    // The writer stopped, or ScenarioOptions::stop says to.
    bool halted() const {
        return (writer_ && writer_->stopped()) || (options_.stop && options_.stop());
    }
    std::string error;
    unsigned long records = 0;
    unsigned blocks = 0;
    bool stopped = false;

private:
    bool setting(const std::vector<std::string>& w);
    bool frame(const std::vector<std::string>& w);
    bool bulk(const std::vector<std::string>& w);
    bool traffic(const std::vector<std::string>& w);
    bool flushFrame();
    // The first record ends the settings; in a survey, it decides whether the
    // stream's bytes are counted.
    void beginRecords();
    TraceWriter& writer();
    bool fail(const std::string& message) {
        error = message;
        return false;
    }

    std::FILE* out_;
    ScenarioOptions options_;
    unsigned long announced_ = 0;  // records, as the survey counted them
    Survey* survey_ = nullptr;
    Settings settings_;
    bool recordsBegun_ = false;
    std::unique_ptr<TraceWriter> writer_;
    std::optional<FrameLine> frame_;
};

void Parser::beginRecords() {
    if (!recordsBegun_ && survey_ != nullptr) {
        survey_->measured = !settings_.chunkGiven;
    }
    recordsBegun_ = true;
}

TraceWriter& Parser::writer() {
    beginRecords();
    if (!writer_) {
        writer_ = std::make_unique<TraceWriter>(out_, settings_.header, settings_.chunk,
                                                settings_.mode, settings_.level,
                                                options_.workers);
        writer_->stopWhen([this](uint64_t added) {
            if (options_.progress) {
                options_.progress(added, announced_);
            }
            return options_.stop && options_.stop();
        });
    }
    return *writer_;
}

bool Parser::setting(const std::vector<std::string>& w) {
    if (recordsBegun_) {
        return fail("settings must come before the first record");
    }
    HeaderSpec& h = settings_.header;
    unsigned long v = 0;
    const std::string& key = w[0];
    if (const NumberWord<Settings>* row = wordNamed<Settings>(kSettingWords, key)) {
        if (w.size() != 2 || !number(w[1], v) || v < row->least || v > row->most) {
            return fail("cannot read the " + key + " line");
        }
        row->put(settings_, v);
        return true;
    }
    if (key == "start" && w.size() == 3) {
        unsigned y, mo, d, hh, mi, ss;
        if (std::sscanf(w[1].c_str(), "%u-%u-%u", &y, &mo, &d) != 3 ||
            std::sscanf(w[2].c_str(), "%u:%u:%u", &hh, &mi, &ss) != 3) {
            return fail("start wants YYYY-MM-DD HH:MM:SS");
        }
        h.year = static_cast<uint16_t>(y);
        h.month = static_cast<uint8_t>(mo);
        h.day = static_cast<uint8_t>(d);
        h.hour = static_cast<uint8_t>(hh);
        h.minute = static_cast<uint8_t>(mi);
        h.second = static_cast<uint8_t>(ss);
        return true;
    }
    if (key == "utc" && w.size() == 2 && (w[1][0] == '+' || w[1][0] == '-')) {
        unsigned hh, mi, ss;
        if (std::sscanf(w[1].c_str() + 1, "%u:%u:%u", &hh, &mi, &ss) != 3) {
            return fail("utc wants +HH:MM:SS or -HH:MM:SS");
        }
        h.utcOffset = {static_cast<uint8_t>(w[1][0] == '+' ? 1 : 0xFF), static_cast<uint8_t>(hh),
                       static_cast<uint8_t>(mi), static_cast<uint8_t>(ss)};
        return true;
    }
    if (key == "description") {
        h.description.clear();
        for (size_t i = 1; i < w.size(); ++i) {
            h.description += (i > 1 ? " " : "") + w[i];
        }
        return true;
    }
    if (key == "blocks" && w.size() == 3 && number(w[1], v) && v >= 1 && v <= kLargestBlockData) {
        settings_.chunk = v;
        settings_.chunkGiven = true;
        for (const auto& [name, mode] : kBlockModes) {
            if (w[2] == name) {
                settings_.mode = mode;
                return true;
            }
        }
        return fail("blocks mode is compressed, stored, alternate or smallest");
    }
    return fail("cannot read the " + key + " line");
}

bool Parser::frame(const std::vector<std::string>& w) {
    FrameLine f;
    unsigned long time = 0, port = 0, lsn = 0;
    if (w.size() < 6 || !number(w[1], time) || !number(w[2], port) || port > 0xFFFF ||
        !number(w[3], lsn) || lsn > 0xFFFF) {
        return fail("frame wants <ms> <port> <lsn> <in|out|typeN> ... : <hex>");
    }
    f.record.timeMs = static_cast<uint32_t>(time);
    f.record.port = static_cast<uint16_t>(port);
    f.record.lsn = static_cast<uint16_t>(lsn);
    unsigned long v = 0;
    if (w[4] == "in") {
        f.record.eventType = kEventFrameReceived;
    } else if (w[4] == "out") {
        f.record.eventType = kEventFrameSent;
    } else if (w[4].starts_with("type") && number(w[4].substr(4), v) && v <= 0xFF) {
        f.record.eventType = static_cast<uint8_t>(v);
    } else {
        return fail("the direction is in, out or typeN");
    }
    size_t i = 5;
    for (; i < w.size() && w[i] != ":"; ++i) {
        const std::string& opt = w[i];
        if (opt == "async") {
            f.async = true;
        } else if (opt == "badfcs") {
            f.badFcs = true;
        } else if (readWord<FrameLine>(opt, kFrameWords, kAny, f) != WordFault::None) {
            return fail("unknown frame option " + opt);
        }
    }
    if (i == w.size()) {
        return fail("frame needs ':' before its bytes");
    }
    if (!hexBytes(w, i + 1, f.bytes)) {
        return fail("bad hex bytes");
    }
    frame_ = std::move(f);
    return true;
}

bool Parser::flushFrame() {
    if (!frame_) {
        return true;
    }
    FrameLine f = std::move(*frame_);
    frame_.reset();
    Bytes payload = f.bytes;
    if (f.async) {
        appendFcs(payload);
        if (f.badFcs) {
            payload.back() ^= 0xFF;
        }
        payload = stuffAsync(payload);
    }
    if (payload.size() > 0xFFFF) {
        return fail("frame longer than 65535 bytes");
    }
    f.record.origLength = f.orig.value_or(static_cast<uint16_t>(payload.size()));
    if (f.cut && *f.cut < payload.size()) {
        payload.resize(*f.cut);
    }
    ++records;
    if (survey_ != nullptr) {
        beginRecords();
        survey_->streamBytes += recordFormOf(settings_.header.versionMajor).headerSize + payload.size();
        return true;
    }
    writer().addRecord(f.record, payload);
    return true;
}

bool Parser::bulk(const std::vector<std::string>& w) {
    BulkRecipe recipe;
    for (size_t i = 1; i < w.size(); ++i) {
        switch (readWord<BulkRecipe>(w[i], kBulkWords, kAny, recipe)) {
            case WordFault::None: break;
            case WordFault::Unknown: return fail("unknown bulk word " + w[i].substr(0, w[i].find('=')));
            default: return fail("bulk wants key=value words");
        }
    }
    const auto [count, port, lsn, lsns, size, step, time] = recipe;
    if (size < 46 || size > 0xFFFF || lsns == 0 || port > 0xFFFF) {
        return fail("bulk wants size 46..65535, lsns >= 1 and a 16-bit port");
    }
    if (survey_ != nullptr) {
        if (count != 0) {
            beginRecords();
        }
        records += count;
        const uint64_t each = recordFormOf(settings_.header.versionMajor).headerSize + size;
        survey_->streamBytes = count > (UINT64_MAX - survey_->streamBytes) / each
                                   ? UINT64_MAX  // more than any trace holds
                                   : survey_->streamBytes + count * each;
        return true;
    }
    // Ethernet addresses, then IPv4/UDP with a sequence number, then filler
    // that changes a little from frame to frame.
    Bytes frame(size, 0);
    const uint8_t head[] = {0x00, 0x1b, 0x21, 0x0a, 0x0b, 0x0c, 0x00, 0x1b, 0x21, 0x01, 0x02, 0x03,
                            0x45, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11, 0x00, 0x00,
                            0x0a, 0x00, 0x00, 0x01, 0x0a, 0x00, 0x00, 0x02, 0x13, 0x88, 0x13, 0x89};
    std::copy(std::begin(head), std::end(head), frame.begin());
    const uint16_t ipLength = static_cast<uint16_t>(size - 12);
    frame[14] = static_cast<uint8_t>(ipLength >> 8);
    frame[15] = static_cast<uint8_t>(ipLength);
    uint32_t state = 0x12345678;
    for (unsigned long n = 0; n < count && writer().takesRecords(); ++n) {
        EventRecord record;
        record.timeMs = static_cast<uint32_t>(time + n * step);
        record.port = static_cast<uint16_t>(port);
        record.lsn = static_cast<uint16_t>(lsn + n % lsns);
        record.eventType = n % 2 == 0 ? kEventFrameSent : kEventFrameReceived;
        record.origLength = static_cast<uint16_t>(size);
        frame[16] = static_cast<uint8_t>(n >> 8);
        frame[17] = static_cast<uint8_t>(n);
        for (size_t i = 40; i < size; ++i) {
            if (i % 4 != 0) {
                state = state * 1664525u + 1013904223u;
                frame[i] = static_cast<uint8_t>(state >> 24);
            }
        }
        writer().addRecord(record, frame);
        ++records;
    }
    return true;
}

bool Parser::traffic(const std::vector<std::string>& w) {
    TrafficSpec recipe;
    bool haveFormat = false, havePort = false;
    for (size_t i = 1; i < w.size(); ++i) {
        const size_t eq = w[i].find('=');
        const std::string key = w[i].substr(0, eq);
        if (eq != std::string::npos && key == "format") {
            const std::optional<TrafficFormat> format = trafficFormatNamed(w[i].substr(eq + 1));
            if (!format) {
                return fail("traffic format is ethernet, ppp-sync, ppp-async, raw-ip, i4b or internal-udp");
            }
            recipe.format = *format;
            haveFormat = true;
            continue;
        }
        switch (readWord<TrafficSpec>(w[i], kTrafficWords, k32, recipe)) {
            case WordFault::None: break;
            case WordFault::NotKeyValue: return fail("traffic wants key=value words");
            case WordFault::Unknown: return fail("unknown traffic word " + key);
            default: return fail("bad traffic value " + w[i]);
        }
        havePort = havePort || key == "port";
    }
    if (!haveFormat || !havePort || recipe.lsns == 0) {
        return fail("traffic wants format=, port= and lsns >= 1");
    }
    records += recipe.count;
    if (survey_ != nullptr) {
        beginRecords();
        if (survey_->measured) {
            const uint32_t headerSize = recordFormOf(settings_.header.versionMajor).headerSize;
            generateTraffic(
                recipe,
                [&](const EventRecord&, std::span<const uint8_t> payload) {
                    survey_->streamBytes += headerSize + payload.size();
                },
                options_.stop);
        }
        return true;
    }
    addTraffic(writer(), recipe);
    return true;
}

bool Parser::line(const std::string& raw) {
    const std::string text = raw.substr(0, raw.find('#'));
    const std::vector<std::string> w = words(text);
    if (w.empty()) {
        return true;
    }
    const bool continuation = !text.empty() && (text[0] == ' ' || text[0] == '\t');
    if (continuation && frame_) {
        return hexBytes(w, 0, frame_->bytes) || fail("bad hex bytes");
    }
    if (!flushFrame()) {
        return false;
    }
    if (w[0] == "frame") {
        return frame(w);
    }
    if (w[0] == "bulk") {
        return bulk(w);
    }
    if (w[0] == "traffic") {
        return traffic(w);
    }
    return setting(w);
}

bool Parser::finish() {
    if (!flushFrame()) {
        return false;
    }
    if (survey_ != nullptr) {
        return true;
    }
    const bool ok = writer().finish();
    blocks = writer().blockCount();
    if (writer().stopped()) {
        stopped = true;
        return false;
    }
    if (writer().tooManyBlocks()) {
        return fail("more than the 65535 blocks (and 4 GiB) a trailer counts: use larger blocks");
    }
    return ok || fail("cannot write the trace");
}

// Reads the whole text into the parser; false, with the error, at the first
// line it refuses.
bool readLines(Parser& parser, const std::string& text, std::string& error) {
    std::istringstream in(text);
    unsigned lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        if (!parser.line(line)) {
            error = "line " + std::to_string(lineNumber) + ": " + parser.error;
            return false;
        }
        if (parser.halted()) {
            parser.stopped = true;
            return false;
        }
    }
    if (!parser.finish()) {
        error = parser.error;
        return false;
    }
    return true;
}

}  // namespace

size_t defaultBlockBytes(uint64_t streamBytes) {
    size_t chunk = kDefaultChunk;
    while (chunk < kLargestBlockData && (streamBytes + chunk - 1) / chunk > 0xFFFF) {
        chunk = chunk * 2 > kLargestBlockData ? kLargestBlockData : chunk * 2;
    }
    return chunk;
}

ScenarioResult runScenario(const std::string& text, std::FILE* out,
                           const ScenarioOptions& options) {
    ScenarioResult result;
    // Read once to find errors, the records and the stream's size before
    // anything is written, then again to write.
    Survey survey;
    Parser surveyor(survey, options);
    if (!readLines(surveyor, text, result.error)) {
        result.stopped = surveyor.stopped;
        return result;
    }
    Parser parser(out, options,
                  survey.measured ? defaultBlockBytes(survey.streamBytes) : kDefaultChunk,
                  surveyor.records);
    if (!readLines(parser, text, result.error)) {
        result.stopped = parser.stopped;
        return result;
    }
    result.ok = true;
    result.records = parser.records;
    result.blocks = parser.blocks;
    return result;
}

}  // namespace ornpcap::tracebuild
