#pragma once

#include <string>

#include "driver/common_driver.h"
#include "driver/label_stream.h"

namespace quorvane {

// The two host methods of the label-printer device class.
class TLabelPrinterDriver : public TCommonDriver {
public:
    TLabelPrinterDriver();

    static const TClassDecl& ClassDecl();
    const TClassDecl& GetClassDecl() const override { return ClassDecl(); }
    static void UpdateDriverInfo(TDriverInfo& AInfo);

    bool InitializePrinter(V8Variant* ARetValue, V8Variant* AParams, long ACount,
                           TV8AddInDefBaseEx* AConnection);
    bool PrintLabels(V8Variant* ARetValue, V8Variant* AParams, long ACount, TV8AddInDefBaseEx* AConnection);

protected:
    virtual void DoPrintLabels(const TLabelDocument& ADocument, const std::string& APrintMode) = 0;
    virtual void DoInitializePrinter() = 0;
};

}  // namespace quorvane
