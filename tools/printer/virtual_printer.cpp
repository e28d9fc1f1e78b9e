#include "tools/printer/virtual_printer.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

#include "tools/printer/symbol_renderer.h"
#include "tools/printer/text_renderer.h"

namespace quorvane {

namespace {

constexpr std::size_t kMaxJobBytes = 256u << 20;
constexpr std::size_t kMaxJournalText = 200;
constexpr long long kMaxCoordinate = 1'000'000;
constexpr long long kMaxCopyFiles = 1000;
constexpr std::size_t kMaxExpression = 2048;

std::string Hex(std::uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", b);
    return buf;
}

bool ParseDouble(std::string_view s, double& v) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size() && std::isfinite(v);
}

// Reads numeric arguments; the first bad one is reported and the command skipped.
class ArgReader {
public:
    explicit ArgReader(const TsplCommand& cmd) : FCmd(cmd) {}
    bool Ok() const { return FError.empty(); }
    const std::string& Error() const { return FError; }

    long long Int(std::size_t i, long long lo = -kMaxCoordinate, long long hi = kMaxCoordinate) {
        double v = Number(i);
        if (!Ok()) return 0;
        if (v != std::floor(v) || v < static_cast<double>(lo) || v > static_cast<double>(hi)) {
            Fail("argument " + std::to_string(i + 1) + " out of range: " + FCmd.args[i].text);
            return 0;
        }
        return static_cast<long long>(v);
    }
    double Number(std::size_t i) {
        double v = 0;
        if (!Ok()) return 0;
        if (i >= FCmd.args.size() || FCmd.args[i].quoted || !ParseDouble(FCmd.args[i].text, v))
            Fail("bad number in argument " + std::to_string(i + 1) +
                 (i < FCmd.args.size() ? ": " + FCmd.args[i].text : std::string()));
        return v;
    }
    void Fail(const std::string& message) {
        if (FError.empty()) FError = message;
    }

private:
    const TsplCommand& FCmd;
    std::string FError;
};

// Dots per millimetre as the manuals give them: 8 at 203 dpi, 12 at 300 dpi (one maker's own
// example uses 11.8 there), 24 at 600 dpi.
int DotsPerMm(int dpi) { return dpi / 25; }

// A length in inches (for the manuals' ranges) and in dots: a bare number is inches; "3 mm"
// millimetres and "24 dot" dots, each with the space before the unit that the manual requires
// ("3mm" is not a length). Converted lengths drop their fraction of a dot.
struct Length {
    double inches = 0;
    long long dots = 0;
    bool millimetres = false;
};

bool ParseLength(const std::string& text, int dpi, Length& length) {
    std::size_t end = text.size();
    while (end > 0 && std::isalpha(static_cast<unsigned char>(text[end - 1]))) --end;
    std::string unit = TsplUpper(text.substr(end));
    std::string number = text.substr(0, end);
    if (!unit.empty()) {
        if (number.empty() || number.back() != ' ') return false;
        while (!number.empty() && number.back() == ' ') number.pop_back();
    }
    double v;
    if (!ParseDouble(number, v) || v < 0 || v > 1e6) return false;
    constexpr double kSlack = 1e-9;  // 2.5 x 8 is 20 dots, not 19.999...
    double dots;
    if (unit.empty()) {
        length.inches = v;
        dots = v * dpi;
    } else if (unit == "MM") {
        length.inches = v / 25.4;
        length.millimetres = true;
        dots = v * DotsPerMm(dpi);
    } else if (unit == "DOT") {
        length.inches = v / dpi;
        dots = v;
    } else {
        return false;
    }
    length.dots = static_cast<long long>(std::floor(dots + kSlack));
    return true;
}

bool ParseWhole(std::string_view s, long long& v) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && ec == std::errc() && p == s.data() + s.size();
}

// The code pages the manuals name, and those no TSPL source confirms but printers are sold
// with (accepted leniently, listed in --help); anything else is refused.
std::string Charset(const std::string& codepage) {
    static const char* const kNational[] = {"USA", "BRI", "GER", "FRE", "DAN", "ITA", "SPA", "SWE", "SWI"};
    static const int kNumbered[] = {437, 850, 852, 860, 863, 865, 857, 1250, 1252, 1253, 1254,
                                    // not found in any TSPL source:
                                    737, 851, 855, 861, 862, 866, 869, 1251, 1255, 1256, 1257, 1258,
                                    // model-dependent CJK:
                                    932, 936, 949, 950};
    std::string cp = TsplUpper(codepage);
    if (cp == "UTF-8" || cp == "UTF8") return "UTF-8";
    for (const char* n : kNational)
        if (cp == n) return "ASCII";
    long long number;
    if (cp.starts_with("8859-") && ParseWhole(std::string_view(cp).substr(5), number) && number >= 1 &&
        number <= 16 && number != 12)
        return "ISO-" + cp;
    if (ParseWhole(cp, number))
        for (int n : kNumbered)
            if (number == n) return "CP" + std::to_string(n);
    return {};
}

// "@1=\"10\"" or "A$=B$+C$": a counter or variable set outside any command.
bool IsAssignment(const std::string& line) {
    const std::string t = TsplTrim(line);
    const std::size_t eq = t.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    for (std::size_t i = 0; i < eq; ++i) {
        const char c = t[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '@' && c != '$' && c != '_' && c != ' ')
            return false;
    }
    return true;
}

