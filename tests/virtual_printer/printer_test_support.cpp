#define ZX_USE_UTF8 1
#include "tests/virtual_printer/printer_test_support.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ZXing/ReadBarcode.h>

#include <algorithm>

#include "tools/printer/status_model.h"

namespace quorvane::test {

JobResult RunJob(const std::string& bytes, PrinterOptions options) {
    options.keepLabels = true;
    PrinterJournal journal;
    StatusModel status(options.status, options.statusScript);
    VirtualPrinter printer(options, journal, status);
    JobResult r;
    r.reply = printer.Feed(bytes);
    printer.EndJob();
    r.labels = printer.Labels();
    r.journal = journal.Entries();
    for (const auto& e : r.journal)
        if (e.kind == "problem") r.problems.push_back(e.detail);
    return r;
}

DotRect BlackBounds(const MonoImage& image, DotRect region) {
    if (region.right < 0) region = {0, 0, image.width, image.height};
    DotRect b{image.width, image.height, -1, -1};
    for (long long y = region.top; y < region.bottom; ++y)
        for (long long x = region.left; x < region.right; ++x)
            if (image.At(static_cast<int>(x), static_cast<int>(y))) {
                b.left = std::min(b.left, x);
                b.top = std::min(b.top, y);
                b.right = std::max(b.right, x + 1);
                b.bottom = std::max(b.bottom, y + 1);
            }
    return b;
}

long long CountBlack(const MonoImage& image, DotRect region) {
    long long n = 0;
    for (long long y = region.top; y < region.bottom; ++y)
        for (long long x = region.left; x < region.right; ++x)
            n += image.At(static_cast<int>(x), static_cast<int>(y));
    return n;
}

namespace {

ZXing::Result Read(const MonoImage& image, const std::string& format) {
    // Aim the "scanner" at the printed symbol: zxing's Data Matrix detector starts from the
    // middle of the picture, so a symbol in a corner of a large label would be missed.
    DotRect b = BlackBounds(image);
    if (b.right < 0) return {};
    const long long margin = 20;
    int w = static_cast<int>(b.right - b.left + 2 * margin),
        h = static_cast<int>(b.bottom - b.top + 2 * margin);
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(w) * h, 255);
    for (long long y = b.top; y < b.bottom; ++y)
        for (long long x = b.left; x < b.right; ++x)
            if (image.At(static_cast<int>(x), static_cast<int>(y)))
                grey[static_cast<std::size_t>(y - b.top + margin) * w + (x - b.left + margin)] = 0;
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormatFromString(format));
    hints.setTryHarder(true);
    hints.setEanAddOnSymbol(ZXing::EanAddOnSymbol::Read);
    ZXing::ImageView view(grey.data(), w, h, ZXing::ImageFormat::Lum);
    return ZXing::ReadBarcode(view, hints);
}

}  // namespace

std::string Decode(const MonoImage& image, const std::string& format) {
    const ZXing::Result result = Read(image, format);
    return result.isValid() ? result.text() : std::string();
}

std::string DecodeWithIdentifier(const MonoImage& image, const std::string& format) {
    const ZXing::Result result = Read(image, format);
    return result.isValid() ? result.symbologyIdentifier() + result.text() : std::string();
}

bool HasProblem(const JobResult& r, const std::string& fragment) {
    for (const auto& p : r.problems)
        if (p.find(fragment) != std::string::npos) return true;
    return false;
}

std::filesystem::path TempDir(const std::string& name) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("quorvane-vp-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TFileDescriptor Connect(int port) {
    TFileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

void Send(int fd, const std::string& bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string Receive(int fd, std::size_t n, int timeoutMs) {
    std::string out;
    char buf[512];
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) break;
        ssize_t got = ::read(fd, buf, std::min(sizeof buf, n - out.size()));
        if (got <= 0) break;
        out.append(buf, static_cast<std::size_t>(got));
    }
    return out;
}

}  // namespace quorvane::test
