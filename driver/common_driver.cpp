#include "driver/common_driver.h"

#include <sstream>
#include <stdexcept>

#include "errors/messages.h"
#include "help/viewer_actions.h"
#include "log/driver_log.h"
#include "log/version_info.h"
#include "resources/embedded_resource.h"

namespace quorvane {

namespace {

constexpr std::int32_t kInterfaceRevision = 3002;

}  // namespace

V8Variant& HostParam(V8Variant* AParams, long AIndex) {
    if (AParams == nullptr || AIndex < 0) throw std::runtime_error("Parameter missing");
    return AParams[AIndex];
}

std::string XmlToText(const pugi::xml_document& ADoc) {
    std::ostringstream out;
    ADoc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

void ParseXml(const std::string& AText, pugi::xml_document& ADoc) {
    const pugi::xml_parse_result result = ADoc.load_buffer(
        AText.data(), AText.size(), pugi::parse_default | pugi::parse_declaration, pugi::encoding_utf8);
    if (!result)
        throw std::runtime_error(std::string("XML: ") + result.description() + " (offset " +
                                 std::to_string(result.offset) + ")");
}

void BuildGeneratedParameters(const TClassDecl& ADecl, pugi::xml_document& ADoc) {
    ADoc.reset();
    pugi::xml_node decl = ADoc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    pugi::xml_node page = ADoc.append_child("Settings").append_child("Page");
    page.append_attribute("Caption") = MessageText(TMessage::GeneratedParametersPage);
    ForEachProp(ADecl, [&page](const TPropDecl& p) {
        for (const ExportPropAttribute& attr : p.Attributes) {
            pugi::xml_node param = page.append_child("Parameter");
            param.append_attribute("Name") = p.Name.c_str();
            param.append_attribute("Caption") = attr.Caption.c_str();
            param.append_attribute("TypeValue") = ValueTypeName(PropKindTypeNumber(p.Kind)).c_str();
            param.append_attribute("DefaultValue") = attr.DefValue.c_str();
            param.append_attribute("ReadOnly") = attr.ReadOnly;
        }
    });
}

TCommonDriver::TCommonDriver() { ChangeDriverInfo(&TCommonDriver::UpdateDriverInfo); }

const TClassDecl& TCommonDriver::ClassDecl() {
    using T = TCommonDriver;
    static const TClassDecl decl =
        TClassDeclBuilder<T>(&TCustomDriver::ClassDecl())
            .Method("GetInterfaceRevision", &T::GetInterfaceRevision, {"ПолучитьРевизиюИнтерфейса", 0})
            .Method("GetDescription", &T::GetDescription, {"ПолучитьОписание", 1})
            .Method("GetLastError", &T::GetLastError, {"ПолучитьОшибку", 1})
            .Method("Open", &T::Open, {"Подключить", 1})
            .Method("Close", &T::Close, {"Отключить", 1})
            .Method("GetParameters", &T::GetParameters, {"ПолучитьПараметры", 1})
            .Method("SetParameter", &T::SetParameter, {"УстановитьПараметр", 2})
            .Method("DeviceTest", &T::DeviceTest, {"ТестУстройства", 2})
            .Method("GetAdditionalActions", &T::GetAdditionalActions, {"ПолучитьДополнительныеДействия", 1})
            .Method("DoAdditionalAction", &T::DoAdditionalAction, {"ВыполнитьДополнительноеДействие", 1})
            .Action("ViewLog", &T::ViewLog, {MessageText(TMessage::LogViewerCaption)})
            .Action("ShowHelp", &T::ShowHelp, {MessageText(TMessage::HelpCaption)})
            .Property("LogEnabled", &T::GetLogEnabled, &T::SetLogEnabled,
                      {"ЛогВключен", "Вести лог", "False"})
            .Build();
    return decl;
}

void TCommonDriver::UpdateDriverInfo(TDriverInfo& AInfo) {
    AInfo.Clear();
    AInfo.DownloadURL = DriverDownloadURL();
    AInfo.DriverVersion = GetModuleVersionText();
    AInfo.IntegrationComponentVersion = AInfo.DriverVersion;
    AInfo.LogIsEnabled = false;
}

bool TCommonDriver::GetLogEnabled() const { return GetLogMode() != 0; }

void TCommonDriver::SetLogEnabled(bool AValue) { SetLogMode(AValue ? 3 : 0); }

// ---- Host methods ----------------------------------------------------------------------------

bool TCommonDriver::GetInterfaceRevision(V8Variant* ARetValue, V8Variant*, long, TV8AddInDefBaseEx*) {
    if (ARetValue != nullptr) V8SetInt(*ARetValue, kInterfaceRevision);
    return true;
}

bool TCommonDriver::GetDescription(V8Variant* ARetValue, V8Variant* AParams, long, TV8AddInDefBaseEx*) {
    return Guarded(ARetValue, [&] {
        std::string text;
        BuildDescription(text);
        V8SetUtf8String(HostParam(AParams, 0), text);
    });
}

bool TCommonDriver::GetLastError(V8Variant* ARetValue, V8Variant* AParams, long, TV8AddInDefBaseEx*) {
    if (ARetValue != nullptr) V8SetInt(*ARetValue, LastResult().GetIntResult());
    if (AParams != nullptr) V8SetUtf8String(AParams[0], LastResult().ErrorDescription);
    return true;
}

bool TCommonDriver::Open(V8Variant* ARetValue, V8Variant*, long, TV8AddInDefBaseEx*) {
    return Guarded(ARetValue, [&] { Open(); });
}

bool TCommonDriver::Close(V8Variant* ARetValue, V8Variant*, long, TV8AddInDefBaseEx*) {
    return Guarded(ARetValue, [&] { Close(); });
}

bool TCommonDriver::GetParameters(V8Variant* ARetValue, V8Variant* AParams, long, TV8AddInDefBaseEx*) {
    return Guarded(ARetValue, [&] {
        std::string text;
        BuildParameters(text);
        V8SetUtf8String(HostParam(AParams, 0), text);
    });
}

bool TCommonDriver::SetParameter(V8Variant* ARetValue, V8Variant* AParams, long, TV8AddInDefBaseEx*) {
    return Guarded(ARetValue,
                   [&] { PropertySet(V8GetUtf8String(HostParam(AParams, 0)), HostParam(AParams, 1)); });
}

bool TCommonDriver::DeviceTest(V8Variant* ARetValue, V8Variant* AParams, long, TV8AddInDefBaseEx*) {
    std::string description;
    std::string demoMode;
    try {
        DoDeviceTest(description, demoMode);
        V8SetUtf8String(HostParam(AParams, 0), description);
        V8SetUtf8String(HostParam(AParams, 1), demoMode);
        ReportSuccess(ARetValue);
    } catch (const std::exception& e) {
        // The failure text goes to the host twice: as the description and through GetLastError.
        if (AParams != nullptr) V8SetUtf8String(AParams[0], e.what());
        ReportError(e, ARetValue, 0);
    } catch (...) {
        ReportError(MessageText(TMessage::HostUnknownError), ARetValue, 0);
    }
    return true;
}

bool TCommonDriver::GetAdditionalActions(V8Variant* ARetValue, V8Variant* AParams, long, TV8AddInDefBaseEx*) {
    return Guarded(ARetValue, [&] {
        std::string text;
        BuildAdditionalActions(text);
        V8SetUtf8String(HostParam(AParams, 0), text);
    });
}

bool TCommonDriver::DoAdditionalAction(V8Variant* ARetValue, V8Variant* AParams, long, TV8AddInDefBaseEx*) {
    return Guarded(ARetValue, [&] { ExecuteAction(V8GetUtf8String(HostParam(AParams, 0))); });
}

// ---- Additional actions ----------------------------------------------------------------------

void TCommonDriver::ViewLog() { ShowLogViewer(); }

void TCommonDriver::ShowHelp() { ::quorvane::ShowHelp(); }

// ---- The work behind the host methods --------------------------------------------------------

void TCommonDriver::Open() { FEnabled = true; }

void TCommonDriver::Close() { FEnabled = false; }

void TCommonDriver::DoDeviceTest(std::string& ADescription, std::string& /*ADemoModeDescription*/) {
    try {
        Open();
        ADescription = GetDriverInfo().Description;
    } catch (...) {
        Close();
        throw;
    }
    Close();
}

void TCommonDriver::BuildParameters(std::string& AText) {
    pugi::xml_document doc;
    if (const EmbeddedResource* res = FindEmbeddedResource("PARAMETERS")) {
        ParseXml(std::string(reinterpret_cast<const char*>(res->data), res->size), doc);
    } else {
        BuildGeneratedParameters(GetClassDecl(), doc);
    }
    AText = XmlToText(doc);
}

void TCommonDriver::BuildDescription(std::string& AText) {
    const TDriverInfo info = GetDriverInfo();
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    pugi::xml_node root = doc.append_child("DriverDescription");
    root.append_attribute("Name") = info.Name.c_str();
    root.append_attribute("Description") = info.Description.c_str();
    root.append_attribute("EquipmentType") = EquipmentTypeName(info.EquipmentType).c_str();
    root.append_attribute("IntegrationComponent") = info.IntegrationComponent;
    root.append_attribute("MainDriverInstalled") = info.MainDriverInstalled;
    root.append_attribute("DriverVersion") = info.DriverVersion.c_str();
    root.append_attribute("IntegrationComponentVersion") = info.IntegrationComponentVersion.c_str();
    root.append_attribute("DownloadURL") = info.DownloadURL.c_str();
    root.append_attribute("LogIsEnabled") = GetLogEnabled();
    root.append_attribute("LogPath") = GetLogFileName(true).c_str();
    AText = XmlToText(doc);
}

void TCommonDriver::BuildAdditionalActions(std::string& AText) {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    pugi::xml_node root = doc.append_child("Actions");
    ForEachMethod(GetClassDecl(), [&root](const TMethDecl& m) {
        for (const TMethAttribute& attr : m.Attributes) {
            if (const auto* action = std::get_if<AdditionalActionAttribute>(&attr)) {
                pugi::xml_node node = root.append_child("Action");
                node.append_attribute("Name") = m.Name.c_str();
                node.append_attribute("Caption") = action->Caption.c_str();
            }
        }
    });
    AText = XmlToText(doc);
}

void TCommonDriver::ExecuteAction(const std::string& AActionName) {
    const TMethDecl* found = nullptr;
    ForEachMethod(GetClassDecl(), [&](const TMethDecl& m) {
        if (found != nullptr || m.Name != AActionName || !m.Action) return;
        for (const TMethAttribute& attr : m.Attributes)
            if (std::holds_alternative<AdditionalActionAttribute>(attr)) found = &m;
    });
    if (found == nullptr) {
        // Name the actions there are: the name is matched exactly, case included.
        std::string known;
        ForEachMethod(GetClassDecl(), [&known](const TMethDecl& m) {
            for (const TMethAttribute& attr : m.Attributes)
                if (const auto* action = std::get_if<AdditionalActionAttribute>(&attr))
                    known += (known.empty() ? "" : ", ") + m.Name + " (" + action->Caption + ")";
        });
        throw TMessageError(TMessage::ActionNotFound, AActionName, known);
    }
    found->Action(*this);
}

}  // namespace quorvane