int Rotation(long long degrees) {
    return degrees == 90 || degrees == 180 || degrees == 270 ? static_cast<int>(degrees) : 0;
}

// Manual-mode QR data: a mode letter first (N numeric, A alphanumeric, K kanji, B and a 4-digit
// byte count), "!" and a letter to change mode; the letters and counts are not data. AData
// gets the data alone.
bool ManualQrData(const std::string& text, std::string& data, std::string& error) {
    data.clear();
    std::size_t i = 0;
    bool first = true;
    while (i < text.size()) {
        if (!first) {
            if (text[i] != '!') {
                error = "manual QRCODE data: \"!\" and a mode letter expected at byte " + std::to_string(i + 1);
                return false;
            }
            ++i;
        }
        const char mode = i < text.size() ? text[i] : '\0';
        ++i;
        if (mode == 'B') {
            long long count = 0;
            if (i + 4 > text.size() || !ParseWhole(std::string_view(text).substr(i, 4), count) || count < 0) {
                error = "manual QRCODE data: B wants a 4-digit byte count";
                return false;
            }
            i += 4;
            if (i + static_cast<std::size_t>(count) > text.size()) {
                error = "manual QRCODE data: byte count " + std::to_string(count) + " beyond the data";
                return false;
            }
            data.append(text, i, static_cast<std::size_t>(count));
            i += static_cast<std::size_t>(count);
        } else if (mode == 'N' || mode == 'A' || mode == 'K') {
            const std::size_t end = std::min(text.find('!', i), text.size());
            const std::string part = text.substr(i, end - i);
            static const std::string kAlnum = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
            const bool ok = mode == 'N'   ? part.find_first_not_of("0123456789") == std::string::npos
                            : mode == 'A' ? part.find_first_not_of(kAlnum) == std::string::npos
                                          : part.size() % 2 == 0;
            if (!ok) {
                error = std::string("manual QRCODE data: characters outside mode ") + mode;
                return false;
            }
            data += part;
            i = end;
        } else {
            error = "manual QRCODE data must begin with a mode letter N, A, K or B";
            return false;
        }
        first = false;
    }
    if (first) {
        error = "manual QRCODE data must begin with a mode letter N, A, K or B";
        return false;
    }
    return true;
}

bool ValidRotation(long long degrees) {
    return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
}

}  // namespace

VirtualPrinter::VirtualPrinter(const PrinterOptions& options, PrinterJournal& journal, StatusModel& status)
    : FOptions(options), FJournal(journal), FStatus(status), FRibbon(options.ribbon) {
    FSettings.widthDots = 4LL * options.dpi;
    FSettings.heightDots = 2LL * options.dpi;
    FSettings.gapDots = options.dpi * 12LL / 100;
}

void VirtualPrinter::Log(const std::string& kind, const std::string& command, const std::string& text,
                         const std::string& detail) {
    JournalEntry e;
    e.job = FJobs.load();
    e.kind = kind;
    e.command = command;
    e.text = text.size() > kMaxJournalText ? text.substr(0, kMaxJournalText) + "..." : text;
    e.detail = detail;
    FJournal.Add(std::move(e));
}

void VirtualPrinter::Problem(const TsplCommand& cmd, const std::string& message) {
    Log("problem", cmd.name, cmd.line, message);
}

LabelCanvas& VirtualPrinter::Canvas() {
    const int w = static_cast<int>(FSettings.widthDots);
    const int h = static_cast<int>(FSettings.heightDots);
    if (FCanvas.Width() != w || FCanvas.Height() != h) FCanvas = LabelCanvas(w, h);
    return FCanvas;
}

void VirtualPrinter::NoteClipped(const TsplCommand& cmd, bool inside) {
    if (!inside) Problem(cmd, "content outside the label");
}

std::string VirtualPrinter::ToUtf8(const std::string& bytes) const {
    std::string charset = Charset(FSettings.codepage);
    if (charset.empty() || charset == "UTF-8") return bytes;
    struct IconvCloser {
        void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
    };
    iconv_t raw = iconv_open("UTF-8", charset.c_str());
    if (raw == reinterpret_cast<iconv_t>(-1)) return bytes;
    std::unique_ptr<void, IconvCloser> cd(raw);
    std::string out;
    for (char c : bytes) {
        // One byte at a time: these are single-byte code pages, and a byte with no mapping
        // becomes '?' rather than ending the text.
        char in[1] = {c};
        char buf[8];
        char* ip = in;
        char* op = buf;
        std::size_t il = 1, ol = sizeof buf;
        if (iconv(raw, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1))
            out += '?';
        else
            out.append(buf, static_cast<std::size_t>(op - buf));
    }
    return out;
}

std::string VirtualPrinter::Feed(std::string_view bytes) {
    if (!FInJob) {
        FInJob = true;
        FJobBytes.clear();
        FJobBytesCapped = false;
        ++FJobs;
        Log("job", "", "", "start");
    }
    if (FJobBytes.size() + bytes.size() <= kMaxJobBytes) {
        FJobBytes.append(bytes);
    } else if (!FJobBytesCapped) {
        FJobBytesCapped = true;
        Log("problem", "", "", "job larger than 256 MB; raw copy cut short");
    }
    std::string reply;
    for (auto& ev : FParser.Feed(bytes)) {
        try {
            switch (ev.kind) {
                case TsplEvent::Kind::Command: Execute(ev.command, reply); break;
                case TsplEvent::Kind::Immediate: Immediate(ev.immediate, reply); break;
                case TsplEvent::Kind::EscQuery: EscQuery(ev.text, reply); break;
                case TsplEvent::Kind::Problem: Log("problem", "", ev.text, ev.problem); break;
            }
        } catch (const std::exception& ex) {
            Problem(ev.command, ex.what());
        }
    }
    return reply;
}

