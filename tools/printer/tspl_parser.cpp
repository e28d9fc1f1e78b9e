#include "tools/printer/tspl_parser.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace quorvane {

namespace {

constexpr char kEsc = 0x1b;
constexpr char kFs = 0x1c;

// \["] is a quote, \[R] a carriage return, \[L] a line feed; anything else stays as written.
std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == '[' && s[i + 3] == ']') {
            char c = s[i + 2];
            if (c == '"' || c == 'R' || c == 'L') {
                out += c == '"' ? '"' : c == 'R' ? '\r' : '\n';
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// Position of the quote closing the string that opens at 0, skipping \["] escapes.
std::size_t ClosingQuote(std::string_view s) {
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == '[' && s[i + 3] == ']')
            i += 3;
        else if (s[i] == '"')
            return i;
    }
    return std::string_view::npos;
}

TsplArg MakeArg(std::string_view raw) {
    TsplArg arg;
    std::string t = TsplTrim(raw);
    if (t.size() >= 2 && t.front() == '"' && ClosingQuote(t) == t.size() - 1) {
        arg.quoted = true;
        arg.text = Unescape(std::string_view(t).substr(1, t.size() - 2));
    } else {
        arg.text = std::move(t);
    }
    return arg;
}

bool ParseInt(const std::string& s, long long& v) {
    std::string t = TsplTrim(s);
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && p == t.data() + t.size();
}

}  // namespace

TsplCommand TsplParser::SplitLine(const std::string& line) {
    TsplCommand cmd;
    cmd.line = line;
    std::string t = TsplTrim(line);
    std::size_t sp = 0;
    while (sp < t.size() && !std::isspace(static_cast<unsigned char>(t[sp]))) ++sp;
    cmd.name = TsplUpper(t.substr(0, sp));
    std::string_view rest = std::string_view(t).substr(sp);
    if (TsplTrim(rest).empty()) return cmd;
    // Commas inside quotes belong to the string; an escaped quote is \["], whose quote
    // sits between brackets.
    bool inQuote = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '\\' && inQuote && i + 3 < rest.size() && rest[i + 1] == '[' && rest[i + 3] == ']') {
            i += 3;
        } else if (c == '"') {
            inQuote = !inQuote;
        } else if (c == ',' && !inQuote) {
            cmd.args.push_back(MakeArg(rest.substr(start, i - start)));
            start = i + 1;
        }
    }
    cmd.args.push_back(MakeArg(rest.substr(start)));
    return cmd;
}

void TsplParser::StartBitmapIfComplete(std::vector<TsplEvent>& out) {
    std::string head = TsplUpper(FLine.substr(0, std::min<std::size_t>(FLine.size(), 7)));
    std::size_t lead = 0;
    while (lead < head.size() && std::isspace(static_cast<unsigned char>(head[lead]))) ++lead;
    if (head.compare(lead, 6, "BITMAP") != 0) return;
    TsplCommand cmd = SplitLine(FLine.substr(0, FLine.size() - 1));
    cmd.line = FLine;
    if (cmd.name != "BITMAP" || cmd.args.size() != 5) return;
    long long v[5];
    for (int i = 0; i < 5; ++i) {
        if (!ParseInt(cmd.args[i].text, v[i])) {
            TsplEvent e{TsplEvent::Kind::Problem, {}, 0, FLine, "bad number in BITMAP header"};
            out.push_back(std::move(e));
            FState = State::Discard;
            return;
        }
    }
    long long w = v[2], h = v[3];
    if (w < 0 || h < 0 || w > 65535 || h > 65535 ||
        static_cast<unsigned long long>(w * h) > kMaxBitmapBytes) {
        // Too big to hold: the rest of the line is skipped and reading resumes at the next
        // line end, so the printer keeps answering.
        TsplEvent e{TsplEvent::Kind::Problem, {}, 0, FLine, "BITMAP size beyond limits, skipped"};
        out.push_back(std::move(e));
        FState = State::Discard;
        return;
    }
    FBitmap = std::move(cmd);
    FBitmap.line.pop_back();  // the comma before the data
    FBitmap.data.clear();
    FDataNeeded = static_cast<std::size_t>(w * h);
    FBitmap.data.reserve(FDataNeeded);
    FLine.clear();
    FCommas = 0;
    FState = State::Data;
    if (FDataNeeded == 0) {
        out.push_back(TsplEvent{TsplEvent::Kind::Command, std::move(FBitmap), 0, {}, {}});
        FBitmap = {};
        FState = State::Line;
    }
}

