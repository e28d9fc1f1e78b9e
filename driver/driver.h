#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/label_document.h"
#include "driver/label_printer_driver.h"
#include "printer/printer_type_tspl.h"
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
    void BuildScripts(const pugi::xml_document& ADocument, const std::function<void(TScriptObject&&)>& AEmit);

    // USB device path -> model number of the printers the last GetParameters recognised.
    const std::map<std::string, int>& USBPortDictionary() const { return FUSBPortDictionary; }

protected:
    void DoPrintLabels(const pugi::xml_document& ADocument, const std::string& APrintMode) override;
    void DoInitializePrinter() override;

private:
    // Appends the recognised USB printers to AChoiceList and records them in FUSBPortDictionary.
    void AddUSBPrinterList(pugi::xml_node AChoiceList);
    // Open's printer set-up: the bar width rule, the model of a listed USB printer, the generator.
    void PreparePrinter(TPrinterTSPL& APrinter);
    // Fails with "Устройство не включено" before Open.
    void CheckEnabled() const;
    // The port manager of the current Open; fails when Open could not make one.
    TPortManager& PortManager() const;
    TTsplSettings TsplSettings() const;
    TDocumentSettings DocumentSettings() const;

    bool FTemplateCreated = false;
    TLabelTemplate FTemplate;  // the fields and the template between calls
    std::map<std::string, int> FUSBPortDictionary;
    TPrinterTSPL FPrinter;

    // Settings; all start at 0, empty or false: the host supplies every value.
    std::int32_t FModel = 0;
    std::int32_t FInterfaceType = 0;
    std::string FUSBPort;
    std::int32_t FCOMPort = 0;
    std::int32_t FBaudRate = 0;
    std::int32_t FDataBits = 0;
    std::int32_t FStopBits = 0;
    std::int32_t FParity = 0;
    std::string FIPAddress;
    std::int32_t FIPPort = 0;
    std::int32_t FResolution = 0;
    std::int32_t FDensity = 0;
    double FSpeed = 0.0;
    std::int32_t FDirection = 0;
    std::int32_t FGap = 0;
    std::string FCodepage;
    bool FStretchImage = false;
    bool FExtLogEnabled = false;
    std::int32_t FPrintMethod = 0;
    bool F2DBarcodeAsPicture = false;
    std::int32_t FBarcodeNarrow = 0;
    std::int32_t FPDF417DataCompression = 0;
    std::int32_t FPDF417CorrectionLevel = 0;
    std::int32_t FPDF417CenterPattern = 0;
    std::int32_t FPDF417ModuleWidth = 0;
    std::int32_t FPDF417ModuleHeight = 0;
    std::int32_t FPDF417Rows = 0;
    std::int32_t FPDF417Cols = 0;
    std::int32_t FPDF417Truncate = 0;
    std::int32_t FDataMatrixModuleSize = 0;
    std::string FDataMatrixSize;
    std::string FQRCodeECCLevel;
    std::int32_t FQRCodeCellWidth = 0;
    std::string FQRCodeMode;
    std::string FQRCodeModel;

    std::unique_ptr<TPortManager> FPortManager;  // between Open and Close
};

}  // namespace quorvane
