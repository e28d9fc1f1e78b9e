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

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

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

// "30 mm", "2" (inches), "240 dot" -> inches.
bool ParseLength(const std::string& text, int dpi, double& inches) {
    std::string t = text;
    std::string unit;
    std::size_t end = t.size();
    while (end > 0 && std::isalpha(static_cast<unsigned char>(t[end - 1]))) --end;
    unit = Upper(t.substr(end));
    t = t.substr(0, end);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
    double v;
    if (!ParseDouble(t, v) || v < 0) return false;
    if (unit.empty()) inches = v;
    else if (unit == "MM") inches = v / 25.4;
    else if (unit == "DOT") inches = v / dpi;
    else return false;
    return true;
}

std::string Charset(const std::string& codepage) {
    std::string cp = Upper(codepage);
    if (cp == "UTF-8" || cp == "UTF8") return "UTF-8";
    if (cp.starts_with("8859-")) return "ISO-" + cp;
    if (!cp.empty() && std::all_of(cp.begin(), cp.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return "CP" + cp;
    return {};
}

int Rotation(long long degrees) {
    return degrees == 90 || degrees == 180 || degrees == 270 ? static_cast<int>(degrees) : 0;
}

bool ValidRotation(long long degrees) {
    return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
}

}  // namespace

VirtualPrinter::VirtualPrinter(const PrinterOptions& options, PrinterJournal& journal, StatusModel& status)
    : FOptions(options), FJournal(journal), FStatus(status), FRibbon(options.ribbon) {}

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
    int w = static_cast<int>(std::lround(FSettings.widthIn * FOptions.dpi));
    int h = static_cast<int>(std::lround(FSettings.heightIn * FOptions.dpi));
    if (FCanvas.Width() != w || FCanvas.Height() != h) FCanvas = LabelCanvas(w, h);
    return FCanvas;
}

void VirtualPrinter::NoteClipped(const TsplCommand& cmd, bool inside) {
    if (!inside) Problem(cmd, "content outside the label");
}

std::string VirtualPrinter::ToUtf8(const std::string& bytes) const {
    std::string charset = Charset(FSettings.codepage);
    if (charset.empty() || charset == "UTF-8") return bytes;
    struct IconvCloser { void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); } };
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
        if (iconv(raw, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) out += '?';
        else out.append(buf, static_cast<std::size_t>(op - buf));
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
    Log("job", "", "", "end, " + std::to_string(FJobBytes.size()) + " bytes" + (file.empty() ? "" : ", " + file));
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
    if (n == "SIZE") DoSize(cmd);
    else if (n == "GAP" || n == "BLINE") DoGap(cmd);
    else if (n == "SPEED") {
        ArgReader a(cmd);
        double v = cmd.args.size() == 1 ? a.Number(0) : 0;
        if (cmd.args.size() != 1) Problem(cmd, "wrong argument count");
        else if (!a.Ok()) Problem(cmd, a.Error());
        else if (v <= 0 || v > 30) Problem(cmd, "speed out of range");
        else FSettings.speed = v;
    } else if (n == "DENSITY") {
        ArgReader a(cmd);
        long long v = cmd.args.size() == 1 ? a.Int(0, 0, 15) : 0;
        if (cmd.args.size() != 1) Problem(cmd, "wrong argument count");
        else if (!a.Ok()) Problem(cmd, a.Error());
        else FSettings.density = static_cast<int>(v);
    } else if (n == "DIRECTION") {
        ArgReader a(cmd);
        if (cmd.args.empty() || cmd.args.size() > 2) { Problem(cmd, "wrong argument count"); return; }
        long long d = a.Int(0, 0, 1);
        long long m = cmd.args.size() == 2 ? a.Int(1, 0, 1) : 0;
        if (!a.Ok()) { Problem(cmd, a.Error()); return; }
        FSettings.direction = static_cast<int>(d);
        FSettings.mirror = static_cast<int>(m);
    } else if (n == "REFERENCE") {
        ArgReader a(cmd);
        if (cmd.args.size() != 2) { Problem(cmd, "wrong argument count"); return; }
        long long x = a.Int(0), y = a.Int(1);
        if (!a.Ok()) { Problem(cmd, a.Error()); return; }
        FSettings.refX = x;
        FSettings.refY = y;
    } else if (n == "CLS") {
        if (!cmd.args.empty()) Problem(cmd, "wrong argument count");
        Canvas().Clear();
    } else if (n == "CODEPAGE") {
        if (cmd.args.size() != 1 || Charset(cmd.args[0].text).empty()) Problem(cmd, "unknown code page");
        else FSettings.codepage = cmd.args[0].text;
    } else if (n == "BITMAP") DoBitmap(cmd);
    else if (n == "BAR" || n == "REVERSE" || n == "ERASE") DoRect(cmd);
    else if (n == "BOX") DoBox(cmd);
    else if (n == "CIRCLE") DoCircle(cmd);
    else if (n == "TEXT") DoText(cmd);
    else if (n == "BARCODE") DoBarcode(cmd);
    else if (n == "QRCODE") DoQrCode(cmd);
    else if (n == "DMATRIX") DoDataMatrix(cmd);
    else if (n == "PDF417") DoPdf417(cmd);
    else if (n == "PRINT") DoPrint(cmd);
    else if (n == "SET") DoSet(cmd);
    else if (n == "ZZZCR") {
        // A configuration dump; byte 76 holds the ribbon switch.
        std::string dump(128, '\0');
        std::string model = "QUORVANE VIRTUAL TSPL";
        std::copy(model.begin(), model.end(), dump.begin());
        dump[76] = FRibbon ? 1 : 0;
        reply += dump;
        Log("query", n, cmd.line, std::string("ribbon ") + (FRibbon ? "1" : "0"));
    } else if (n == "GAPDETECT" || n == "AUTODETECT" || n == "BLINEDETECT" || n == "OFFSET" || n == "SHIFT" ||
               n == "FEED" || n == "BACKFEED" || n == "BACKUP" || n == "FORMFEED" || n == "HOME" ||
               n == "SOUND" || n == "CUT" || n == "LIMITFEED" || n == "SELFTEST" || n == "EOP" ||
               n == "INITIALPRINTER") {
        // Paper handling with nothing to draw.
    } else {
        Problem(cmd, "unknown command, skipped");
    }
}

