#include "driver/label_printer_driver.h"

#include "driver/label_document.h"

namespace quorvane {

TLabelPrinterDriver::TLabelPrinterDriver() { ChangeDriverInfo(&TLabelPrinterDriver::UpdateDriverInfo); }

const TClassDecl& TLabelPrinterDriver::ClassDecl() {
    using T = TLabelPrinterDriver;
    static const TClassDecl decl =
        TClassDeclBuilder<T>(&TCommonDriver::ClassDecl())
            .Method("InitializePrinter", &T::InitializePrinter, {"ИнициализацияПринтера", 1})
            .Method("PrintLabels", &T::PrintLabels, {"ПечатьЭтикеток", 3})
            .Build();
    return decl;
}

void TLabelPrinterDriver::UpdateDriverInfo(TDriverInfo& AInfo) {
    TCommonDriver::UpdateDriverInfo(AInfo);
    AInfo.EquipmentType = TEquipmentType::etLabelPrinter;
}

bool TLabelPrinterDriver::InitializePrinter(V8Variant* ARetValue, V8Variant*, long, TV8AddInDefBaseEx*) {
    return Guarded(ARetValue, [&] { DoInitializePrinter(); });
}

bool TLabelPrinterDriver::PrintLabels(V8Variant* ARetValue, V8Variant* AParams, long, TV8AddInDefBaseEx*) {
    return Guarded(ARetValue, [&] {
        const V8Variant& value = HostParam(AParams, 1);
        const std::string mode = V8GetUtf8String(HostParam(AParams, 2));
        // The whole document is checked here, its failure naming the line and column in Russian;
        // the labels are read from the host's own text again while they are checked and sent,
        // so a large document is never copied whole.
        std::string narrow;
        const TLabelDocument document = V8Type(value) == VTYPE_PWSTR
                                            ? ReadLabelDocument(V8WideStringView(value))
                                            : ReadLabelDocument(narrow = V8GetUtf8String(value));
        DoPrintLabels(document, mode);
    });
}

}  // namespace quorvane