void TsplParser::EndLine(std::vector<TsplEvent>& out) {
    std::string line = std::move(FLine);
    FLine.clear();
    FCommas = 0;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (TsplTrim(line).empty()) return;
    TsplEvent e;
    e.kind = TsplEvent::Kind::Command;
    e.command = SplitLine(line);
    out.push_back(std::move(e));
}

std::vector<TsplEvent> TsplParser::Feed(std::string_view bytes) {
    std::vector<TsplEvent> out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        char c = bytes[i];
        switch (FState) {
            case State::Data: {
                std::size_t n = std::min(FDataNeeded - FBitmap.data.size(), bytes.size() - i);
                FBitmap.data.append(bytes.substr(i, n));
                i += n;
                if (FBitmap.data.size() == FDataNeeded) {
                    out.push_back(TsplEvent{TsplEvent::Kind::Command, std::move(FBitmap), 0, {}, {}});
                    FBitmap = {};
                    FState = State::Line;
                }
                continue;
            }
            case State::Esc:
                ++i;
                if (c == '!') {
                    FState = State::EscBang;
                } else if (c == kFs) {
                    FState = State::EscFs;
                } else {
                    out.push_back(TsplEvent{
                        TsplEvent::Kind::Problem, {}, 0, std::string{kEsc, c}, "unknown escape sequence"});
                    FState = State::Line;
                }
                continue;
            case State::EscBang:
                ++i;
                out.push_back(TsplEvent{TsplEvent::Kind::Immediate, {}, c, {}, {}});
                FState = State::Line;
                continue;
            case State::EscFs:
                ++i;
                if (c == '\n') {
                    std::string text = std::move(FEscText);
                    FEscText.clear();
                    if (!text.empty() && text.back() == '\r') text.pop_back();
                    out.push_back(TsplEvent{TsplEvent::Kind::EscQuery, {}, 0, std::move(text), {}});
                    FState = State::Line;
                } else if (FEscText.size() < kMaxLine) {
                    FEscText += c;
                }
                continue;
            case State::Discard:
                ++i;
                if (c == '\n') {
                    FLine.clear();
                    FCommas = 0;
                    FState = State::Line;
                }
                continue;
            case State::Line:
                ++i;
                if (c == kEsc) {
                    // Answered at once, wherever it stands; the line goes on after it.
                    FState = State::Esc;
                } else if (c == '\n') {
                    EndLine(out);
                } else if (FLine.size() >= kMaxLine) {
                    out.push_back(TsplEvent{
                        TsplEvent::Kind::Problem, {}, 0, FLine.substr(0, 64), "line too long, skipped"});
                    FLine.clear();
                    FState = State::Discard;
                } else {
                    FLine += c;
                    if (c == ',' && ++FCommas == 5) StartBitmapIfComplete(out);
                }
                continue;
        }
    }
    return out;
}

std::vector<TsplEvent> TsplParser::Finish() {
    std::vector<TsplEvent> out;
    if (FState == State::Data) {
        out.push_back(TsplEvent{TsplEvent::Kind::Problem,
                                {},
                                0,
                                FBitmap.line,
                                "truncated bitmap: received " + std::to_string(FBitmap.data.size()) + " of " +
                                    std::to_string(FDataNeeded) + " bytes"});
    } else if ((FState == State::Line && !TsplTrim(FLine).empty()) ||
               (FState == State::EscFs && !TsplTrim(FEscText).empty())) {
        out.push_back(TsplEvent{
            TsplEvent::Kind::Problem, {}, 0, (FState == State::Line ? FLine : FEscText).substr(0, 200),
            "command without line end, not executed"});
    } else if (FState == State::Esc || FState == State::EscBang) {
        out.push_back(TsplEvent{TsplEvent::Kind::Problem, {}, 0, {}, "incomplete escape sequence"});
    }
    FState = State::Line;
    FLine.clear();
    FEscText.clear();
    FCommas = 0;
    FBitmap = {};
    FDataNeeded = 0;
    return out;
}

std::string TsplTrim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

std::string TsplUpper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace quorvane