void VirtualPrinter::DoSize(const TsplCommand& cmd) {
    if (cmd.args.size() != 2) { Problem(cmd, "wrong argument count"); return; }
    double w, h;
    if (!ParseLength(cmd.args[0].text, FOptions.dpi, w) || !ParseLength(cmd.args[1].text, FOptions.dpi, h)) {
        Problem(cmd, "bad length");
        return;
    }
    double wd = w * FOptions.dpi, hd = h * FOptions.dpi;
    if (wd < 1 || hd < 1 || wd > 40000 || hd > 40000 || wd * hd > static_cast<double>(LabelCanvas::kMaxDots)) {
        Problem(cmd, "label size beyond limits, skipped");
        return;
    }
    FSettings.widthIn = w;
    FSettings.heightIn = h;
}

void VirtualPrinter::DoGap(const TsplCommand& cmd) {
    if (cmd.args.empty() || cmd.args.size() > 2) { Problem(cmd, "wrong argument count"); return; }
    double g, offset = 0;
    // "GAP n" with one bare number is how the driver writes the gap setting (millimetres);
    // read as inches it would exceed any gap a printer takes, so the short form counts as mm.
    std::string gap = cmd.args[0].text;
    if (cmd.args.size() == 1 && gap.find_first_not_of("0123456789. ") == std::string::npos) gap += " mm";
    if (!ParseLength(gap, FOptions.dpi, g) ||
        (cmd.args.size() == 2 && !ParseLength(cmd.args[1].text, FOptions.dpi, offset)) || g > 10) {
        Problem(cmd, "bad length");
        return;
    }
    FSettings.gapIn = g;
}

void VirtualPrinter::DoBitmap(const TsplCommand& cmd) {
    if (cmd.args.size() != 5) { Problem(cmd, "wrong argument count"); return; }
    ArgReader a(cmd);
    long long x = a.Int(0), y = a.Int(1), wb = a.Int(2, 0, 65535), h = a.Int(3, 0, 65535), mode = a.Int(4, 0, 2);
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
    if (cmd.data.size() != static_cast<std::size_t>(wb * h)) { Problem(cmd, "bitmap data missing"); return; }
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
    if (cmd.args.size() != 4) { Problem(cmd, "wrong argument count"); return; }
    ArgReader a(cmd);
    long long x = a.Int(0), y = a.Int(1), w = a.Int(2, 0), h = a.Int(3, 0);
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
    DrawMode m = cmd.name == "BAR" ? DrawMode::Or : cmd.name == "REVERSE" ? DrawMode::Xor : DrawMode::Clear;
    NoteClipped(cmd, Canvas().FillRect(x + FSettings.refX, y + FSettings.refY, w, h, m));
}

