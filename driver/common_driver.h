#pragma once

#include <string>

#include <pugixml.hpp>

#include "addin/custom_driver.h"
#include "driver/driver_info.h"

namespace quorvane {

// The methods every driver of the equipment standard offers: revision, description, last
// error, settings, open and close, device test and additional actions.
class TCommonDriver : public TCustomDriver {
public:
    TCommonDriver();
    ~TCommonDriver() override = default;

    static const TClassDecl& ClassDecl();
    const TClassDecl& GetClassDecl() const override { return ClassDecl(); }

    // Registers driver class C under AExtension and records its name and description in the
    // shared driver information.
    template <class C>
    static TClassReg& RegisterDriver(const std::string& AExtension, const std::string& AName,
                                     const std::string& ADescription);
    // Fills the driver information; a driver class hides it with its own, which calls this.
    static void UpdateDriverInfo(TDriverInfo& AInfo);

    bool Enabled() const { return FEnabled; }
    // The driver log: on reads whether it writes anything; setting it switches it for the
    // whole library (everything, or nothing).
    bool GetLogEnabled() const;
    void SetLogEnabled(bool AValue);

    // Host methods.
    bool GetInterfaceRevision(V8Variant* ARetValue, V8Variant* AParams, long ACount,
                              TV8AddInDefBaseEx* AConnection);
    bool GetDescription(V8Variant* ARetValue, V8Variant* AParams, long ACount,
                        TV8AddInDefBaseEx* AConnection);
    bool GetLastError(V8Variant* ARetValue, V8Variant* AParams, long ACount, TV8AddInDefBaseEx* AConnection);
    bool Open(V8Variant* ARetValue, V8Variant* AParams, long ACount, TV8AddInDefBaseEx* AConnection);
    bool Close(V8Variant* ARetValue, V8Variant* AParams, long ACount, TV8AddInDefBaseEx* AConnection);
    bool GetParameters(V8Variant* ARetValue, V8Variant* AParams, long ACount, TV8AddInDefBaseEx* AConnection);
    bool SetParameter(V8Variant* ARetValue, V8Variant* AParams, long ACount, TV8AddInDefBaseEx* AConnection);
    bool DeviceTest(V8Variant* ARetValue, V8Variant* AParams, long ACount, TV8AddInDefBaseEx* AConnection);
    bool GetAdditionalActions(V8Variant* ARetValue, V8Variant* AParams, long ACount,
                              TV8AddInDefBaseEx* AConnection);
    bool DoAdditionalAction(V8Variant* ARetValue, V8Variant* AParams, long ACount,
                            TV8AddInDefBaseEx* AConnection);

    // Additional actions.
    void ViewLog();
    void ShowHelp();

    // The work behind the host methods.
    virtual void Open();
    virtual void Close();
    virtual void DoDeviceTest(std::string& ADescription, std::string& ADemoModeDescription);
    virtual void BuildParameters(std::string& AText);
    virtual void BuildDescription(std::string& AText);
    virtual void BuildAdditionalActions(std::string& AText);
    virtual void ExecuteAction(const std::string& AActionName);

protected:
    bool FEnabled = false;
};

// A settings description made from the class's own declarations, for a library without the
// schema resource: one page "Параметры" with one Parameter per exported property.
void BuildGeneratedParameters(const TClassDecl& ADecl, pugi::xml_document& ADoc);

// The document as text, with its declaration line.
std::string XmlToText(const pugi::xml_document& ADoc);
// Parses AText into ADoc; a malformed text fails with the parser's message.
void ParseXml(const std::string& AText, pugi::xml_document& ADoc);

// The host parameter at 0-based AIndex; fails when the host passed none.
V8Variant& HostParam(V8Variant* AParams, long AIndex);

template <class C>
TClassReg& TCommonDriver::RegisterDriver(const std::string& AExtension, const std::string& AName,
                                         const std::string& ADescription) {
    TClassReg& reg = TCustomDriver::RegisterDriver<C>(AExtension);
    ChangeDriverInfo([&](TDriverInfo& AInfo) {
        AInfo.Name = AName;
        AInfo.Description = ADescription;
        C::UpdateDriverInfo(AInfo);
    });
    return reg;
}

}  // namespace quorvane