bool VirtualPrinter::EndJob() {
    if (!FInJob) return false;
    for (auto& ev : FParser.Finish()) Log("problem", "", ev.text, ev.problem);
    std::string file;
    if (!FOptions.outDir.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "job-%04d.bin", FJobs.load());
        file = FOptions.outDir + "/" + name;
        std::ofstream out(file, std::ios::binary);
        out.write(FJobBytes.data(), static_cast<std::streamsize>(FJobBytes.size()));
        if (!out) Log("problem", "", "", "cannot write " + file);
    }
    Log("job", "", "",
        "end, " + std::to_string(FJobBytes.size()) + " bytes" + (file.empty() ? "" : ", " + file));
    FInJob = false;
    FJobBytes.clear();
    FJobBytes.shrink_to_fit();
    return true;
}

std::vector<RenderedLabel> VirtualPrinter::Labels() const {
    std::lock_guard lock(FLabelsMutex);
    return FLabels;
}

void VirtualPrinter::Immediate(char c, std::string& reply) {
    std::string name = std::string("ESC!") + c;
    if (c == '?') {
        std::uint8_t b = FStatus.Answer();
        reply += static_cast<char>(b);
        Log("immediate", name, "", Hex(b));
    } else if (c == 'R' || c == 'C') {
        // Reset keeps what a printer keeps in its settings memory (size, gap, speed, ribbon)
        // and drops the image buffer.
        FCanvas.Clear();
        FSettings.refX = FSettings.refY = 0;
        FSettings.direction = FSettings.mirror = 0;
        Log("immediate", name, "", "reset");
    } else {
        Log("problem", name, "", "unsupported immediate command");
    }
}

void VirtualPrinter::EscQuery(const std::string& text, std::string& reply) {
    const std::string prefix = "& V1 getval ";
    if (text.starts_with(prefix)) {
        std::string key = text.substr(prefix.size());
        if (key == "\"sw_ribbon\"") {
            std::string answer = FRibbon ? "on" : "off";
            reply += answer + "\r\n";
            Log("query", "ESC FS getval", text, answer);
            return;
        }
    }
    Log("problem", "ESC FS", text, "unknown query");
}

void VirtualPrinter::Execute(const TsplCommand& cmd, std::string& reply) {
    const std::string& n = cmd.name;
    Log("command", n, cmd.line);
    for (const TsplArg& arg : cmd.args)
        if (arg.quoted && arg.text.size() > kMaxExpression) {
            Problem(cmd, "string longer than 2048 bytes, skipped");
            return;
        }
    if (n == "SIZE")
        DoSize(cmd);
    else if (n == "GAP" || n == "BLINE")
        DoGap(cmd);
    else if (n == "SPEED") {
        ArgReader a(cmd);
        double v = cmd.args.size() == 1 ? a.Number(0) : 0;
        if (cmd.args.size() != 1)
            Problem(cmd, "wrong argument count");
        else if (!a.Ok())
            Problem(cmd, a.Error());
        else if (v < 1 || v > 12)
            Problem(cmd, "speed out of range 1-12");
        else
            FSettings.speed = v;
    } else if (n == "DENSITY") {
        ArgReader a(cmd);
        long long v = cmd.args.size() == 1 ? a.Int(0, 0, 15) : 0;
        if (cmd.args.size() != 1)
            Problem(cmd, "wrong argument count");
        else if (!a.Ok())
            Problem(cmd, a.Error());
        else
            FSettings.density = static_cast<int>(v);
    } else if (n == "DIRECTION") {
        ArgReader a(cmd);
        if (cmd.args.empty() || cmd.args.size() > 2) {
            Problem(cmd, "wrong argument count");
            return;
        }
        long long d = a.Int(0, 0, 1);
        long long m = cmd.args.size() == 2 ? a.Int(1, 0, 1) : 0;
        if (!a.Ok()) {
            Problem(cmd, a.Error());
            return;
        }
        FSettings.direction = static_cast<int>(d);
        FSettings.mirror = static_cast<int>(m);
    } else if (n == "REFERENCE") {
        ArgReader a(cmd);
        if (cmd.args.size() != 2) {
            Problem(cmd, "wrong argument count");
            return;
        }
        long long x = a.Int(0), y = a.Int(1);
        if (!a.Ok()) {
            Problem(cmd, a.Error());
            return;
        }
        FSettings.refX = x;
        FSettings.refY = y;
    } else if (n == "CLS" || n == "FORMFEED" || n == "HOME") {
        if (!cmd.args.empty())
            Problem(cmd, "wrong argument count");
        else if (n == "CLS")
            Canvas().Clear();
    } else if (n == "CODEPAGE") {
        if (cmd.args.size() != 1 || Charset(cmd.args[0].text).empty())
            Problem(cmd, "unknown code page");
        else
            FSettings.codepage = cmd.args[0].text;
    } else if (n == "FEED" || n == "BACKFEED" || n == "BACKUP") {
        ArgReader a(cmd);
        if (cmd.args.size() != 1)
            Problem(cmd, "wrong argument count");
        else if (n == "FEED")
            a.Int(0, 0);
        else
            a.Int(0, 1, 9999);
        if (!a.Ok()) Problem(cmd, a.Error());
    } else if (n == "GAPDETECT") {
        ArgReader a(cmd);
        if (cmd.args.size() == 2)
            a.Int(0, 0), a.Int(1, 0);
        else if (!cmd.args.empty())
            a.Fail("wrong argument count");
        if (!a.Ok()) Problem(cmd, a.Error());
    } else if (n == "BITMAP")
        DoBitmap(cmd);
    else if (n == "BAR" || n == "REVERSE" || n == "ERASE")
        DoRect(cmd);
    else if (n == "BOX")
        DoBox(cmd);
    else if (n == "CIRCLE")
        DoCircle(cmd);
    else if (n == "TEXT")
        DoText(cmd);
    else if (n == "BARCODE")
        DoBarcode(cmd);
    else if (n == "QRCODE")
        DoQrCode(cmd);
    else if (n == "DMATRIX")
        DoDataMatrix(cmd);
    else if (n == "PDF417")
        DoPdf417(cmd);
    else if (n == "PRINT")
        DoPrint(cmd);
    else if (n == "SET")
        DoSet(cmd);
    else if (n == "ZZZCR") {
        // A configuration dump; byte 76 holds the ribbon switch.
        std::string dump(128, '\0');
        std::string model = "QUORVANE VIRTUAL TSPL";
        std::copy(model.begin(), model.end(), dump.begin());
        dump[76] = FRibbon ? 1 : 0;
        reply += dump;
        Log("query", n, cmd.line, std::string("ribbon ") + (FRibbon ? "1" : "0"));
    } else if (n == "AUTODETECT" || n == "BLINEDETECT" || n == "OFFSET" || n == "SHIFT" || n == "SOUND" ||
               n == "CUT" || n == "LIMITFEED" || n == "SELFTEST" || n == "EOP" || n == "INITIALPRINTER") {
        // Paper handling whose parameters no manual page confirms: accepted as they come.
    } else if (n == "MAXICODE" || n == "PUTBMP" || n == "PUTPCX" || n == "ELLIPSE" || n == "TLC39" ||
               n == "CODABLOCK" || n == "AZTEC" || n == "MPDF417" || n == "RSS" || n == "DOWNLOAD" ||
               n == "COUNTER" || n == "INPUT") {
        Log("unsupported", n, cmd.line, "valid TSPL this printer does not run; nothing drawn");
    } else if (IsAssignment(cmd.line)) {
        Log("unsupported", "variable", cmd.line, "counters and variables are not run; nothing drawn");
    } else {
        Problem(cmd, "unknown command, skipped");
    }
}

