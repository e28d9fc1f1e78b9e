#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "driver/label_document.h"

namespace quorvane {

struct TLabelJobOptions {
    unsigned Workers = 0;                            // builder threads; 0: one per core
    std::size_t CacheBytes = std::size_t{16} << 20;  // rendered values kept for reuse
    std::size_t InlineLabels = 8;                    // jobs up to this size are built on the calling thread
    bool FullBitmaps = false;                        // untrimmed scripts, for the proof that trimming prints the same
};

// The labels of one document, built for sending with memory that does not grow with the job.
// Labels are built twice rather than kept or stored compactly: a kept 600 dpi label is about
// 100 KB, so 10,000 of them would not fit a 32-bit host, and compressed ones would still grow
// with the job. The checking pass renders every value that can fail and keeps nothing; then,
// once every label is known printable, the sending pass builds each label again just before it
// goes out. Both passes run on a few builder threads in document order; values that repeat
// within the job come from a shared bounded cache. Small jobs are built once on the calling
// thread and kept, as starting threads would cost more than it saves.
class TLabelJob {
public:
    // Fails as FillLabels does before its first label.
    TLabelJob(const TLabelDocument& ADocument, const TLabelTemplate& ATemplate,
              TPrinterTypeBase& APrinter, const TDocumentSettings& ASettings, TLabelJobOptions AOptions = {});
    ~TLabelJob();
    TLabelJob(const TLabelJob&) = delete;
    TLabelJob& operator=(const TLabelJob&) = delete;

    std::size_t LabelCount() const;

    // The checking pass: fails with the failure of the first failing label in document order,
    // exactly as FillLabels would.
    void Check();

    // The sending pass, after Check: every label's script in document order. What AEmit
    // throws ends the pass and passes unchanged.
    void Build(const std::function<void(TScriptObject&&)>& AEmit);

    // How many slot values were rendered so far (cache hits and left-out renders not counted).
    std::size_t Renders() const;

    struct TState;

private:
    std::unique_ptr<TState> FState;
};

// Builder threads for a job: one per core, at most a few.
unsigned LabelWorkerCount();

}  // namespace quorvane