void VirtualPrinter::DoBox(const TsplCommand& cmd) {
    if (cmd.args.size() != 5 && cmd.args.size() != 6) { Problem(cmd, "wrong argument count"); return; }
    ArgReader a(cmd);
    long long x0 = a.Int(0), y0 = a.Int(1), x1 = a.Int(2), y1 = a.Int(3), t = a.Int(4, 1, 10000);
    if (cmd.args.size() == 6) a.Int(5, 0);
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
    if (x1 < x0 || y1 < y0) { Problem(cmd, "end point before start point"); return; }
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
    if (cmd.args.size() != 4) { Problem(cmd, "wrong argument count"); return; }
    ArgReader a(cmd);
    long long x = a.Int(0), y = a.Int(1), d = a.Int(2, 1, 8000), t = a.Int(3, 1, 8000);
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
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
    if (cmd.args.size() != 7 && cmd.args.size() != 8) { Problem(cmd, "wrong argument count"); return; }
    ArgReader a(cmd);
    long long x = a.Int(0), y = a.Int(1), rot = a.Int(3), xm = a.Int(4, 1, 100), ym = a.Int(5, 1, 100);
    long long align = cmd.args.size() == 8 ? a.Int(6, 0, 3) : 0;
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
    if (!ValidRotation(rot)) { Problem(cmd, "bad rotation"); return; }
    FontCell cell;
    if (!TextRenderer::LookupFont(cmd.args[2].text, FOptions.dpi, cell)) { Problem(cmd, "unknown font " + cmd.args[2].text); return; }
    const TsplArg& content = cmd.args.back();
    if (!content.quoted) { Problem(cmd, "content is not a quoted string (variables are not supported)"); return; }
    MonoImage pic = TextRenderer::Render(ToUtf8(content.text), cell, static_cast<int>(xm), static_cast<int>(ym), FOptions.dpi);
    if (pic.width == 0) {
        if (!content.text.empty()) Problem(cmd, "text too large to draw, skipped");
        return;
    }
    PlaceAligned(cmd, pic, x, y, Rotation(rot), align);
}

void VirtualPrinter::PlaceAligned(const TsplCommand& cmd, const MonoImage& pic, long long x, long long y, int rotation,
                                  long long align) {
    // Alignment shifts along the picture's own direction: x is then its centre or right end.
    long long shift = align == 2 ? pic.width / 2 : align == 3 ? pic.width : 0;
    long long px = x + FSettings.refX, py = y + FSettings.refY;
    if (rotation == 0) px -= shift;
    else if (rotation == 90) py -= shift;
    else if (rotation == 180) px += shift;
    else py += shift;
    NoteClipped(cmd, Canvas().Place(pic, px, py, rotation, DrawMode::Or));
}

void VirtualPrinter::DoBarcode(const TsplCommand& cmd) {
    // BARCODE x,y,"type",height,readable,rotation,narrow,wide,[alignment,]"content"
    if (cmd.args.size() != 9 && cmd.args.size() != 10) { Problem(cmd, "wrong argument count"); return; }
    ArgReader a(cmd);
    LinearSymbol s;
    long long x = a.Int(0), y = a.Int(1);
    s.type = Upper(cmd.args[2].text);
    s.height = static_cast<int>(a.Int(3, 1, 30000));
    s.readable = static_cast<int>(a.Int(4, 0, 3));
    long long rot = a.Int(5);
    s.narrow = static_cast<int>(a.Int(6, 1, 100));
    s.wide = static_cast<int>(a.Int(7, 1, 300));
    long long align = cmd.args.size() == 10 ? a.Int(8, 0, 3) : 0;
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
    if (!ValidRotation(rot)) { Problem(cmd, "bad rotation"); return; }
    if (!cmd.args[2].quoted || !SymbolRenderer::KnownLinearType(s.type)) { Problem(cmd, "unknown barcode type " + cmd.args[2].text); return; }
    if (!cmd.args.back().quoted) { Problem(cmd, "content is not a quoted string"); return; }
    s.content = cmd.args.back().text;
    s.dpi = FOptions.dpi;
    MonoImage pic = SymbolRenderer::Linear(s);
    PlaceAligned(cmd, pic, x, y, Rotation(rot), align);
}