void VirtualPrinter::DoSize(const TsplCommand& cmd) {
    if (cmd.args.size() != 2) {
        Problem(cmd, "wrong argument count");
        return;
    }
    Length w, h;
    if (!ParseLength(cmd.args[0].text, FOptions.dpi, w) || !ParseLength(cmd.args[1].text, FOptions.dpi, h)) {
        Problem(cmd, "bad length (a bare number is inches; millimetres are written \"n mm\")");
        return;
    }
    if (w.dots < 1 || h.dots < 1 || w.dots > 40000 || h.dots > 40000 ||
        static_cast<double>(w.dots) * static_cast<double>(h.dots) > static_cast<double>(LabelCanvas::kMaxDots)) {
        Problem(cmd, "label size beyond limits, skipped");
        return;
    }
    NoteDisputedMillimetres(cmd, w.millimetres || h.millimetres);
    FSettings.widthDots = w.dots;
    FSettings.heightDots = h.dots;
}

void VirtualPrinter::NoteDisputedMillimetres(const TsplCommand& cmd, bool millimetres) {
    if (millimetres && DotsPerMm(FOptions.dpi) == 12)
        Leniency(cmd, "millimetres at 300 dpi taken as 12 dots/mm (sources also give 11.8)");
}

void VirtualPrinter::Leniency(const TsplCommand& cmd, const std::string& message) {
    Log("leniency", cmd.name, cmd.line, message);
}

void VirtualPrinter::DoGap(const TsplCommand& cmd) {
    // GAP m,n / BLINE m,n: gap (or mark) 0-1 inch, offset (or extra feed) up to the label length.
    if (cmd.args.size() != 2) {
        Problem(cmd, "wrong argument count");
        return;
    }
    Length g, offset;
    if (!ParseLength(cmd.args[0].text, FOptions.dpi, g) ||
        !ParseLength(cmd.args[1].text, FOptions.dpi, offset)) {
        Problem(cmd, "bad length (a bare number is inches; millimetres are written \"n mm\")");
        return;
    }
    constexpr double kSlack = 1e-9;  // 25.4 mm is exactly one inch
    if (g.inches > 1 + kSlack) {
        Problem(cmd, "gap out of range 0-1 in (0-25.4 mm)");
        return;
    }
    if (offset.dots > FSettings.heightDots) {
        Problem(cmd, "offset longer than the label");
        return;
    }
    NoteDisputedMillimetres(cmd, g.millimetres || offset.millimetres);
    FSettings.gapDots = g.dots;
}

