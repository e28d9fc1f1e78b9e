#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "posix/file_descriptor.h"
#include "tools/printer/label_canvas.h"
#include "tools/printer/printer_journal.h"
#include "tools/printer/printer_options.h"
#include "tools/printer/virtual_printer.h"

namespace quorvane::test {

struct JobResult {
    std::vector<RenderedLabel> labels;
    std::vector<JournalEntry> journal;
    std::string reply;
    std::vector<std::string> problems;  // details of the problem entries
};

// Feeds one job to a fresh printer in memory and ends it.
JobResult RunJob(const std::string& bytes, PrinterOptions options = {});

// Black dots' bounding box inside the given region (the whole image by default).
DotRect BlackBounds(const MonoImage& image, DotRect region = {0, 0, -1, -1});
long long CountBlack(const MonoImage& image, DotRect region);

// Reads one barcode with zxing-cpp; empty when nothing is found.
std::string Decode(const MonoImage& image, const std::string& format);
// The same preceded by the symbology identifier the scanner reports ("]d2" for GS1 DataMatrix).
std::string DecodeWithIdentifier(const MonoImage& image, const std::string& format);

bool HasProblem(const JobResult& r, const std::string& fragment);

// A fresh empty folder under the temporary folder, named for the test and the process.
std::filesystem::path TempDir(const std::string& name);

// A client of the printer's loopback port.
TFileDescriptor Connect(int port);
void Send(int fd, const std::string& bytes);
// Reads until n bytes arrived or nothing more comes within the time-out.
std::string Receive(int fd, std::size_t n, int timeoutMs = 5000);

}  // namespace quorvane::test
