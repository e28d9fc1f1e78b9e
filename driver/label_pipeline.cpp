#include "driver/label_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>
#include <vector>

#include "driver/render_cache.h"
#include "printer/barcode_picture.h"

namespace quorvane {

namespace {

constexpr unsigned kMaxWorkers = 4;
// Labels built ahead of the one the caller takes next: enough to ride out a stalled thread,
// few enough to keep memory flat (a 600 dpi price tag is about 100 KB).
constexpr std::size_t kWindow = 16;

// The slot values of one pass: shared by the pass's builders, through the job's cache.
class TCachedSource : public TSlotValueSource {
public:
    TCachedSource(TRenderCache& ACache, bool ACheck) : FCache(ACache), FCheck(ACheck) {}

    std::string Value(std::size_t AField, std::string_view AValue, bool ATextRaster,
                      const std::function<std::string()>& ARender) override {
        if (FCheck) {
            FCache.Count(AField, AValue);
            // Whether text can be drawn depends on its field's box, never on the value, and
            // drawing is most of a label's cost: the checking pass draws one value per field.
            if (ATextRaster && !FirstOfField(AField)) return {};
            // Symbols are checked without choosing their mask; such a picture is not the one
            // printed, so it stays out of the cache.
            bool quick = false;
            return FCache.Value(
                AField, AValue,
                [&] {
                    const TQuickSymbolCheck check;
                    std::string rendered = ARender();
                    quick = check.Used();
                    return rendered;
                },
                [&] { return !quick; });
        }
        return FCache.Value(AField, AValue, ARender);
    }

private:
    bool FirstOfField(std::size_t AField) {
        const std::lock_guard lock(FLock);
        return FDrawn.insert(AField).second;
    }

    TRenderCache& FCache;
    const bool FCheck;
    std::mutex FLock;
    std::unordered_set<std::size_t> FDrawn;  // text fields drawn once in the checking pass
};

}  // namespace

unsigned LabelWorkerCount() { return std::clamp(std::thread::hardware_concurrency(), 1U, kMaxWorkers); }

struct TLabelJob::TState {
    TState(const TLabelDocument& ADocument, const TLabelTemplate& ATemplate, TPrinterTypeBase& APrinter,
           const TDocumentSettings& ASettings, const TLabelJobOptions& AOptions)
        : Document(ADocument),
          Template(ATemplate),
          Printer(APrinter),
          Settings(ASettings),
          Workers(AOptions.Workers ? AOptions.Workers : LabelWorkerCount()),
          InlineLabels(AOptions.InlineLabels),
          FullBitmaps(AOptions.FullBitmaps),
          CacheBytes(AOptions.CacheBytes) {}

    // Made for the first pass on builder threads: a small job needs none.
    TRenderCache& SharedCache() {
        if (!Cache) Cache = std::make_unique<TRenderCache>(CacheBytes);
        return *Cache;
    }

    TLabelDocument Document;  // each pass reads its labels anew
    const TLabelTemplate& Template;
    TPrinterTypeBase& Printer;
    const TDocumentSettings& Settings;
    unsigned Workers;
    std::size_t InlineLabels;
    bool FullBitmaps;
    std::size_t Count = 0;
    std::size_t CacheBytes;
    std::unique_ptr<TRenderCache> Cache;
    std::vector<TScriptObject> Kept;  // a small job's scripts
    bool Checked = false;
};

namespace {

// Builder threads of one pass. Workers take labels in document order, at most kWindow ahead of
// the caller, and leave each result in its slot; the caller takes them in order.
class TBuilderPool {
public:
    TBuilderPool(TLabelJob::TState& AJob, TSlotValueSource& ASource, bool ACheck)
        : FJob(AJob), FSource(ASource), FCheck(ACheck), FCursor(AJob.Document.Labels()), FSlots(kWindow) {
        const unsigned workers =
            static_cast<unsigned>(std::min<std::size_t>(AJob.Workers, std::max<std::size_t>(AJob.Count, 1)));
        FThreads.reserve(workers);
        try {
            for (unsigned i = 0; i < workers; ++i) FThreads.emplace_back([this] { Work(); });
        } catch (...) {
            Stop();
            throw;
        }
    }

    ~TBuilderPool() { Stop(); }

    TBuilderPool(const TBuilderPool&) = delete;
    TBuilderPool& operator=(const TBuilderPool&) = delete;

    // The next label's result in document order; rethrows the label's failure.
    TScriptObject Take() {
        std::unique_lock lock(FLock);
        TSlot& slot = FSlots[FTaken % kWindow];
        FReady.wait(lock, [&] { return slot.Ready || FPoolError; });
        if (!slot.Ready) std::rethrow_exception(FPoolError);
        TSlot taken = std::move(slot);
        slot = TSlot();
        ++FTaken;
        lock.unlock();
        FSpace.notify_all();
        if (taken.Error) std::rethrow_exception(taken.Error);
        return std::move(*taken.Script);
    }

private:
    struct TSlot {
        bool Ready = false;
        std::optional<TScriptObject> Script;
        std::exception_ptr Error;
    };