void VirtualPrinter::DoBitmap(const TsplCommand& cmd) {
    if (cmd.args.size() != 5) {
        Problem(cmd, "wrong argument count");
        return;
    }
    ArgReader a(cmd);
    long long x = a.Int(0), y = a.Int(1), wb = a.Int(2, 0, 65535), h = a.Int(3, 0, 65535),
              mode = a.Int(4, 0, 2);
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    if (cmd.data.size() != static_cast<std::size_t>(wb * h)) {
        Problem(cmd, "bitmap data missing");
        return;
    }
    if (wb == 0 || h == 0) return;
    MonoImage pic(static_cast<int>(wb * 8), static_cast<int>(h));
    for (long long j = 0; j < h; ++j)
        for (long long i = 0; i < wb; ++i) {
            auto byte = static_cast<unsigned char>(cmd.data[static_cast<std::size_t>(j * wb + i)]);
            for (int bit = 0; bit < 8; ++bit)  // a 0 bit prints a dot
                pic.At(static_cast<int>(i * 8 + bit), static_cast<int>(j)) = (byte & (0x80 >> bit)) ? 0 : 1;
        }
    DrawMode m = mode == 0 ? DrawMode::Overwrite : mode == 1 ? DrawMode::Or : DrawMode::Xor;
    NoteClipped(cmd, Canvas().Place(pic, x + FSettings.refX, y + FSettings.refY, 0, m));
}

void VirtualPrinter::DoRect(const TsplCommand& cmd) {
    if (cmd.args.size() != 4) {
        Problem(cmd, "wrong argument count");
        return;
    }
    ArgReader a(cmd);
    long long x = a.Int(0), y = a.Int(1), w = a.Int(2, 0), h = a.Int(3, 0);
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    DrawMode m = cmd.name == "BAR" ? DrawMode::Or : cmd.name == "REVERSE" ? DrawMode::Xor : DrawMode::Clear;
    NoteClipped(cmd, Canvas().FillRect(x + FSettings.refX, y + FSettings.refY, w, h, m));
}

void VirtualPrinter::DoBox(const TsplCommand& cmd) {
    if (cmd.args.size() != 5) {
        Problem(cmd, "wrong argument count");
        return;
    }
    ArgReader a(cmd);
    long long x0 = a.Int(0), y0 = a.Int(1), x1 = a.Int(2), y1 = a.Int(3), t = a.Int(4, 1, 10000);
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    if (x1 < x0 || y1 < y0) {
        Problem(cmd, "end point before start point");
        return;
    }
    // The end point is the box's last dot; lines grow inward.
    long long w = x1 - x0 + 1, h = y1 - y0 + 1;
    x0 += FSettings.refX;
    y0 += FSettings.refY;
    LabelCanvas& c = Canvas();
    long long tw = std::min(t, w), th = std::min(t, h);
    bool inside = c.FillRect(x0, y0, w, th, DrawMode::Or);
    inside = c.FillRect(x0, y0 + h - th, w, th, DrawMode::Or) && inside;
    inside = c.FillRect(x0, y0, tw, h, DrawMode::Or) && inside;
    inside = c.FillRect(x0 + w - tw, y0, tw, h, DrawMode::Or) && inside;
    NoteClipped(cmd, inside);
}

void VirtualPrinter::DoCircle(const TsplCommand& cmd) {
    if (cmd.args.size() != 4) {
        Problem(cmd, "wrong argument count");
        return;
    }
    ArgReader a(cmd);
    long long x = a.Int(0), y = a.Int(1), d = a.Int(2, 1, 8000), t = a.Int(3, 1, 8000);
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    MonoImage pic(static_cast<int>(d), static_cast<int>(d));
    double r = d / 2.0, inner = std::max(0.0, r - static_cast<double>(t));
    for (int j = 0; j < pic.height; ++j)
        for (int i = 0; i < pic.width; ++i) {
            double dx = i + 0.5 - r, dy = j + 0.5 - r, dist = std::sqrt(dx * dx + dy * dy);
            pic.At(i, j) = dist <= r && dist >= inner ? 1 : 0;
        }
    NoteClipped(cmd, Canvas().Place(pic, x + FSettings.refX, y + FSettings.refY, 0, DrawMode::Or));
}

void VirtualPrinter::DoText(const TsplCommand& cmd) {
    // TEXT x,y,"font",rotation,x-mul,y-mul,[alignment,]"content"
    if (cmd.args.size() != 7 && cmd.args.size() != 8) {
        Problem(cmd, "wrong argument count");
        return;
    }
    ArgReader a(cmd);
    FontCell cell;
    const bool known = TextRenderer::LookupFont(cmd.args[2].text, FOptions.dpi, cell);
    // Font "0" and TrueType fonts take point sizes; the resident fonts factors of 1-10.
    const long long most = known && cell.scalable ? 999 : 10;
    long long x = a.Int(0), y = a.Int(1), rot = a.Int(3), xm = a.Int(4, 1, most), ym = a.Int(5, 1, most);
    long long align = cmd.args.size() == 8 ? a.Int(6, 0, 3) : 0;
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    if (!ValidRotation(rot)) {
        Problem(cmd, "bad rotation");
        return;
    }
    if (!known) {
        Problem(cmd, "unknown font " + cmd.args[2].text);
        return;
    }
    const TsplArg& content = cmd.args.back();
    if (!content.quoted) {
        Problem(cmd, "content is not a quoted string (variables are not supported)");
        return;
    }
    MonoImage pic = TextRenderer::Render(ToUtf8(content.text), cell, static_cast<int>(xm),
                                         static_cast<int>(ym), FOptions.dpi);
    if (pic.width == 0) {
        if (!content.text.empty()) Problem(cmd, "text too large to draw, skipped");
        return;
    }
    PlaceAligned(cmd, pic, x, y, Rotation(rot), align);
}

