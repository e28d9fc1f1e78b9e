#include "driver/driver.h"

#include <stdexcept>
#include <vector>

#include "addin/export_text.h"
#include "driver/label_pipeline.h"
#include "driver/print_job.h"
#include "driver/printer_models.h"
#include "driver/ribbon_setup.h"
#include "driver/xml_text.h"
#include "errors/equipment_errors.h"
#include "log/driver_log.h"
#include "printer/ascii_text.h"
#include "transport/usb_print_list.h"

namespace quorvane {

namespace {

const char* const kDriverName = "Драйвер принтера печати этикеток Tarvo";
const char* const kDriverDescription =
    "Драйвер принтера печати этикеток Tarvo 1С:Совместимо для 1С:БПО NativeAPI";

// The driver class is registered while the library loads; the registry it fills is a
// function-local static, so the order of start-up code does not matter.
const bool kRegistered = [] {
    TCommonDriver::RegisterDriver<TDriver>("quorvane", kDriverName, kDriverDescription);
    return true;
}();

// The first element below the root, depth first in document order, whose Name attribute equals
// AName ignoring case; an empty node when there is none.
pugi::xml_node FindNamedElement(const pugi::xml_document& ADoc, const char* AName) {
    return ADoc.document_element().find_node([AName](pugi::xml_node n) {
        return n.type() == pugi::node_element && SameTextIgnoreCase(n.attribute("Name").value(), AName);
    });
}

// The demo label of the device test: one 30 x 20 mm label with a line of text.
std::string DemoLabelDocument(const std::string& AText) {
    return "<?xml version=\"1.0\"?><Data><Formatting Width = \"30\" Height=\"20\"><Text FieldName=\"Field\" "
           "FontSize=\"8\" FontName=\"Arial\" Multiline=\"True\" Left=\"1\" Top=\"2\" Width=\"28\" "
           "Height=\"20\"/></Formatting><Labels><Label Quantity=\"1\"><Record FieldName=\"Field\" Value=\"" +
           AText + "\"/></Label></Labels></Data>";
}

}  // namespace

TDriver::TDriver() = default;

TDriver::~TDriver() {
    try {
        Close();
    } catch (...) {
        // Close does not fail; nothing may leave a destructor anyway.
    }
}

const TClassDecl& TDriver::ClassDecl() {
    using T = TDriver;
    static const TClassDecl decl =
        TClassDeclBuilder<T>(&TLabelPrinterDriver::ClassDecl())
            .Property("InterfaceType", &T::FInterfaceType, {"ТипИнтерфейса", "Тип интерфейса", "0"})
            .Property("USBPort", &T::FUSBPort, {"Порт", "Порт", ""})
            .Property("COMPort", &T::FCOMPort, {"Порт", "Порт", "1"})
            .Property("BaudRate", &T::FBaudRate, {"СкоростьПередачи", "Скорость передачи", "9600"})
            .Property("DataBits", &T::FDataBits, {"БитыДанных", "Биты данных", "8"})
            .Property("StopBits", &T::FStopBits, {"СтопБиты", "Стоп биты", "0"})
            .Property("Parity", &T::FParity, {"Четность", "Четность", "0"})
            .Property("IPAddress", &T::FIPAddress, {"IPАдрес", "IP-адрес", ""})
            .Property("IPPort", &T::FIPPort, {"Порт", "Порт", "9100"})
            .Property("PrintMethod", &T::FPrintMethod, {"МетодПечати", "Метод печати", "0"})
            .Property("Resolution", &T::FResolution, {"Разрешение", "Разрешение", "600"})
            .Property("Density", &T::FDensity, {"Яркость", "Яркость", "7"})
            .Property("Speed", &T::FSpeed, {"Скорость", "Скорость", "2"})
            .Property("Direction", &T::FDirection, {"НаправлениеПечати", "Направление печати", "0"})
            .Property("Gap", &T::FGap, {"ШиринаЗазора", "Ширина зазора", "3"})
            .Property("Codepage", &T::FCodepage, {"КодоваяСтраница", "Кодовая страница", "1251"})
            .Property("Model", &T::FModel, {"Модель", "Модель", "0"})
            .Property("StretchImage", &T::FStretchImage,
                      {"РастягиватьКартинку", "Растягивать картинку", "false"})
            .Property("BarcodeNarrow", &T::FBarcodeNarrow, {"ШиринаШтрихкода", "Ширина штрихкода", "2"})
            .Property("ExtLogEnabled", &T::FExtLogEnabled,
                      {"РасширенныйLogTSPL", "Расширенный log языка TSPL", "false"})
            .Property("_2DBarcodeAsPicture", &T::F2DBarcodeAsPicture,
                      {"2DШтрихкодКартинкой", "2D штрихкод картинкой", "false"})
            .Property("PDF417DataCompression", &T::FPDF417DataCompression,
                      {"МетодСжатияДанных", "Метод сжатия данных", "-1"})
            .Property("PDF417CorrectionLevel", &T::FPDF417CorrectionLevel,
                      {"УровеньКоррекцииОшибок", "Уровень коррекции ошибок", "-1"})
            .Property("PDF417CenterPattern", &T::FPDF417CenterPattern,
                      {"ЦентрШаблона", "Центр шаблона", "-1"})
            .Property("PDF417ModuleWidth", &T::FPDF417ModuleWidth, {"ШиринаМодуля", "Ширина модуля", "-1"})
            .Property("PDF417ModuleHeight", &T::FPDF417ModuleHeight, {"ВысотаМодуля", "Высота модуля", "-1"})
            .Property("PDF417Rows", &T::FPDF417Rows, {"КоличествоСтрок", "Количество строк", "0"})
            .Property("PDF417Cols", &T::FPDF417Cols, {"КоличествоСтолбцов", "Количество столбцов", "0"})
            .Property("PDF417Truncate", &T::FPDF417Truncate, {"Сокращение", "Сокращение", "-1"})
            .Property("DataMatrixModuleSize", &T::FDataMatrixModuleSize,
                      {"РазмерМодуляПиксели", "Размер модуля в пикселях", "6"})
            .Property("DataMatrixSize", &T::FDataMatrixSize, {"РазмерКода", "Размер кода", "10x10"})
            .Property("QRCodeECCLevel", &T::FQRCodeECCLevel,
                      {"УровеньКоррекцииОшибок", "Уровень восстановления с исправлением ошибок", "M"})
            .Property("QRCodeCellWidth", &T::FQRCodeCellWidth, {"Размер ячейки", "РазмерЯчейки", "4"})
            .Property("QRCodeMode", &T::FQRCodeMode, {"РежимШифрования", "Режим шифрования", "A"})
            .Property("QRCodeModel", &T::FQRCodeModel, {"Модель", "Модель", "M1"})
            .Build();
    return decl;
}

void TDriver::CheckEnabled() const {
    if (!Enabled()) throw std::runtime_error(EquipmentErrorText(70));
}

TPortManager& TDriver::PortManager() const {
    if (!FPortManager)
        throw std::runtime_error("Неизвестный тип интерфейса: " + std::to_string(FInterfaceType));
    return *FPortManager;
}

TTsplSettings TDriver::TsplSettings() const {
    TTsplSettings s;
    s.Model = FModel;
    s.BarcodeNarrow = FBarcodeNarrow;
    s.PrintMethod = FPrintMethod;
    s._2DBarcodeAsPicture = F2DBarcodeAsPicture;
    s.PDF417DataCompression = FPDF417DataCompression;
    s.PDF417CorrectionLevel = FPDF417CorrectionLevel;
    s.PDF417CenterPattern = FPDF417CenterPattern;
    s.PDF417ModuleWidth = FPDF417ModuleWidth;
    s.PDF417ModuleHeight = FPDF417ModuleHeight;
    s.PDF417Rows = FPDF417Rows;
    s.PDF417Cols = FPDF417Cols;
    s.PDF417Truncate = FPDF417Truncate;
    s.DataMatrixModuleSize = FDataMatrixModuleSize;
    s.DataMatrixSize = FDataMatrixSize;
    s.QRCodeECCLevel = FQRCodeECCLevel;
    s.QRCodeCellWidth = FQRCodeCellWidth;
    s.QRCodeMode = FQRCodeMode;
    s.QRCodeModel = FQRCodeModel;
    return s;
}

TDocumentSettings TDriver::DocumentSettings() const {
    TDocumentSettings s;
    s.Gap = FGap;
    s.Density = FDensity;
    s.Direction = FDirection;
    s.Speed = FSpeed;
    s.Codepage = FCodepage;
    s._2DBarcodeAsPicture = F2DBarcodeAsPicture;
    return s;
}

void TDriver::Open() {
    TLabelPrinterDriver::Open();
    FPortManager.reset();
    switch (FInterfaceType) {
        case 0: FPortManager = std::make_unique<TPortManager>(FUSBPort); break;
        case 1:
            FPortManager = std::make_unique<TPortManager>(FCOMPort, FBaudRate, FDataBits, FStopBits, FParity);
            break;
        case 2: FPortManager = std::make_unique<TPortManager>(FIPAddress, FIPPort); break;
        default: break;
    }
    PreparePrinter(FPrinter);
    SetLogMode(GetLogEnabled() ? 3 : 0);

    // Proves the port; Enabled stays true and the manager stays in place when it fails.
    TPortManager& port = PortManager();
    TPortCloser closer(port);
    port.OpenPort();
}

void TDriver::PreparePrinter(TPrinterTSPL& APrinter) {
    if (FBarcodeNarrow <= 0 || FBarcodeNarrow > 10) FBarcodeNarrow = 1;
    if (const auto it = FUSBPortDictionary.find(FUSBPort); it != FUSBPortDictionary.end())
        FModel = it->second;
    APrinter.ApplySettings(FResolution, FStretchImage, TsplSettings());
}

void TDriver::BuildScripts(const pugi::xml_document& ADocument,
                           const std::function<void(TScriptObject&&)>& AEmit) {
    TPrinterTSPL printer;
    PreparePrinter(printer);
    TLabelTemplate labelTemplate;
    const TDocumentSettings settings = DocumentSettings();
    LoadTemplate(ADocument, labelTemplate, printer, settings);
    TLabelJob job(ADocument, labelTemplate, printer, settings);
    job.Check();
    job.Build(AEmit);
}

void TDriver::Close() {
    FPortManager.reset();
    TLabelPrinterDriver::Close();
}

void TDriver::DoInitializePrinter() {
    CheckEnabled();
    // Only the models with a ribbon switch need the printer; the others are ready as they are.
    if (FModel != 3 && FModel != 4) return;
    TPortManager& port = PortManager();
    TPortCloser closer(port);
    port.OpenPort();
    SetUpRibbon(port, FModel, FPrintMethod, TWaitClock::System());
}

void TDriver::DoPrintLabels(const pugi::xml_document& ADocument, const std::string& APrintMode) {
    CheckEnabled();
    const TDocumentSettings settings = DocumentSettings();
    if (SameTextIgnoreCase(APrintMode, "first") || !FTemplateCreated) {
        // LoadTemplate replaces the template only when the whole layout has been read.
        LoadTemplate(ADocument, FTemplate, FPrinter, settings);
        FTemplateCreated = true;
    }
    if (SameTextIgnoreCase(APrintMode, "last")) FTemplateCreated = false;
    // Every label is checked before the port opens, so a document error prints nothing; each
    // is built again as it is sent, so memory does not grow with the job.
    TLabelJob job(ADocument, FTemplate, FPrinter, settings);
    job.Check();
    TPrintJobOptions options;
    options.ExtLogEnabled = FExtLogEnabled;
    SendLabelScripts(
        PortManager(), [&](const auto& ASend) { job.Build(ASend); }, job.LabelCount(), options);
}

void TDriver::DoDeviceTest(std::string& /*ADescription*/, std::string& /*ADemoModeDescription*/) {
    FDensity = 10;
    Open();
    const TDriverInfo info = GetDriverInfo();
    const std::string name = IsBlank(info.Description) ? info.Name : info.Description;
    pugi::xml_document document;
    ParseXml(RemoveInvalidXMLChars(DemoLabelDocument(name + " " + info.DriverVersion)), document);
    DoPrintLabels(document, "last");
    Close();
}

void TDriver::BuildParameters(std::string& AText) {
    std::string text;
    TLabelPrinterDriver::BuildParameters(text);
    pugi::xml_document doc;
    ParseXml(RemoveInvalidXMLChars(text), doc);

    FUSBPortDictionary.clear();
    if (pugi::xml_node usbPort = FindNamedElement(doc, "USBPort"))
        AddUSBPrinterList(usbPort.append_child("ChoiceList"));

    if (pugi::xml_node mainSettings = FindNamedElement(doc, "MainSettings")) {
        pugi::xml_node param = mainSettings.append_child("Parameter");
        param.append_attribute("Name") = "_2DBarcodeAsPicture";
        param.append_attribute("Caption") = "Печать 2D штрихкода картинкой";
        param.append_attribute("TypeValue") = "Boolean";
        param.append_attribute("DefaultValue") = "true";
    }
    AText = XmlToText(doc);
}

void TDriver::AddUSBPrinterList(pugi::xml_node AChoiceList) {
    TUSBPrintList list;
    if (!list.Refresh()) return;  // no device database: the choice list stays empty
    std::vector<TUSBPrintInfoRec> devices;
    devices.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) devices.push_back(list.Items(i));
    AddUSBPrinterItems(AChoiceList, devices, FUSBPortDictionary);
}

}  // namespace quorvane
