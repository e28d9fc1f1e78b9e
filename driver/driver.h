#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver_settings.h"
#include "driver/label_document.h"
#include "driver/label_printer_driver.h"
#include "printer/printer_type_base.h"
#include "transport/port_manager.h"

namespace quorvane {

// The driver object the host creates: its settings, the recognised USB printers and the device
// work behind the host methods.
class TDriver : public TLabelPrinterDriver {
public:
    TDriver();
    ~TDriver() override;

    static const TClassDecl& ClassDecl();
    const TClassDecl& GetClassDecl() const override { return ClassDecl(); }

    void Open() override;
    void Close() override;
    void BuildParameters(std::string& AText) override;
    void DoDeviceTest(std::string& ADescription, std::string& ADemoModeDescription) override;

    // The scripts of a document with the current settings, built as PrintLabels would build
    // them but without a port and without touching the template kept between its calls:
    // every label is checked first, then each is handed to AEmit in order as it is built.
    // AFullBitmaps: every BITMAP over its whole box, to show that the trimmed ones print the same.
    void BuildScripts(const TLabelDocument& ADocument, const std::function<void(TScriptObject&&)>& AEmit,
                      bool AFullBitmaps = false);

    // The name of the printer language the scripts are written in ("TSPL").
    std::string PrinterLanguage() const;

    // USB device path -> model number of the printers the last GetParameters recognised.
    const std::map<std::string, int>& USBPortDictionary() const { return FUSBPortDictionary; }

protected:
    void DoPrintLabels(const TLabelDocument& ADocument, const std::string& APrintMode) override;
    void DoInitializePrinter() override;
    void CheckUnstorableNumber(const std::string& AName, double AValue) const override;

private:
    // Appends the recognised USB printers to AChoiceList and records them in FUSBPortDictionary.
    void AddUSBPrinterList(pugi::xml_node AChoiceList);
    // Open's printer set-up: the model of a listed USB printer, the printer language, and the
    // bar width the language made of the setting.
    std::unique_ptr<TPrinterTypeBase> PreparePrinter();
    // Fails with "Устройство не включено" before Open.
    void CheckEnabled() const;
    // The port manager of the current Open; fails when Open could not make one.
    TPortManager& PortManager() const;
    // The document reader's settings, with the user's decimal separator as it is now.
    TDocumentSettings DocumentSettings() const;

    bool FTemplateCreated = false;
    TLabelTemplate FTemplate;  // the fields and the template between calls
    std::map<std::string, int> FUSBPortDictionary;
    std::unique_ptr<TPrinterTypeBase> FPrinter;  // made by Open

    TDriverSettings FSettings;

    std::unique_ptr<TPortManager> FPortManager;  // between Open and Close
};

}  // namespace quorvane
