#pragma once
// Byte-exact TSPL reader: splits a printer stream into commands, BITMAP payloads and
// immediate commands, the way a printer reads it. Fed in chunks of any size.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

struct TsplArg {
    std::string text;     // unescaped content when quoted, else the trimmed raw text
    bool quoted = false;  // exactly one double-quoted string and nothing else
};

struct TsplCommand {
    std::string name;  // upper case, e.g. "BAR"
    std::string line;  // the line as received, without line end or BITMAP data
    std::vector<TsplArg> args;
    std::string data;  // BITMAP payload, exactly width*height bytes
};

struct TsplEvent {
    enum class Kind {
        Command,    // command
        Immediate,  // <ESC>!x; immediate holds x
        EscQuery,   // <ESC><FS> ... line end; text holds what follows <FS>
        Problem     // problem holds the message, text the offending input
    };
    Kind kind = Kind::Command;
    TsplCommand command;
    char immediate = 0;
    std::string text;
    std::string problem;
};

class TsplParser {
public:
    static constexpr std::size_t kMaxLine = 1 << 20;
    static constexpr std::size_t kMaxBitmapBytes = 64u << 20;

    // Returns the events completed by these bytes, in order.
    std::vector<TsplEvent> Feed(std::string_view bytes);
    // End of the job: reports a half-received command or bitmap and resets.
    std::vector<TsplEvent> Finish();

    // Splits "NAME a,b,"c"" into a command (no BITMAP data); public for tests.
    static TsplCommand SplitLine(const std::string& line);

private:
    enum class State { Line, Esc, EscBang, EscFs, Data, Discard };

    void EndLine(std::vector<TsplEvent>& out);
    void StartBitmapIfComplete(std::vector<TsplEvent>& out);

    State FState = State::Line;
    std::string FLine;
    std::string FEscText;  // what follows <ESC><FS>, up to its line end
    int FCommas = 0;
    TsplCommand FBitmap;
    std::size_t FDataNeeded = 0;
};

// Text helpers of the reader, shared with the commands: white space trimmed at both ends, and
// a word in upper case (command names and keywords are matched that way).
std::string TsplTrim(std::string_view s);
std::string TsplUpper(std::string s);

}  // namespace quorvane