void VirtualPrinter::DoQrCode(const TsplCommand& cmd) {
    // QRCODE x,y,ECC,cell,mode,rotation,[model,mask,]"content"
    if (cmd.args.size() < 7 || cmd.args.size() > 9) { Problem(cmd, "wrong argument count"); return; }
    ArgReader a(cmd);
    QrSymbol s;
    long long x = a.Int(0), y = a.Int(1);
    std::string ecc = Upper(cmd.args[2].text);
    s.cell = static_cast<int>(a.Int(3, 1, 100));
    std::string mode = Upper(cmd.args[4].text);
    long long rot = a.Int(5);
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
    if (ecc != "L" && ecc != "M" && ecc != "Q" && ecc != "H") { Problem(cmd, "bad error correction level"); return; }
    if (mode != "A" && mode != "M") { Problem(cmd, "bad mode"); return; }
    if (!ValidRotation(rot)) { Problem(cmd, "bad rotation"); return; }
    s.ecc = ecc[0];
    for (std::size_t i = 6; i + 1 < cmd.args.size(); ++i) {
        std::string opt = Upper(cmd.args[i].text);
        if (opt == "M1") Log("problem", cmd.name, cmd.line, "model 1 drawn as model 2");
        else if (opt.size() == 2 && opt[0] == 'S' && opt[1] >= '0' && opt[1] <= '8') s.mask = opt[1] == '8' ? -1 : opt[1] - '0';
        else if (opt != "M2") { Problem(cmd, "bad option " + cmd.args[i].text); return; }
    }
    if (!cmd.args.back().quoted) { Problem(cmd, "content is not a quoted string"); return; }
    if (mode == "M") Log("problem", cmd.name, cmd.line, "manual mode read as automatic");
    s.content = cmd.args.back().text;
    MonoImage pic = SymbolRenderer::Qr(s);
    NoteClipped(cmd, Canvas().Place(pic, x + FSettings.refX, y + FSettings.refY, Rotation(rot), DrawMode::Or));
}

void VirtualPrinter::DoDataMatrix(const TsplCommand& cmd) {
    // DMATRIX x,y,width,height,[c#,x#,r#,]row,col,"content"  (options and size optional)
    if (cmd.args.size() < 5) { Problem(cmd, "wrong argument count"); return; }
    ArgReader a(cmd);
    DataMatrixSymbol s;
    long long x = a.Int(0), y = a.Int(1);
    s.boxWidth = static_cast<int>(a.Int(2, 0, 30000));
    s.boxHeight = static_cast<int>(a.Int(3, 0, 30000));
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
    int rotation = 0;
    std::vector<long long> numbers;
    for (std::size_t i = 4; i + 1 < cmd.args.size(); ++i) {
        std::string opt = Upper(cmd.args[i].text);
        if (!opt.empty() && std::isalpha(static_cast<unsigned char>(opt[0]))) {
            double v;
            if (!ParseDouble(std::string_view(opt).substr(1), v)) { Problem(cmd, "bad option " + opt); return; }
            if (opt[0] == 'X') s.module = static_cast<int>(std::clamp(v, 1.0, 100.0));
            else if (opt[0] == 'R') rotation = Rotation(static_cast<long long>(v));
            else if (opt[0] == 'C') s.escape = static_cast<int>(std::clamp(v, 0.0, 255.0));
            else if (opt[0] != 'A') { Problem(cmd, "bad option " + opt); return; }
        } else {
            numbers.push_back(a.Int(i, 0, 144));
        }
    }
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
    if (numbers.size() == 2) { s.rows = static_cast<int>(numbers[0]); s.cols = static_cast<int>(numbers[1]); }
    else if (!numbers.empty()) { Problem(cmd, "wrong argument count"); return; }
    if (!cmd.args.back().quoted) { Problem(cmd, "content is not a quoted string"); return; }
    s.content = cmd.args.back().text;
    MonoImage pic = SymbolRenderer::DataMatrix(s);
    NoteClipped(cmd, Canvas().Place(pic, x + FSettings.refX, y + FSettings.refY, rotation, DrawMode::Or));
}