    void Stop() {
        {
            const std::lock_guard lock(FLock);
            FStop = true;
        }
        FSpace.notify_all();
        for (std::thread& thread : FThreads)
            if (thread.joinable()) thread.join();
    }

    void Work() {
        try {
            // Each builder renders with its own generator and encoders; text is drawn with one
            // shared font map, a thread at a time.
            const std::unique_ptr<TPrinterTypeBase> printer = FJob.Printer.CopySettings();
            TLabelBuilder builder(FJob.Template, *printer, &FSource, FJob.FullBitmaps);
            for (;;) {
                TLabelNode label;
                std::size_t index = 0;
                {
                    std::unique_lock lock(FLock);
                    FSpace.wait(lock, [&] { return FStop || FEnd || FClaimed < FTaken + kWindow; });
                    if (FStop || FEnd) return;
                    // Labels are read from the document here, one thread at a time.
                    label = FCursor->Next();
                    if (!label) {
                        FEnd = true;
                        FSpace.notify_all();
                        return;
                    }
                    index = FClaimed++;
                }
                TSlot result;
                try {
                    if (FCheck) {
                        builder.Check(label.Node, index + 1);
                        result.Script.emplace(0, std::string());
                    } else {
                        result.Script.emplace(builder.Build(label.Node, index + 1));
                    }
                } catch (...) {
                    result.Error = std::current_exception();
                }
                result.Ready = true;
                {
                    const std::lock_guard lock(FLock);
                    FSlots[index % kWindow] = std::move(result);
                }
                FReady.notify_one();
            }
        } catch (...) {
            {
                const std::lock_guard lock(FLock);
                if (!FPoolError) FPoolError = std::current_exception();
            }
            FReady.notify_one();
        }
    }

    TLabelJob::TState& FJob;
    TSlotValueSource& FSource;
    const bool FCheck;

    std::mutex FLock;
    std::condition_variable FSpace;  // workers: a label may be taken
    std::condition_variable FReady;  // the caller: a result has come
    bool FStop = false;
    std::unique_ptr<TLabelCursor> FCursor;  // the labels still to claim
    bool FEnd = false;                      // the cursor is past the last label
    std::size_t FClaimed = 0;       // labels handed to workers
    std::size_t FTaken = 0;         // results the caller has taken
    std::vector<TSlot> FSlots;      // result of label i at i % kWindow
    std::exception_ptr FPoolError;  // a worker that could not start
    std::vector<std::thread> FThreads;
};

}  // namespace

TLabelJob::TLabelJob(const TLabelDocument& ADocument, const TLabelTemplate& ATemplate,
                     TPrinterTypeBase& APrinter, const TDocumentSettings& ASettings,
                     TLabelJobOptions AOptions)
    : FState(std::make_unique<TState>(ADocument, ATemplate, APrinter, ASettings, AOptions)) {
    FState->Count = PrepareLabels(ADocument, ATemplate, APrinter);
}

TLabelJob::~TLabelJob() = default;

std::size_t TLabelJob::LabelCount() const { return FState->Count; }

std::size_t TLabelJob::Renders() const { return FState->Cache ? FState->Cache->Renders() : 0; }

void TLabelJob::Check() {
    TState& job = *FState;
    if (job.Count <= job.InlineLabels) {
        TLabelBuilder builder(job.Template, job.Printer, nullptr, job.FullBitmaps);
        job.Kept.clear();
        std::size_t number = 0;
        const std::unique_ptr<TLabelCursor> labels = job.Document.Labels();
        for (TLabelNode label = labels->Next(); label; label = labels->Next())
            job.Kept.push_back(builder.Build(label.Node, ++number));
    } else {
        TCachedSource source(job.SharedCache(), true);
        TBuilderPool pool(job, source, true);
        for (std::size_t i = 0; i < job.Count; ++i) pool.Take();
    }
    job.Checked = true;
}

void TLabelJob::Build(const std::function<void(TScriptObject&&)>& AEmit) {
    TState& job = *FState;
    if (!job.Checked) Check();
    if (job.Count <= job.InlineLabels) {
        for (TScriptObject& script : job.Kept) AEmit(std::move(script));
        job.Kept.clear();
        return;
    }
    TCachedSource source(job.SharedCache(), false);
    TBuilderPool pool(job, source, false);
    for (std::size_t i = 0; i < job.Count; ++i) AEmit(pool.Take());
}

}  // namespace quorvane
