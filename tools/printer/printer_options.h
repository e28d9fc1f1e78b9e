#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

struct PrinterOptions {
    std::string listen = "127.0.0.1:9100";   // HOST:PORT; "off" disables TCP; port 0 picks one
    std::string ptyLink;                     // symlink to the pseudo-terminal's slave; empty: none
    std::string journalPath;                 // JSON lines; empty: in memory only
    std::uint8_t status = 0;                 // reply to <ESC>!? once the script is used up
    std::vector<std::uint8_t> statusScript;  // replies to the first queries, in order
    bool mechanics = false;                  // PRINT keeps the printer busy for the print time
    int baud = 0;                            // the pty's line speed in bits per second; 0: none
    bool ribbon = false;                     // ribbon state reported by the ribbon queries
    std::string outDir;                      // PNG per label and raw bytes per job; empty: none
    int dpi = 203;                           // 203, 300 or 600
    bool copies = false;                     // one PNG per copy rather than per PRINT
    int jobs = 0;                            // stop after this many jobs; 0: never
    double idleExit = 0;                     // stop after this many idle seconds; 0: never
    bool keepLabels = false;                 // keep rendered labels in memory (tests)
};

}  // namespace quorvane
