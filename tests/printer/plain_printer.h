#pragma once

#include <memory>

#include "printer/printer_type_base.h"

namespace quorvane::test {

// The base with its language operations doing nothing: what the printer tests and benchmarks
// look at is the rasterisation the base offers, at a chosen resolution.
class TPlainPrinter : public TPrinterTypeBase {
public:
    explicit TPlainPrinter(std::int32_t ADPI = 203) {
        SetDPI(ADPI);
        SetDotInMM(ADPI / 25);
    }
    void InitialScriptActions(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, double,
                              const std::string&) override {}
    void FinalScriptActions() override {}
    void AddText(const std::string&, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                 const std::string&, std::int32_t, const std::string&, const std::string&, std::int32_t,
                 const std::string&, const std::string&, const std::string&, bool, bool,
                 const std::string&) override {}
    void AddImage(const std::string&, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                  const std::string&, std::int32_t, const std::string&, bool, const std::string&) override {}
    void AddBarcode(const std::string&, const TSymbology&, std::int32_t, std::int32_t, std::int32_t,
                    std::int32_t, std::int32_t, bool, bool, bool, const std::string&) override {}
    void AddUserData(const std::string&, bool, const std::string&) override {}
    std::string_view Name() const override { return "plain"; }
    // Not TSPL's CR LF, so that a test sees whose line end a script carries.
    std::string_view LineEnd() const override { return "\n"; }
    std::unique_ptr<TPrinterTypeBase> CopySettings() const override {
        return std::make_unique<TPlainPrinter>(DPI());
    }
    void SetCodepage(const std::string&) override {}
    TSlotKind SlotKind(const TFieldObject&) const override { return TSlotKind::skNone; }
    std::string BlankRaster(const TFieldObject&) const override { return {}; }
    std::string SlotValue(const TFieldObject&, TSlotKind, std::string_view, std::string_view) const override {
        return {};
    }
    std::string_view StatusQuery() const override { return {}; }
    TPrinterReasons StatusReasons(std::optional<std::uint8_t>) const override { return 0; }
    std::string ScriptLogText(std::string_view AScript) const override { return std::string(AScript); }
};

}  // namespace quorvane::test