void VirtualPrinter::PlaceAligned(const TsplCommand& cmd, const MonoImage& pic, long long x, long long y,
                                  int rotation, long long align) {
    // Alignment shifts along the picture's own direction: x is then its centre or right end.
    long long shift = align == 2 ? pic.width / 2 : align == 3 ? pic.width : 0;
    long long px = x + FSettings.refX, py = y + FSettings.refY;
    if (rotation == 0)
        px -= shift;
    else if (rotation == 90)
        py -= shift;
    else if (rotation == 180)
        px += shift;
    else
        py += shift;
    NoteClipped(cmd, Canvas().Place(pic, px, py, rotation, DrawMode::Or));
}

void VirtualPrinter::DoBarcode(const TsplCommand& cmd) {
    // BARCODE x,y,"type",height,readable,rotation,narrow,wide,[alignment,]"content"
    if (cmd.args.size() != 9 && cmd.args.size() != 10) {
        Problem(cmd, "wrong argument count");
        return;
    }
    ArgReader a(cmd);
    LinearSymbol s;
    long long x = a.Int(0), y = a.Int(1);
    s.type = TsplUpper(cmd.args[2].text);
    s.height = static_cast<int>(a.Int(3, 1, 30000));
    s.readable = static_cast<int>(a.Int(4, 0, 3));
    long long rot = a.Int(5);
    s.narrow = static_cast<int>(a.Int(6, 1, 100));
    s.wide = static_cast<int>(a.Int(7, 1, 300));
    long long align = cmd.args.size() == 10 ? a.Int(8, 0, 3) : 0;
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    if (!ValidRotation(rot)) {
        Problem(cmd, "bad rotation");
        return;
    }
    if (!cmd.args[2].quoted || !SymbolRenderer::KnownLinearType(s.type)) {
        Problem(cmd, "unknown barcode type " + cmd.args[2].text);
        return;
    }
    if (!cmd.args.back().quoted) {
        Problem(cmd, "content is not a quoted string");
        return;
    }
    if (SymbolRenderer::TwoWidthType(s.type) && s.wide <= s.narrow) {
        Problem(cmd, "wide element not wider than the narrow one");
        return;
    }
    s.content = cmd.args.back().text;
    s.dpi = FOptions.dpi;
    MonoImage pic = SymbolRenderer::Linear(s);
    PlaceAligned(cmd, pic, x, y, Rotation(rot), align);
}

void VirtualPrinter::DoQrCode(const TsplCommand& cmd) {
    // QRCODE x,y,ECC,cell,mode,rotation,[model,mask,]"content"
    if (cmd.args.size() < 7 || cmd.args.size() > 9) {
        Problem(cmd, "wrong argument count");
        return;
    }
    ArgReader a(cmd);
    QrSymbol s;
    long long x = a.Int(0), y = a.Int(1);
    std::string ecc = TsplUpper(cmd.args[2].text);
    s.cell = static_cast<int>(a.Int(3, 1, 10));
    std::string mode = TsplUpper(cmd.args[4].text);
    long long rot = a.Int(5);
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    if (cmd.args[2].quoted || cmd.args[4].quoted) {
        Problem(cmd, "error correction level and mode are written bare, not quoted");
        return;
    }
    if (ecc != "L" && ecc != "M" && ecc != "Q" && ecc != "H") {
        Problem(cmd, "bad error correction level");
        return;
    }
    if (mode != "A" && mode != "M") {
        Problem(cmd, "bad mode");
        return;
    }
    if (!ValidRotation(rot)) {
        Problem(cmd, "bad rotation");
        return;
    }
    s.ecc = ecc[0];
    std::string model = cmd.args.size() >= 8 ? TsplUpper(cmd.args[6].text) : "M1";
    if (model != "M1" && model != "M2") {
        Problem(cmd, "bad model " + cmd.args[6].text);
        return;
    }
    if (cmd.args.size() == 9) {
        std::string mask = TsplUpper(cmd.args[7].text);
        if (mask.size() != 2 || mask[0] != 'S' || mask[1] < '0' || mask[1] > '8') {
            Problem(cmd, "bad mask " + cmd.args[7].text);
            return;
        }
        s.mask = mask[1] == '8' ? -1 : mask[1] - '0';
    }
    if (!cmd.args.back().quoted) {
        Problem(cmd, "content is not a quoted string");
        return;
    }
    // Valid commands this printer only approximates: journalled, but no fault of the job.
    if (cmd.args.size() >= 8 && model == "M1")
        Log("approximation", cmd.name, cmd.line, "model 1 drawn as model 2");
    s.content = cmd.args.back().text;
    if (mode == "M") {
        std::string error;
        if (!ManualQrData(cmd.args.back().text, s.content, error)) {
            Problem(cmd, error);
            return;
        }
        Log("approximation", cmd.name, cmd.line, "segments drawn in the modes the encoder picks");
    }
    MonoImage pic = SymbolRenderer::Qr(s);
    NoteClipped(cmd,
                Canvas().Place(pic, x + FSettings.refX, y + FSettings.refY, Rotation(rot), DrawMode::Or));
}

