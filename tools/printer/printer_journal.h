#pragma once
// JSON-lines record of everything the virtual printer received and every problem it met.
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorvane {

struct JournalEntry {
    int job = 0;          // 1-based job number; 0 before the first job
    std::string kind;     // "command", "problem", "approximation", "immediate", "query", "label", "job"
    std::string command;  // command name, upper case ("BAR", "ESC!?", ...)
    std::string text;     // the command line as received (bitmap data left out, capped)
    std::string detail;   // problem message, reply, or file name
};

class PrinterJournal {
public:
    static constexpr std::size_t kMaxEntriesInMemory = 1'000'000;

    // An empty path keeps entries in memory only.
    explicit PrinterJournal(const std::string& path = {});

    void Add(JournalEntry entry);
    std::vector<JournalEntry> Entries() const;
    std::size_t ProblemCount() const;

    static std::string ToJson(const JournalEntry& entry);

private:
    struct FileCloser {
        void operator()(std::FILE* f) const {
            if (f) std::fclose(f);
        }
    };
    mutable std::mutex FMutex;
    std::unique_ptr<std::FILE, FileCloser> FFile;
    std::vector<JournalEntry> FEntries;
    std::size_t FProblems = 0;
};

}  // namespace quorvane
