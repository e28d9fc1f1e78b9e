// quorvane-printer: a virtual TSPL printer for previews, tests, the demo and benchmarks.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>


#include "quorvane_version.h"
#include "tools/printer/printer_server.h"

namespace {

const char* kHelp = R"(Usage: quorvane-printer [OPTIONS]

A virtual TSPL label printer. It reads print jobs over TCP and/or a pseudo-terminal, answers
the status query <ESC>!? and the ribbon queries like a printer, and renders every printed
label to a PNG. Runs until SIGTERM or SIGINT (or --jobs / --idle-exit).

Options:
  --listen HOST:PORT   TCP address to listen on (default 127.0.0.1:9100). Port 0 picks a free
                       port. "off" disables TCP. When listening, the first line on standard
                       output is the port number.
  --pty LINK           also create a pseudo-terminal (a stand-in for a serial or USB port) and
                       a symlink LINK to its slave side; a job lasts from the first byte until
                       the program using the slave side closes it. A pty carries no job
                       boundaries: bytes written by a session opened before the previous
                       one's close was seen join the previous job (with scripts, prefer
                       --idle-exit to --jobs on a pty).
  --journal FILE       append a JSON-lines journal of every command, reply, label and problem
                       (unknown command, bad argument, truncated bitmap, content outside the
                       label, ...) to FILE.
  --status HEX         the status byte answered to <ESC>!? (default 00). Bits: 01 head open,
                       02 paper jam, 04 paper out, 08 ribbon out, 10 paused, 20 printing,
                       40 cover open, 80 other error.
  --status-script LIST comma-separated hex bytes answered to the first status queries in turn,
                       after which --status applies; e.g. 20,20,20 is busy for three queries.
  --mechanics          simulate print time: after PRINT the printer answers "printing" (20) for
                       copies x (label length + gap) / SPEED seconds.
  --baud N             with --pty: the pseudo-terminal carries N bits per second each way, ten
                       bits per byte, as a serial line does: job bytes reach the printer and
                       replies reach the program no faster. A program writing faster waits once
                       the terminal's buffer is full; until then its writes return at once.
  --ribbon on|off      the ribbon state reported by the ribbon queries until SET RIBBON changes
                       it (default off).
  --out DIR            write label-NNNN.png for each printed label and job-NNNN.bin with the
                       raw bytes of each job, numbered in order (DIR is created if needed).
  --dpi 203|300|600    print resolution in dots per inch (default 203).
  --copies             one PNG per printed copy (PRINT m,n gives m x n files) instead of one
                       per PRINT command.
  --jobs N             exit after N jobs (a job is a connection or pty session with data).
  --idle-exit SECONDS  exit after SECONDS without a job or data.
  --version            show the version.
  --help               show this text.

Reading: commands are checked against the public TSPL manuals' facts and anything outside
them is journalled as a problem: a bare number in SIZE, GAP and BLINE is inches, millimetres
are "n mm" with the space and become 8 dots/mm at 203 dpi, 24 at 600 dpi, the fraction of a
dot dropped; at 300 dpi sources disagree (12 or 11.8 dots/mm): this printer takes 12 and
journals each such length as a leniency. <ESC>!? is answered at once wherever it arrives, also
inside a command line. QRCODE level and mode are written bare; manual mode data starts with
a mode letter (N, A, K, or B and a 4-digit byte count) and "!" changes mode; BARCODE "128M"
reads !nnn as code values (start codes, set changes, FNC3 first); a two-width symbology needs
wide > narrow; TEXT font "0" and *.TTF take point sizes; PDF417 with Ln takes n bytes of
unquoted content; GAP m,n and BLINE m,n take both values, m 0-1 in (0-25.4 mm) and
n at most the label length; SPEED 1-12, DENSITY 0-15, DIRECTION 0 or 1, PRINT m[,n] 1-999999999,
BITMAP mode 0-2, TEXT multiplication 1-10 and rotation 0/90/180/270, QRCODE ECC L/M/Q/H,
cell 1-10, mode A/M, model M1/M2, mask S0-S8; DMATRIX c0-255, x>=1, r0/90/180/270, a0/1,
row and column 10-144 with content that fits them; PDF417 P0-1, E0-8, M0-1, W2-9, H4-99, T0-1,
L1-2048; strings at most 2048 bytes. Ink beyond the label is "content outside the label"; the
white dots of a bitmap print nothing and may lie beyond it.
Valid commands this printer does not draw are journalled "unsupported" by name: MAXICODE,
PUTBMP, PUTPCX, ELLIPSE, TLC39, CODABLOCK, AZTEC, MPDF417, RSS, DOWNLOAD, COUNTER, INPUT and
counters and variables (@1="...", A$=...). Approximations (journalled): QRCODE model 1 drawn
as model 2; QRCODE manual mode and "128M" keep the data and let the encoder pick segment
modes and code sets.
Where no manual page confirms a fact, the printer is lenient and accepts (journalled as
"leniency": millimetres at 300 dpi; DMATRIX without x#, drawn with the largest module that
keeps the symbol inside its area):
  a line ended by LF alone; command names and words in any case; the "dot" unit in SIZE/GAP;
  SIZE of any size it can draw; SPEED values between the listed ones (per-model tables not
  found); DIRECTION n,m with a mirror m of 0 or 1; CODEPAGE 1251, 1255-1258, 737, 851, 855, 861,
  862, 866, 869, 8859-n, UTF-8 and the CJK pages 932/936/949/950 beside the confirmed ones; TEXT
  fonts 0, 6, 7, 8 and any *.TTF name, alignment 0-3; BARCODE types beyond 128 and 39, readable
  0-3, alignment 0-3, any narrow (up to 100) and wide (up to 300) width; fonts TSS24.BF2,
  TST24.BF2 and K (24 x 24 dots); QRCODE model without
  mask; DMATRIX rows other than columns without a1; PDF417 any row and column count; NUL bytes
  inside 2D barcode data; SET RIBBON ON/OFF and the SET options BACK, COUNTER, HEAD, PRINTKEY,
  REPRINT, KEY1, KEY2, LED1-3; REFERENCE, OFFSET, SHIFT, ERASE, REVERSE, CIRCLE, AUTODETECT,
  BLINEDETECT, SOUND, CUT, LIMITFEED, SELFTEST, EOP, INITIALPRINTER and the resets <ESC>!R and
  <ESC>!C.