void VirtualPrinter::DoDataMatrix(const TsplCommand& cmd) {
    // DMATRIX x,y,width,height,[c#,x#,r#,a#,row,col,]"content"
    if (cmd.args.size() < 5) {
        Problem(cmd, "wrong argument count");
        return;
    }
    ArgReader a(cmd);
    DataMatrixSymbol s;
    long long x = a.Int(0), y = a.Int(1);
    s.boxWidth = static_cast<int>(a.Int(2, 0, 30000));
    s.boxHeight = static_cast<int>(a.Int(3, 0, 30000));
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    int rotation = 0;
    std::vector<long long> size;
    for (std::size_t i = 4; i + 1 < cmd.args.size(); ++i) {
        std::string opt = TsplUpper(cmd.args[i].text);
        if (opt.empty() || !std::isalpha(static_cast<unsigned char>(opt[0]))) {
            size.push_back(a.Int(i, 10, 144));
            continue;
        }
        long long v;
        if (!size.empty() || !ParseWhole(std::string_view(opt).substr(1), v)) {
            Problem(cmd, "bad option " + opt);
            return;
        }
        if (opt[0] == 'C' && v >= 0 && v <= 255)
            s.escape = static_cast<int>(v);
        else if (opt[0] == 'X' && v >= 1)
            s.module = static_cast<int>(std::min(v, 100LL));
        else if (opt[0] == 'R' && ValidRotation(v))
            rotation = static_cast<int>(v);
        else if (opt[0] == 'A' && (v == 0 || v == 1))
            s.rectangle = v == 1;
        else {
            Problem(cmd, "bad option " + opt);
            return;
        }
    }
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    if (size.size() == 2) {
        s.rows = static_cast<int>(size[0]);
        s.cols = static_cast<int>(size[1]);
    } else if (!size.empty()) {
        Problem(cmd, "wrong argument count");
        return;
    }
    if (!cmd.args.back().quoted) {
        Problem(cmd, "content is not a quoted string");
        return;
    }
    s.content = cmd.args.back().text;
    if (s.module == 0)
        Leniency(cmd, "no module size: the largest that keeps the symbol inside its " + std::to_string(s.boxWidth) +
                          "x" + std::to_string(s.boxHeight) + " area");
    MonoImage pic;
    try {
        pic = SymbolRenderer::DataMatrix(s);
    } catch (const std::runtime_error& ex) {
        if (!s.rows) throw;
        Problem(cmd, "content does not fit a " + std::to_string(s.rows) + "x" + std::to_string(s.cols) +
                         " symbol: " + ex.what());
        return;
    }
    NoteClipped(cmd, Canvas().Place(pic, x + FSettings.refX, y + FSettings.refY, rotation, DrawMode::Or));
}

void VirtualPrinter::DoPdf417(const TsplCommand& cmd) {
    // PDF417 x,y,width,height,rotate,[option],"content"
    if (cmd.args.size() < 6) {
        Problem(cmd, "wrong argument count");
        return;
    }
    ArgReader a(cmd);
    Pdf417Symbol s;
    long long x = a.Int(0), y = a.Int(1);
    a.Int(2, 0, 30000);
    a.Int(3, 0, 30000);
    long long rot = a.Int(4);
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    if (!ValidRotation(rot)) {
        Problem(cmd, "bad rotation");
        return;
    }
    // The manual's ranges; rows and columns have none.
    struct Range {
        char letter;
        long long lo, hi;
    };
    static constexpr Range kOptions[] = {
        {'P', 0, 1},    {'E', 0, 8},    {'M', 0, 1}, {'W', 2, 9},    {'H', 4, 99},
        {'R', 1, 1000}, {'C', 1, 1000}, {'T', 0, 1}, {'L', 1, 2048}, {'U', 0, kMaxCoordinate}};
    // With Ln the content follows unquoted, exactly n bytes, commas and quotes included.
    std::size_t optionsEnd = cmd.args.size() - 1;
    std::string content = cmd.args.back().text;
    bool contentOk = cmd.args.back().quoted;
    for (std::size_t i = 5; i < cmd.args.size(); ++i) {
        long long n;
        const std::string& t = cmd.args[i].text;
        if (cmd.args[i].quoted || t.size() < 2 || std::toupper(static_cast<unsigned char>(t[0])) != 'L' ||
            !ParseWhole(std::string_view(t).substr(1), n) || n < 1 || n > 2048)
            continue;
        std::size_t at = 0, commas = 0;
        while (at < cmd.line.size() && commas < i + 1)
            if (cmd.line[at++] == ',') ++commas;
        if (commas < i + 1 || cmd.line.size() - at < static_cast<std::size_t>(n)) {
            Problem(cmd, "content shorter than its length option " + t);
            return;
        }
        content = cmd.line.substr(at, static_cast<std::size_t>(n));
        contentOk = true;
        optionsEnd = i + 1;
        if (cmd.line.size() - at > static_cast<std::size_t>(n))
            Problem(cmd, "bytes after the content of length " + std::to_string(n));
        break;
    }
    for (std::size_t i = 5; i < optionsEnd; ++i) {
        std::string opt = TsplUpper(cmd.args[i].text);
        long long v;
        const Range* range = nullptr;
        for (const Range& r : kOptions)
            if (!opt.empty() && opt[0] == r.letter) range = &r;
        if (!range || !ParseWhole(std::string_view(opt).substr(1), v) || v < range->lo || v > range->hi) {
            Problem(cmd, "bad option " + cmd.args[i].text);
            return;
        }
        switch (opt[0]) {
            case 'E': s.ecc = static_cast<int>(v); break;
            case 'W': s.module = static_cast<int>(v); break;
            case 'H': s.rowHeight = static_cast<int>(v); break;
            case 'R': s.rows = static_cast<int>(v); break;
            case 'C': s.cols = static_cast<int>(v); break;
            case 'T': s.truncated = v == 1; break;
            case 'U':  // human readable x,y,c: two more numbers follow
                if (i + 3 >= cmd.args.size()) {
                    Problem(cmd, "wrong argument count");
                    return;
                }
                a.Int(i + 1, 0);
                a.Int(i + 2, 1, 2048);
                if (!a.Ok()) {
                    Problem(cmd, a.Error());
                    return;
                }
                i += 2;
                break;
            default: break;
        }
    }
    if (!contentOk) {
        Problem(cmd, "content is not a quoted string");
        return;
    }
    s.content = content;
    MonoImage pic = SymbolRenderer::Pdf417(s);
    NoteClipped(cmd,
                Canvas().Place(pic, x + FSettings.refX, y + FSettings.refY, Rotation(rot), DrawMode::Or));
}

