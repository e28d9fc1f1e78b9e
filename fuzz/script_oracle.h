#pragma once
// What a label script may hold: the commands the TSPL generator writes, each in the shape the
// generator writes it, and nothing else. A value or a setting that smuggles a printer command in
// shows as a command the generator never writes, a set-up command or PRINT a second time, a
// command whose arguments no longer count right, a control character inside a command line (a
// raw CR ends a command at the printer), or ESC, which starts a command the printer runs at
// once wherever it stands. Read with the virtual printer's reader, which knows where BITMAP
// data begins and ends.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/printer/tspl_parser.h"

namespace quorvane::fuzz {

// The command names of AScript in order; traps when anything in it is no generator's.
inline std::vector<std::string> GeneratorCommands(std::string_view AScript) {
    struct TShape {
        std::string_view Name;
        std::size_t MinArgs, MaxArgs;
        bool LastQuoted;
    };
    // The set-up the template starts with, one each and in this order (an empty Codepage
    // setting leaves CODEPAGE without argument).
    static constexpr TShape kSetUp[] = {{"SIZE", 2, 2, false},     {"GAP", 1, 2, false},
                                        {"SPEED", 1, 1, false},    {"DENSITY", 1, 1, false},
                                        {"DIRECTION", 2, 2, false}, {"CLS", 0, 0, false},
                                        {"CODEPAGE", 0, 1, false}};
    static constexpr TShape kFields[] = {{"BITMAP", 5, 5, false},   {"TEXT", 7, 7, true},
                                         {"BARCODE", 9, 9, true},   {"QRCODE", 8, 8, true},
                                         {"DMATRIX", 5, 9, true},   {"PDF417", 6, 14, true},
                                         {"BOX", 5, 5, false},      {"BAR", 4, 4, false}};
    constexpr TShape kPrint{"PRINT", 1, 1, false};

    TsplParser parser;
    std::vector<TsplEvent> events = parser.Feed(AScript);
    for (TsplEvent& event : parser.Finish()) events.push_back(std::move(event));
    std::vector<std::string> names;
    for (const TsplEvent& event : events) {
        if (event.kind != TsplEvent::Kind::Command) __builtin_trap();  // ESC, or what no printer reads
        const TsplCommand& command = event.command;
        // TAB stays inside quoted data, GS separates GS1 fields; no other control character
        // belongs in a command line.
        for (char c : command.line) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < 0x20 && c != '\t' && c != '\x1D') || byte == 0x7F) __builtin_trap();
        }
        const std::size_t index = names.size();
        const TShape* shape = nullptr;
        if (index < std::size(kSetUp)) {
            if (command.name == kSetUp[index].Name) shape = &kSetUp[index];
        } else if (command.name == kPrint.Name) {
            shape = &kPrint;
        } else if (names.back() != kPrint.Name) {
            for (const TShape& field : kFields)
                if (command.name == field.Name) shape = &field;
        }
        if (shape == nullptr) __builtin_trap();  // not the generator's, or after PRINT
        const std::size_t count = command.args.size();
        if (count < shape->MinArgs || count > shape->MaxArgs) __builtin_trap();
        if (shape->LastQuoted && !command.args.back().quoted) __builtin_trap();
        names.push_back(command.name);
    }
    if (names.size() <= std::size(kSetUp) || names.back() != kPrint.Name) __builtin_trap();
    return names;
}

}  // namespace quorvane::fuzz
