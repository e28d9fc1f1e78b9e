#include "driver/driver.h"

#include <stdexcept>
#include <vector>

#include "driver/label_pipeline.h"
#include "driver/print_job.h"
#include "driver/printer_models.h"
#include "driver/printer_setup.h"
#include "driver/setting_choices.h"
#include "driver/xml_text.h"
#include "errors/equipment_errors.h"
#include "errors/messages.h"
#include "log/driver_log.h"
#include "printer/tspl/tspl_language_settings.h"
#include "text/ascii_text.h"
#include "text/same_text.h"
#include "transport/usb_print_list.h"

namespace quorvane {

namespace {

const char* const kDriverName = MessageText(TMessage::DriverName);
const char* const kDriverDescription = MessageText(TMessage::DriverDescription);

// The driver class is registered while the library loads; the registry it fills is a
// function-local static, so the order of start-up code does not matter.
const bool kRegistered = [] {
    TCommonDriver::RegisterDriver<TDriver>("quorvane", kDriverName, kDriverDescription);
    return true;
}();

// The printer language, made from the settings. The settings get back what the language changed
// (the bar width it uses), which the host reads. The language gets its text settings checked and
// as their choice lists write them, whenever it is made: at Open, for InitializePrinter and for
// scripts built without a port.
std::unique_ptr<TPrinterTypeBase> NewPrinter(TDriverSettings& ASettings) {
    const TDriverSettings checked = CheckedSettings(ASettings, TCheckedPart::cpGenerator);
    return DriverLanguage().NewPrinter(ASettings.Device.Resolution, ASettings.Device.StretchImage,
                                       checked.Language, ASettings.Language);
}

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

// The one place a language is chosen: its settings part makes its printer.
const TLanguageSettings& DriverLanguage() {
    static const TTsplLanguageSettings language;
    return language;
}

TDriver::TDriver() = default;

TDriver::~TDriver() {
    try {
        Close();
    } catch (...) {
        // Close does not fail; nothing may leave a destructor anyway.
    }
}

const TClassDecl& TDriver::ClassDecl() {
    static const TClassDecl decl = [] {
        TClassDeclBuilder<TDriver> builder(&TLabelPrinterDriver::ClassDecl());
        for (const TSetting& setting : DriverSettings())
            builder.Property(
                std::string(setting.Name), setting.Kind,
                [&setting](const TDriver& ADriver) { return setting.Get(ADriver.FSettings); },
                [&setting](TDriver& ADriver, const TPropValue& AValue) {
                    setting.Set(ADriver.FSettings, AValue);
                },
                {std::string(setting.NameLoc), std::string(setting.Caption), std::string(setting.DefValue)});
        return builder.Build();
    }();
    return decl;
}

void TDriver::CheckEnabled() const {
    if (!Enabled()) throw TMessageError(TMessage::DeviceNotEnabled);
}

TPortManager& TDriver::PortManager() const {
    if (!FPortManager) throw TMessageError(TMessage::UnknownInterfaceType, FSettings.Device.InterfaceType);
    return *FPortManager;
}

TDocumentSettings TDriver::DocumentSettings() const {
    // Read for every template built, so checked for every one too: Codepage may have changed
    // since Open.
    return CheckedSettings(FSettings, TCheckedPart::cpDocument).Document;
}

namespace {

// The schema's defaults name no port: say which setting to fill rather than failing to open
// a device with an empty name.
void CheckPortChosen(const TDeviceSettings& ADevice) {
    const char* setting = nullptr;
    if (ADevice.InterfaceType == 0 && IsBlank(ADevice.USBPort)) setting = "USBPort";
    if (ADevice.InterfaceType == 1 && ADevice.COMPort == 0) setting = "COMPort";
    if (ADevice.InterfaceType == 2 && IsBlank(ADevice.IPAddress)) setting = "IPAddress";
    if (setting == nullptr) return;
    throw EquException(1011, TMessage::PortUnavailable,
                       std::string(MessageText(TMessage::PortUnavailable)) + " — " +
                           Message(TMessage::PortNotChosen, setting));
}

}  // namespace

void TDriver::CheckUnstorableNumber(const std::string& AName, double AValue) const {
    CheckNumberSetting(AName, AValue);
}

void TDriver::Open() {
    // A text setting off its choice list fails Open before anything else changes.
    CheckedSettings(FSettings, TCheckedPart::cpAll);
    TLabelPrinterDriver::Open();
    FPrinter = PreparePrinter();
    FPortManager.reset();
    const TDeviceSettings& device = FSettings.Device;
    switch (device.InterfaceType) {
        case 0: FPortManager = std::make_unique<TPortManager>(device.USBPort); break;
        case 1:
            FPortManager = std::make_unique<TPortManager>(device.COMPort, device.BaudRate, device.DataBits,
                                                          device.StopBits, device.Parity);
            break;
        case 2: FPortManager = std::make_unique<TPortManager>(device.IPAddress, device.IPPort); break;
        default: break;
    }
    SetLogMode(GetLogEnabled() ? 3 : 0);

    // Proves the port; Enabled stays true and the manager stays in place when it fails.
    TPortManager& port = PortManager();
    CheckPortChosen(device);
    TPortCloser closer(port);
    port.OpenPort();
}

std::unique_ptr<TPrinterTypeBase> TDriver::PreparePrinter() {
    // The model the USB list recognised, for a language that knows models.
    const auto it = FUSBPortDictionary.find(FSettings.Device.USBPort);
    const TSetting* model = FindSetting("Model");
    if (it != FUSBPortDictionary.end() && model != nullptr) model->Set(FSettings, std::int32_t{it->second});
    return NewPrinter(FSettings);
}

std::string TDriver::PrinterLanguage() const {
    TDriverSettings settings = FSettings;
    return std::string(NewPrinter(settings)->Name());
}

void TDriver::BuildScripts(const TLabelDocument& ADocument,
                           const std::function<void(TScriptObject&&)>& AEmit, bool AFullBitmaps) {
    const std::unique_ptr<TPrinterTypeBase> printer = PreparePrinter();
    TLabelTemplate labelTemplate;
    const TDocumentSettings settings = DocumentSettings();
    LoadTemplate(ADocument, labelTemplate, *printer, settings);
    TLabelJobOptions options;
    options.FullBitmaps = AFullBitmaps;
    TLabelJob job(ADocument, labelTemplate, *printer, settings, options);
    job.Check();
    job.Build(AEmit);
}

void TDriver::Close() {
    FPortManager.reset();
    TLabelPrinterDriver::Close();
}

void TDriver::DoInitializePrinter() {
    CheckEnabled();
    // The settings as they are now, also when they changed after Open; they stay as they are.
    TDriverSettings settings = FSettings;
    const std::unique_ptr<TPrinterTypeBase> printer = NewPrinter(settings);
    // Only a printer with something to set up needs the port; the others are ready as they are.
    if (!printer->NeedsSetUp()) return;
    TPortManager& port = PortManager();
    TPortCloser closer(port);
    port.OpenPort();
    SetUpPrinter(port, *printer, TWaitClock::System());
}

void TDriver::DoPrintLabels(const TLabelDocument& ADocument, const std::string& APrintMode) {
    CheckEnabled();
    const TDocumentSettings settings = DocumentSettings();
    if (SameTextIgnoreCase(APrintMode, "first") || !FTemplateCreated) {
        // LoadTemplate replaces the template only when the whole layout has been read.
        LoadTemplate(ADocument, FTemplate, *FPrinter, settings);
        FTemplateCreated = true;
    }
    if (SameTextIgnoreCase(APrintMode, "last")) FTemplateCreated = false;
    // Every label is checked before the port opens, so a document error prints nothing; each
    // is built again as it is sent, so memory does not grow with the job.
    TLabelJob job(ADocument, FTemplate, *FPrinter, settings);
    job.Check();
    TPrintJobOptions options;
    options.ExtLogEnabled = FSettings.Device.ExtLogEnabled;
    options.CopyPrintMs = FTemplate.CopyPrintMs();
    const bool answered = SendLabelScripts(
        PortManager(), *FPrinter, [&](const auto& ASend) { job.Build(ASend); }, job.LabelCount(), options);
    if (!answered) AddWarning(MessageText(TMessage::PrinterDidNotAnswer));
}

void TDriver::DoDeviceTest(std::string& /*ADescription*/, std::string& /*ADemoModeDescription*/) {
    FSettings.Document.Density = 10;
    Open();
    const TDriverInfo info = GetDriverInfo();
    const std::string name = IsBlank(info.Description) ? info.Name : info.Description;
    pugi::xml_document document;
    ParseXml(RemoveInvalidXMLChars(DemoLabelDocument(name + " " + info.DriverVersion)), document);
    // The demo layout is built whatever template an earlier print left, so the test never prints
    // the user's layout with the demo record; "last" leaves none, and the next print builds its own.
    FTemplateCreated = false;
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
        param.append_attribute("Caption") = MessageText(TMessage::TwoDBarcodeAsPictureCaption);
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
