#include "tools/printer/printer_journal.h"

#include <filesystem>
#include <stdexcept>

namespace quorvane {

namespace {

// Bytes outside printable ASCII are written as \u00XX so every line stays valid JSON
// whatever code page the job used.
void AppendJsonString(std::string& out, const std::string& s) {
    static const char* kHex = "0123456789abcdef";
    out += '"';
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

}  // namespace

PrinterJournal::PrinterJournal(const std::string& path) {
    if (!path.empty()) {
        std::filesystem::path parent = std::filesystem::path(path).parent_path();
        std::error_code ec;
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
        FFile.reset(std::fopen(path.c_str(), "a"));
        if (!FFile) throw std::runtime_error("cannot open journal " + path);
    }
}

std::string PrinterJournal::ToJson(const JournalEntry& e) {
    std::string out = "{\"job\":" + std::to_string(e.job) + ",\"kind\":";
    AppendJsonString(out, e.kind);
    if (!e.command.empty()) {
        out += ",\"command\":";
        AppendJsonString(out, e.command);
    }
    if (!e.text.empty()) {
        out += ",\"text\":";
        AppendJsonString(out, e.text);
    }
    if (!e.detail.empty()) {
        out += ",\"detail\":";
        AppendJsonString(out, e.detail);
    }
    out += '}';
    return out;
}

void PrinterJournal::Add(JournalEntry entry) {
    std::lock_guard lock(FMutex);
    if (entry.kind == "problem") ++FProblems;
    if (FFile) {
        std::string line = ToJson(entry) + "\n";
        std::fwrite(line.data(), 1, line.size(), FFile.get());
        std::fflush(FFile.get());
    }
    // The file keeps everything; memory keeps the first million entries of a long run.
    if (FEntries.size() < kMaxEntriesInMemory) FEntries.push_back(std::move(entry));
}

std::vector<JournalEntry> PrinterJournal::Entries() const {
    std::lock_guard lock(FMutex);
    return FEntries;
}

std::size_t PrinterJournal::ProblemCount() const {
    std::lock_guard lock(FMutex);
    return FProblems;
}

}  // namespace quorvane
