#pragma once
// The printer itself: reads a job's bytes, draws its labels, answers queries, keeps the journal.
// Front ends (TCP, pseudo-terminal) feed it; it never throws on bad input.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tools/printer/label_canvas.h"
#include "tools/printer/printer_journal.h"
#include "tools/printer/printer_options.h"
#include "tools/printer/status_model.h"
#include "tools/printer/tspl_parser.h"

namespace quorvane {

struct RenderedLabel {
    int job = 0;
    int number = 0;    // 1-based across the printer's life
    int copies = 1;    // labels this picture stands for (m*n of PRINT unless --copies)
    std::string file;  // PNG path, empty without an output folder
    MonoImage image;   // only with keepLabels
};

class VirtualPrinter {
public:
    VirtualPrinter(const PrinterOptions& options, PrinterJournal& journal, StatusModel& status);

    // Bytes of the current job (the first bytes start a job); returns the reply to send.
    std::string Feed(std::string_view bytes);
    // Ends the current job, if any: reports what was left half-read, writes the raw bytes.
    // Returns true when a job had started.
    bool EndJob();

    std::vector<RenderedLabel> Labels() const;
    int JobCount() const { return FJobs.load(); }
    int LabelCount() const { return FLabelCount.load(); }
    bool Ribbon() const { return FRibbon.load(); }

private:
    struct Settings {
        // In dots; the power-on label is 4 x 2 in with a 0.12 in gap at 203 dpi.
        long long widthDots = 812, heightDots = 406, gapDots = 24;
        double speed = 4.0;
        int density = 8;
        int direction = 0, mirror = 0;
        std::string codepage = "850";
        long long refX = 0, refY = 0;
    };

    void Execute(const TsplCommand& cmd, std::string& reply);
    void Immediate(char c, std::string& reply);
    void EscQuery(const std::string& text, std::string& reply);
    void Log(const std::string& kind, const std::string& command, const std::string& text,
             const std::string& detail = {});
    void Problem(const TsplCommand& cmd, const std::string& message);
    // A valid command read by a rule no manual fixes (sources disagree or say nothing).
    void Leniency(const TsplCommand& cmd, const std::string& message);
    void NoteDisputedMillimetres(const TsplCommand& cmd, bool millimetres);
    LabelCanvas& Canvas();
    void NoteClipped(const TsplCommand& cmd, bool inside);
    std::string ToUtf8(const std::string& bytes) const;

    void DoSize(const TsplCommand& cmd);
    void DoGap(const TsplCommand& cmd);
    void DoBitmap(const TsplCommand& cmd);
    void DoRect(const TsplCommand& cmd);
    void DoBox(const TsplCommand& cmd);
    void DoCircle(const TsplCommand& cmd);
    void DoText(const TsplCommand& cmd);
    void DoBarcode(const TsplCommand& cmd);
    void DoQrCode(const TsplCommand& cmd);
    void DoDataMatrix(const TsplCommand& cmd);
    void DoPdf417(const TsplCommand& cmd);
    void DoPrint(const TsplCommand& cmd);
    void DoSet(const TsplCommand& cmd);
    void SaveLabel(const MonoImage& image, int copies);
    void PlaceAligned(const TsplCommand& cmd, const MonoImage& pic, long long x, long long y, int rotation,
                      long long align);

    const PrinterOptions FOptions;
    PrinterJournal& FJournal;
    StatusModel& FStatus;
    TsplParser FParser;
    Settings FSettings;
    LabelCanvas FCanvas;
    bool FInJob = false;
    std::string FJobBytes;
    bool FJobBytesCapped = false;
    std::atomic<int> FJobs{0};
    std::atomic<int> FLabelCount{0};
    std::atomic<bool> FRibbon;
    mutable std::mutex FLabelsMutex;
    std::vector<RenderedLabel> FLabels;
};

}  // namespace quorvane