void VirtualPrinter::DoPdf417(const TsplCommand& cmd) {
    // PDF417 x,y,width,height,rotate,[options,]"content"
    if (cmd.args.size() < 6) { Problem(cmd, "wrong argument count"); return; }
    ArgReader a(cmd);
    Pdf417Symbol s;
    long long x = a.Int(0), y = a.Int(1);
    a.Int(2, 0, 30000);
    a.Int(3, 0, 30000);
    long long rot = a.Int(4);
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
    if (!ValidRotation(rot)) { Problem(cmd, "bad rotation"); return; }
    for (std::size_t i = 5; i + 1 < cmd.args.size(); ++i) {
        std::string opt = Upper(cmd.args[i].text);
        double v;
        if (opt.size() < 2 || !ParseDouble(std::string_view(opt).substr(1), v)) { Problem(cmd, "bad option " + cmd.args[i].text); return; }
        int n = static_cast<int>(std::clamp(v, 0.0, 1000.0));
        switch (opt[0]) {
        case 'E': s.ecc = n; break;
        case 'W': s.module = n; break;
        case 'H': s.rowHeight = n; break;
        case 'R': s.rows = n; break;
        case 'C': s.cols = n; break;
        case 'T': s.truncated = n == 1; break;
        case 'P': case 'M': case 'L': break;
        default: Problem(cmd, "bad option " + cmd.args[i].text); return;
        }
    }
    if (!cmd.args.back().quoted) { Problem(cmd, "content is not a quoted string"); return; }
    s.content = cmd.args.back().text;
    MonoImage pic = SymbolRenderer::Pdf417(s);
    NoteClipped(cmd, Canvas().Place(pic, x + FSettings.refX, y + FSettings.refY, Rotation(rot), DrawMode::Or));
}

void VirtualPrinter::DoSet(const TsplCommand& cmd) {
    if (cmd.args.size() != 1) { Problem(cmd, "wrong argument count"); return; }
    std::string text = Upper(cmd.args[0].text);
    std::string key = text.substr(0, text.find(' '));
    if (key == "RIBBON") {
        std::string value = text.size() > 7 ? text.substr(7) : "";
        if (value == "ON") FRibbon = true;
        else if (value == "OFF") FRibbon = false;
        else Problem(cmd, "SET RIBBON takes ON or OFF");
    } else if (key == "CUTTER" || key == "PARTIAL_CUTTER" || key == "TEAR" || key == "PEEL" || key == "GAP" ||
               key == "BACK" || key == "COUNTER" || key == "HEAD" || key == "PRINTKEY" || key == "REPRINT" ||
               key == "KEY1" || key == "KEY2" || key == "LED1" || key == "LED2" || key == "LED3") {
        // Printer settings with no effect on the picture.
    } else {
        Problem(cmd, "unknown SET option, skipped");
    }
}

void VirtualPrinter::DoPrint(const TsplCommand& cmd) {
    if (cmd.args.empty() || cmd.args.size() > 2) { Problem(cmd, "wrong argument count"); return; }
    ArgReader a(cmd);
    long long m = a.Int(0, 1, 999999999);
    long long n = cmd.args.size() == 2 ? a.Int(1, 1, 999999999) : 1;
    if (!a.Ok()) { Problem(cmd, a.Error()); return; }
    std::uint8_t state = FStatus.Current();
    if (state & ~StatusModel::kPrinting)
        Log("problem", cmd.name, cmd.line, "printed while the status is " + Hex(state));
    MonoImage picture = Canvas().Oriented(FSettings.direction == 1, FSettings.mirror == 1);
    long long total = m * n;
    if (FOptions.copies) {
        long long files = std::min(total, kMaxCopyFiles);
        if (files < total) Problem(cmd, "only the first " + std::to_string(kMaxCopyFiles) + " copies written");
        for (long long i = 0; i < files; ++i) SaveLabel(picture, 1);
    } else {
        SaveLabel(picture, static_cast<int>(std::min<long long>(total, 1'000'000'000)));
    }
    if (FOptions.mechanics) {
        double seconds = static_cast<double>(total) * (FSettings.heightIn + FSettings.gapIn) / FSettings.speed;
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
    Log("label", "PRINT", "", (label.file.empty() ? "label " + std::to_string(label.number) : label.file) +
                                  ", " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                                  ", copies " + std::to_string(copies));
    if (FOptions.keepLabels) label.image = image;
    std::lock_guard lock(FLabelsMutex);
    FLabels.push_back(std::move(label));
}

}  // namespace quorvane