Preview a label:  quorvane-printer --listen 127.0.0.1:0 --out /tmp/labels --jobs 1
and send TSPL to the printed port (e.g. with nc); the PNG appears in /tmp/labels.
)";

bool ParseHexByte(const std::string& text, std::uint8_t& out) {
    std::string t = text;
    if (t.starts_with("0x") || t.starts_with("0X")) t = t.substr(2);
    if (t.empty() || t.size() > 2) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(t.c_str(), &end, 16);
    if (*end != '\0') return false;
    out = static_cast<std::uint8_t>(v);
    return true;
}

[[noreturn]] void Usage(const std::string& message) {
    std::cerr << "quorvane-printer: " << message << "\nTry --help.\n";
    std::exit(2);
}

// The whole text as a number within [low, high]; anything else is a usage error.
double Number(const std::string& option, const std::string& text, double low, double high) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= low && value <= high))
        Usage(option + " wants a number from " + std::to_string(static_cast<long>(low)) + " to " +
              std::to_string(static_cast<long>(high)) + ", got \"" + text + "\"");
    return value;
}

// HOST:PORT with a port of 0-65535, or "off".
std::string ListenAddress(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (text == "off") return text;
    if (colon == std::string::npos || colon == 0)
        Usage("--listen wants HOST:PORT or off, got \"" + text + "\"");
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos)
        Usage("--listen wants a port from 0 to 65535, got \"" + port + "\"");
    Number("--listen", port, 0, 65535);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    quorvane::PrinterOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(arg + " needs a value");
            return argv[++i];
        };
        try {
            if (arg == "--help" || arg == "-h") {
                std::cout << kHelp;
                return 0;
            } else if (arg == "--version") {
                std::cout << "quorvane-printer " << QUORVANE_VERSION_TEXT << "\n";
                return 0;
            } else if (arg == "--listen")
                options.listen = ListenAddress(value());
            else if (arg == "--pty")
                options.ptyLink = value();
            else if (arg == "--journal")
                options.journalPath = value();
            else if (arg == "--status") {
                if (!ParseHexByte(value(), options.status)) Usage("--status wants a hex byte");
            } else if (arg == "--status-script") {
                std::string list = value();
                std::size_t start = 0;
                while (start <= list.size()) {
                    std::size_t comma = list.find(',', start);
                    std::string item =
                        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                    std::uint8_t b;
                    if (!ParseHexByte(item, b)) Usage("--status-script wants hex bytes separated by commas");
                    options.statusScript.push_back(b);
                    if (comma == std::string::npos) break;
                    start = comma + 1;
                }
            } else if (arg == "--mechanics")
                options.mechanics = true;
            else if (arg == "--baud")
                options.baud = static_cast<int>(Number(arg, value(), 50, 4000000));
            else if (arg == "--ribbon") {
                std::string v = value();
                if (v != "on" && v != "off") Usage("--ribbon wants on or off");
                options.ribbon = v == "on";
            } else if (arg == "--out")
                options.outDir = value();
            else if (arg == "--dpi") {
                options.dpi = static_cast<int>(Number(arg, value(), 203, 600));
                if (options.dpi != 203 && options.dpi != 300 && options.dpi != 600)
                    Usage("--dpi wants 203, 300 or 600");
            } else if (arg == "--copies")
                options.copies = true;
            else if (arg == "--jobs")
                options.jobs = static_cast<int>(Number(arg, value(), 0, 1e9));
            else if (arg == "--idle-exit")
                options.idleExit = Number(arg, value(), 0, 1e9);
            else
                Usage("unknown option " + arg);
        } catch (const std::logic_error&) {
            Usage("bad number for " + arg);
        }
    }

    // The serving thread inherits the blocked signals; this thread takes them with sigtimedwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (options.baud != 0 && options.ptyLink.empty()) Usage("--baud needs --pty");
    try {
        quorvane::PrinterServer server(options);
        if (server.Port() != 0) std::cout << server.Port() << std::endl;
        if (!server.PtyPath().empty())
            std::cerr << "quorvane-printer: pty " << server.PtyPath() << " linked as " << options.ptyLink
                      << "\n";
        server.Start();
        timespec tick{0, 100 * 1000 * 1000};
        while (!server.Finished()) {
            if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) break;
        }
        server.Stop();
        std::cerr << "quorvane-printer: " << server.JobCount() << " job(s), " << server.Labels().size()
                  << " label(s), " << server.ProblemCount() << " problem(s)\n";
    } catch (const std::exception& ex) {
        std::cerr << "quorvane-printer: " << ex.what() << "\n";
        return 1;
    }
    return 0;
}