void VirtualPrinter::DoSet(const TsplCommand& cmd) {
    // SET KEY VALUE; "SET GAP 0," has a comma of its own, so the rest of the line is read whole.
    std::string rest = TsplUpper(TsplTrim(std::string_view(TsplTrim(cmd.line)).substr(3)));
    std::size_t blank = rest.find(' ');
    std::string key = rest.substr(0, blank);
    std::string value = blank == std::string::npos ? "" : TsplTrim(std::string_view(rest).substr(blank));
    long long number;
    bool onOff = value == "ON" || value == "OFF";
    bool count = ParseWhole(value, number) && number >= 0;
    bool ok = true;
    if (key == "RIBBON") {
        ok = onOff;
        if (ok) FRibbon = value == "ON";
    } else if (key == "CUTTER" || key == "PARTIAL_CUTTER") {
        ok = value == "OFF" || value == "BATCH" || count;
    } else if (key == "TEAR" || key == "STRIPER" || key == "PEEL") {
        ok = onOff;
    } else if (key == "GAP") {
        ok = count || value == "AUTO" || value == "OFF" || value == "0," || value == "REVERSE" ||
             value == "OBVERSE";
    } else if (key == "BACK" || key == "COUNTER" || key == "HEAD" || key == "PRINTKEY" || key == "REPRINT" ||
               key == "KEY1" || key == "KEY2" || key == "LED1" || key == "LED2" || key == "LED3") {
        // Settings no manual page confirms: accepted as they come.
    } else {
        Problem(cmd, "unknown SET option, skipped");
        return;
    }
    if (!ok) Problem(cmd, "bad value for SET " + key);
}

void VirtualPrinter::DoPrint(const TsplCommand& cmd) {
    if (cmd.args.empty() || cmd.args.size() > 2) {
        Problem(cmd, "wrong argument count");
        return;
    }
    ArgReader a(cmd);
    long long m = a.Int(0, 1, 999999999);
    long long n = cmd.args.size() == 2 ? a.Int(1, 1, 999999999) : 1;
    if (!a.Ok()) {
        Problem(cmd, a.Error());
        return;
    }
    std::uint8_t state = FStatus.Current();
    if (state & ~StatusModel::kPrinting)
        Log("problem", cmd.name, cmd.line, "printed while the status is " + Hex(state));
    MonoImage picture = Canvas().Oriented(FSettings.direction == 1, FSettings.mirror == 1);
    long long total = m * n;
    if (FOptions.copies) {
        long long files = std::min(total, kMaxCopyFiles);
        if (files < total)
            Problem(cmd, "only the first " + std::to_string(kMaxCopyFiles) + " copies written");
        for (long long i = 0; i < files; ++i) SaveLabel(picture, 1);
    } else {
        SaveLabel(picture, static_cast<int>(std::min<long long>(total, 1'000'000'000)));
    }
    if (FOptions.mechanics) {
        double seconds =
            static_cast<double>(total) * static_cast<double>(FSettings.heightDots + FSettings.gapDots) /
            FOptions.dpi / FSettings.speed;
        FStatus.AddBusy(std::chrono::duration<double>(seconds));
    }
}

void VirtualPrinter::SaveLabel(const MonoImage& image, int copies) {
    RenderedLabel label;
    label.job = FJobs.load();
    label.number = ++FLabelCount;
    label.copies = copies;
    if (!FOptions.outDir.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "label-%04d.png", label.number);
        label.file = FOptions.outDir + "/" + name;
        try {
            WritePng(image, label.file, FOptions.dpi);
        } catch (const std::exception& ex) {
            Log("problem", "PRINT", "", ex.what());
        }
    }
    Log("label", "PRINT", "",
        (label.file.empty() ? "label " + std::to_string(label.number) : label.file) + ", " +
            std::to_string(image.width) + "x" + std::to_string(image.height) + ", copies " +
            std::to_string(copies));
    if (FOptions.keepLabels) label.image = image;
    std::lock_guard lock(FLabelsMutex);
    FLabels.push_back(std::move(label));
}

}  // namespace quorvane
