// The driver's host-visible surface through the real library and the host harness.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "errors/messages.h"
#include "tests/common/files.h"
#include "tests/driver/driver_host_fixture.h"
#include "tools/host/host_commands.h"
#include "tools/host/host_values.h"

namespace quorvane::test {
namespace {

using host::BoolValue;
using host::DoubleValue;
using host::EmptyValue;
using host::IntValue;

struct MethodRow {
    long Number;
    const char16_t* Name;
    const char16_t* NameLoc;
    long Params;
};

const MethodRow kMethods[] = {
    {0, u"InitializePrinter", u"ИнициализацияПринтера", 1},
    {1, u"PrintLabels", u"ПечатьЭтикеток", 3},
    {2, u"GetInterfaceRevision", u"ПолучитьРевизиюИнтерфейса", 0},
    {3, u"GetDescription", u"ПолучитьОписание", 1},
    {4, u"GetLastError", u"ПолучитьОшибку", 1},
    {5, u"Open", u"Подключить", 1},
    {6, u"Close", u"Отключить", 1},
    {7, u"GetParameters", u"ПолучитьПараметры", 1},
    {8, u"SetParameter", u"УстановитьПараметр", 2},
    {9, u"DeviceTest", u"ТестУстройства", 2},
    {10, u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1},
    {11, u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1},
};

struct PropRow {
    long Number;
    const char16_t* Name;
    const char16_t* NameLoc;
    char Kind;  // I, D, S, B
};

const PropRow kProps[] = {
    {0, u"InterfaceType", u"ТипИнтерфейса", 'I'},
    {1, u"USBPort", u"Порт", 'S'},
    {2, u"COMPort", u"Порт", 'I'},
    {3, u"BaudRate", u"СкоростьПередачи", 'I'},
    {4, u"DataBits", u"БитыДанных", 'I'},
    {5, u"StopBits", u"СтопБиты", 'I'},
    {6, u"Parity", u"Четность", 'I'},
    {7, u"IPAddress", u"IPАдрес", 'S'},
    {8, u"IPPort", u"Порт", 'I'},
    {9, u"PrintMethod", u"МетодПечати", 'I'},
    {10, u"Resolution", u"Разрешение", 'I'},
    {11, u"Density", u"Яркость", 'I'},
    {12, u"Speed", u"Скорость", 'D'},
    {13, u"Direction", u"НаправлениеПечати", 'I'},
    {14, u"Gap", u"ШиринаЗазора", 'I'},
    {15, u"Codepage", u"КодоваяСтраница", 'S'},
    {16, u"Model", u"Модель", 'I'},
    {17, u"StretchImage", u"РастягиватьКартинку", 'B'},
    {18, u"BarcodeNarrow", u"ШиринаШтрихкода", 'I'},
    {19, u"ExtLogEnabled", u"РасширенныйLogTSPL", 'B'},
    {20, u"_2DBarcodeAsPicture", u"2DШтрихкодКартинкой", 'B'},
    {21, u"PDF417DataCompression", u"МетодСжатияДанных", 'I'},
    {22, u"PDF417CorrectionLevel", u"УровеньКоррекцииОшибок", 'I'},
    {23, u"PDF417CenterPattern", u"ЦентрШаблона", 'I'},
    {24, u"PDF417ModuleWidth", u"ШиринаМодуля", 'I'},
    {25, u"PDF417ModuleHeight", u"ВысотаМодуля", 'I'},
    {26, u"PDF417Rows", u"КоличествоСтрок", 'I'},
    {27, u"PDF417Cols", u"КоличествоСтолбцов", 'I'},
    {28, u"PDF417Truncate", u"Сокращение", 'I'},
    {29, u"DataMatrixModuleSize", u"РазмерМодуляПиксели", 'I'},
    {30, u"DataMatrixSize", u"РазмерКода", 'S'},
    {31, u"QRCodeECCLevel", u"УровеньКоррекцииОшибок", 'S'},
    {32, u"QRCodeCellWidth", u"Размер ячейки", 'I'},
    {33, u"QRCodeMode", u"РежимШифрования", 'S'},
    {34, u"QRCodeModel", u"Модель", 'S'},
    {35, u"LogEnabled", u"ЛогВключен", 'B'},
};

TEST_F(DriverHostTest, ExposesExactlyTheTwelveMethods) {
    TV8LanguageExtender& ext = Object->Extender();
    ASSERT_EQ(ext.GetNMethods(), 12);
    for (const MethodRow& m : kMethods) {
        SCOPED_TRACE(WideToUtf8(m.Name));
        EXPECT_EQ(Object->MethodName(m.Number, 0), m.Name);
        EXPECT_EQ(Object->MethodName(m.Number, 1), m.NameLoc);
        EXPECT_EQ(ext.GetNParams(m.Number), m.Params);
        EXPECT_TRUE(ext.HasRetVal(m.Number));
        EXPECT_EQ(ext.FindMethod(m.Name), m.Number);
        EXPECT_EQ(ext.FindMethod(m.NameLoc), m.Number);
        V8Variant def{};
        EXPECT_FALSE(ext.GetParamDefValue(m.Number, 0, &def));
    }
}

TEST_F(DriverHostTest, ExposesExactlyTheThirtySixPropertiesStartingEmpty) {
    TV8LanguageExtender& ext = Object->Extender();
    ASSERT_EQ(ext.GetNProps(), 36);
    for (const PropRow& p : kProps) {
        SCOPED_TRACE(WideToUtf8(p.Name));
        EXPECT_EQ(Object->PropName(p.Number, 0), p.Name);
        EXPECT_EQ(Object->PropName(p.Number, 1), p.NameLoc);
        EXPECT_TRUE(ext.IsPropReadable(p.Number));
        EXPECT_TRUE(ext.IsPropWritable(p.Number));
        EXPECT_EQ(ext.FindProp(p.Name), p.Number);
        if (p.Number == 35) continue;  // LogEnabled is the log's state, not a field
        // A new driver holds 0, empty or false in every setting, in the setting's own type.
        const V8Variant v = Prop(p.Name);
        switch (p.Kind) {
            case 'I':
                EXPECT_EQ(v.vt, VTYPE_I4);
                EXPECT_EQ(v.VarEnum.lVal, 0);
                break;
            case 'D':
                EXPECT_EQ(v.vt, VTYPE_R8);
                EXPECT_EQ(v.VarEnum.dblVal, 0.0);
                break;
            case 'S':
                EXPECT_EQ(v.vt, VTYPE_PWSTR);
                EXPECT_EQ(V8Text(v), u"");
                break;
            case 'B':
                EXPECT_EQ(v.vt, VTYPE_BOOL);
                EXPECT_FALSE(v.VarEnum.bVal);
                break;
        }
    }
    // Shared localized names find the first property of their group.
    EXPECT_EQ(ext.FindProp(u"Порт"), 1);
    EXPECT_EQ(ext.FindProp(u"Модель"), 16);
    EXPECT_EQ(ext.FindProp(u"УровеньКоррекцииОшибок"), 22);
}

TEST_F(DriverHostTest, SharedLocalizedNameSetsTheWholeGroup) {
    ASSERT_TRUE(SetParameter("COMPort", IntValue(5)));
    ASSERT_TRUE(SetParameter("IPPort", IntValue(9100)));
    ASSERT_TRUE(SetParameter("Порт", host::StringValue(Memory, "/dev/usb/lp0")));
    EXPECT_EQ(PropText(u"USBPort"), "/dev/usb/lp0");
    EXPECT_EQ(Prop(u"COMPort").VarEnum.lVal, 0);
    EXPECT_EQ(Prop(u"IPPort").VarEnum.lVal, 0);

    // "Модель" names Model (integer) and QRCodeModel (text): a text sets both...
    ASSERT_TRUE(SetParameter("модель", host::StringValue(Memory, "M2")));
    EXPECT_EQ(Prop(u"Model").VarEnum.lVal, 0);
    EXPECT_EQ(PropText(u"QRCodeModel"), "M2");
    // ...a number sets Model and then fails on the text property, which keeps its value.
    EXPECT_FALSE(SetParameter("Модель", IntValue(2)));
    EXPECT_EQ(LastError().second, "Value type unacceptable");
    EXPECT_EQ(Prop(u"Model").VarEnum.lVal, 2);
    EXPECT_EQ(PropText(u"QRCodeModel"), "M2");
}

TEST_F(DriverHostTest, SetParameterMatchesNamesIgnoringCase) {
    ASSERT_TRUE(SetParameter("codepage", host::StringValue(Memory, "866")));
    EXPECT_EQ(PropText(u"Codepage"), "866");
    ASSERT_TRUE(SetParameter("КОДОВАЯСТРАНИЦА", host::StringValue(Memory, "UTF-8")));
    EXPECT_EQ(PropText(u"Codepage"), "UTF-8");
    ASSERT_TRUE(SetParameter("шириназазора", IntValue(4)));
    EXPECT_EQ(Prop(u"Gap").VarEnum.lVal, 4);
    ASSERT_TRUE(SetParameter("_2dbarcodeaspicture", BoolValue(true)));
    EXPECT_TRUE(Prop(u"_2DBarcodeAsPicture").VarEnum.bVal);
}

TEST_F(DriverHostTest, SetParameterConvertsByTheSettingsType) {
    ASSERT_TRUE(SetParameter("Speed", DoubleValue(3.5)));
    EXPECT_EQ(Prop(u"Speed").VarEnum.dblVal, 3.5);
    ASSERT_TRUE(SetParameter("Speed", host::StringValue(Memory, "fast")));
    EXPECT_EQ(Prop(u"Speed").VarEnum.dblVal, 0.0);

    ASSERT_TRUE(SetParameter("Resolution", IntValue(1000)));  // no range check
    EXPECT_EQ(Prop(u"Resolution").VarEnum.lVal, 1000);
    ASSERT_TRUE(SetParameter("COMPort", host::StringValue(Memory, "3")));
    EXPECT_EQ(Prop(u"COMPort").VarEnum.lVal, 3);
    ASSERT_TRUE(SetParameter("COMPort", host::StringValue(Memory, "COM3")));
    EXPECT_EQ(Prop(u"COMPort").VarEnum.lVal, 0);
    ASSERT_TRUE(SetParameter("Density", DoubleValue(9.9)));  // truncated toward zero
    EXPECT_EQ(Prop(u"Density").VarEnum.lVal, 9);
    ASSERT_TRUE(SetParameter("Density", BoolValue(true)));
    EXPECT_EQ(Prop(u"Density").VarEnum.lVal, 1);

    ASSERT_TRUE(SetParameter("StretchImage", BoolValue(true)));
    EXPECT_TRUE(Prop(u"StretchImage").VarEnum.bVal);
    ASSERT_TRUE(SetParameter("StretchImage", host::StringValue(Memory, "true")));
    EXPECT_FALSE(Prop(u"StretchImage").VarEnum.bVal);
    ASSERT_TRUE(SetParameter("StretchImage", host::StringValue(Memory, "7")));
    EXPECT_TRUE(Prop(u"StretchImage").VarEnum.bVal);
    ASSERT_TRUE(SetParameter("StretchImage", IntValue(0)));
    EXPECT_FALSE(Prop(u"StretchImage").VarEnum.bVal);
}

TEST_F(DriverHostTest, FailuresReachGetLastErrorAndStayThere) {
    ASSERT_TRUE(SetParameter("IPAddress", host::StringValue(Memory, "10.0.0.7")));
    EXPECT_EQ(LastError(), std::make_pair(0, std::string()));

    EXPECT_FALSE(SetParameter("IPAddress", IntValue(12)));
    EXPECT_EQ(PropText(u"IPAddress"), "10.0.0.7");
    EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Value type unacceptable")));
    EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Value type unacceptable")));

    EXPECT_FALSE(SetParameter("NoSuchSetting", IntValue(1)));
    EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Property not found: NoSuchSetting")));

    // Failures inside methods never reach the host as errors of the call itself.
    EXPECT_TRUE(Connection.Errors.empty());

    TLoopbackListener printer;
    UseNetworkPrinter(printer);
    TCall open = Call(u"Open", EmptyValue());
    EXPECT_TRUE(open.Result.VarEnum.bVal);
    EXPECT_EQ(LastError(), std::make_pair(0, std::string()));
}

TEST_F(DriverHostTest, FailuresAreLoggedAsErrors) {
    ASSERT_TRUE(SetParameter("LogEnabled", BoolValue(true)));
    EXPECT_FALSE(SetParameter("Nope", IntValue(1)));
    ASSERT_TRUE(SetParameter("LogEnabled", BoolValue(false)));
    const std::string log = test::ReadFolder(LogDir());
    EXPECT_NE(log.find("\tERROR\tException: \tProperty not found: Nope\r\n"), std::string::npos) << log;
}

TEST_F(DriverHostTest, PropertyInterfaceReportsThroughAddError) {
    host::THostValues value(Memory);
    value.Add(IntValue(5));
    EXPECT_FALSE(Object->SetProp(u"IPAddress", value));
    ASSERT_EQ(Connection.Errors.size(), 1u);
    EXPECT_EQ(WideToUtf8(Connection.Errors[0].Description), "Value type unacceptable");
    // The property interface does not touch the last result.
    EXPECT_EQ(LastError(), std::make_pair(0, std::string()));

    host::THostValues text(Memory);
    text.Add(host::StringValue(Memory, "17"));
    EXPECT_TRUE(Object->SetProp(u"ШиринаЗазора", text));
    EXPECT_EQ(Prop(u"Gap").VarEnum.lVal, 17);
}

TEST_F(DriverHostTest, RevisionDescriptionAndLogSwitch) {
    TCall revision = Call(u"GetInterfaceRevision");
    EXPECT_EQ(revision.Result.vt, VTYPE_I4);
    EXPECT_EQ(revision.Result.VarEnum.lVal, 3002);

    for (bool on : {true, false, true, false}) {
        ASSERT_TRUE(SetParameter("LogEnabled", BoolValue(on)));
        EXPECT_EQ(Prop(u"LogEnabled").VarEnum.bVal, on);
        TCall description = Call(u"GetDescription", EmptyValue());
        ASSERT_TRUE(description.Result.VarEnum.bVal);
        pugi::xml_document doc;
        const std::string text = WideToUtf8(V8Text((*description.Params)[0]));
        ASSERT_TRUE(doc.load_string(text.c_str())) << text;
        const pugi::xml_node root = doc.document_element();
        EXPECT_STREQ(root.name(), "DriverDescription");
        std::vector<std::string> names;
        for (pugi::xml_attribute a : root.attributes()) names.emplace_back(a.name());
        EXPECT_EQ(names, (std::vector<std::string>{"Name", "Description", "EquipmentType",
                                                   "IntegrationComponent", "MainDriverInstalled",
                                                   "DriverVersion", "IntegrationComponentVersion",
                                                   "DownloadURL", "LogIsEnabled", "LogPath"}));
        EXPECT_STREQ(root.attribute("Name").value(), MessageText(TMessage::DriverName));
        EXPECT_STREQ(root.attribute("Description").value(), MessageText(TMessage::DriverDescription));
        EXPECT_STREQ(root.attribute("EquipmentType").value(), "ПринтерЭтикеток");
        EXPECT_STREQ(root.attribute("IntegrationComponent").value(), "false");
        EXPECT_STREQ(root.attribute("MainDriverInstalled").value(), "false");
        EXPECT_STREQ(root.attribute("DriverVersion").value(), "1.0.0.1");
        EXPECT_STREQ(root.attribute("IntegrationComponentVersion").value(), "1.0.0.1");
        EXPECT_NE(std::string(root.attribute("DownloadURL").value()), "");
        EXPECT_STREQ(root.attribute("LogIsEnabled").value(), on ? "true" : "false");
        EXPECT_EQ(std::string(root.attribute("LogPath").value()), LogDir() + "/");
    }
}

TEST_F(DriverHostTest, GetParametersTwiceGivesOneChoiceList) {
    std::string first;
    for (int i = 0; i < 2; ++i) {
        TCall call = Call(u"GetParameters", host::EmptyValue());
        ASSERT_TRUE(call.Result.VarEnum.bVal);
        const std::string text = WideToUtf8(V8Text((*call.Params)[0]));
        if (i == 0)
            first = text;
        else
            EXPECT_EQ(text, first);  // each call starts from the resource again
    }
}

TEST_F(DriverHostTest, AdditionalActions) {
    TCall actions = Call(u"GetAdditionalActions", EmptyValue());
    ASSERT_TRUE(actions.Result.VarEnum.bVal);
    pugi::xml_document doc;
    const std::string text = WideToUtf8(V8Text((*actions.Params)[0]));
    ASSERT_TRUE(doc.load_string(text.c_str())) << text;
    std::vector<std::pair<std::string, std::string>> listed;
    for (pugi::xml_node a : doc.child("Actions").children())
        listed.emplace_back(a.attribute("Name").value(), a.attribute("Caption").value());
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::string>>{
                          {"ViewLog", MessageText(TMessage::LogViewerCaption)},
                          {"ShowHelp", MessageText(TMessage::HelpCaption)}}));

    for (const char* name : {"viewlog", "GetDescription", ""}) {
        TCall call = Call(u"DoAdditionalAction", host::StringValue(Memory, name));
        EXPECT_FALSE(call.Result.VarEnum.bVal) << name;
        EXPECT_EQ(LastError(), std::make_pair(1001, "Нет такого дополнительного действия: «" + std::string(name) +
                                                        "»; есть: ViewLog (Просмотр лога), ShowHelp (Справка)"))
            << name;
    }
}

TEST_F(DriverHostTest, OpenAndCloseGuardTheLabelMethods) {
    TCall print = Call(u"PrintLabels", EmptyValue(), host::StringValue(Memory, "<Data/>"),
                       host::StringValue(Memory, ""));
    EXPECT_FALSE(print.Result.VarEnum.bVal);
    EXPECT_EQ(LastError(), std::make_pair(1001, std::string(MessageText(TMessage::DeviceNotEnabled))));
    TCall init = Call(u"InitializePrinter", EmptyValue());
    EXPECT_FALSE(init.Result.VarEnum.bVal);
    EXPECT_EQ(LastError().second, MessageText(TMessage::DeviceNotEnabled));

    // Open puts a barcode width outside 1..10 back to 1.
    TLoopbackListener printer;
    UseNetworkPrinter(printer);
    for (int narrow : {0, 11, -3}) {
        ASSERT_TRUE(SetParameter("BarcodeNarrow", IntValue(narrow)));
        ASSERT_TRUE(Call(u"Open", EmptyValue()).Result.VarEnum.bVal);
        EXPECT_EQ(Prop(u"BarcodeNarrow").VarEnum.lVal, 1) << narrow;
    }
    // Only what the printer changes goes back: a text setting stays as the host wrote it.
    ASSERT_TRUE(SetParameter("BarcodeNarrow", IntValue(10)));
    ASSERT_TRUE(SetParameter("QRCodeECCLevel", host::StringValue(Memory, "h")));
    ASSERT_TRUE(Call(u"Open", EmptyValue()).Result.VarEnum.bVal);
    EXPECT_EQ(Prop(u"BarcodeNarrow").VarEnum.lVal, 10);
    EXPECT_EQ(PropText(u"QRCodeECCLevel"), "h");

    ASSERT_TRUE(SetParameter("Model", IntValue(2)));
    TCall ready = Call(u"InitializePrinter", EmptyValue());
    EXPECT_TRUE(ready.Result.VarEnum.bVal);  // models without a ribbon switch need nothing sent

    ASSERT_TRUE(Call(u"Close", EmptyValue()).Result.VarEnum.bVal);
    EXPECT_FALSE(Call(u"InitializePrinter", EmptyValue()).Result.VarEnum.bVal);
    EXPECT_EQ(LastError().second, MessageText(TMessage::DeviceNotEnabled));
}

TEST_F(DriverHostTest, EveryTextGoesThroughHostMemory) {
    for (int i = 0; i < 50; ++i) {
        Call(u"GetParameters", EmptyValue());
        Call(u"GetDescription", EmptyValue());
        SetParameter("IPAddress", IntValue(1));
        LastError();
    }
    Results.Values.Clear();
    EXPECT_EQ(Memory.BadFrees(), 0);
}

}  // namespace
}  // namespace quorvane::test

namespace quorvane::test {
namespace {

TEST_F(DriverHostTest, HostToolPrintsTheTwoDocuments) {
    const std::string component = std::string(std::getenv("QUORVANE_BUILD_DIR")) + "/libquorvane.so";
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(host::RunHost(
                  {"--component", component, "--set", "LogEnabled=b:true", "description", "--", "parameters"},
                  out, err),
              0)
        << err.str();
    // Two documents one after the other.
    const std::string text = out.str();
    const std::size_t first = text.find("<?xml");
    const std::size_t second = text.find("<?xml", first + 1);
    ASSERT_NE(second, std::string::npos) << text;
    pugi::xml_document description;
    pugi::xml_document parameters;
    ASSERT_TRUE(description.load_string(text.substr(first, second - first).c_str()));
    ASSERT_TRUE(parameters.load_string(text.substr(second).c_str()));
    EXPECT_STREQ(description.document_element().attribute("LogIsEnabled").value(), "true");
    EXPECT_EQ(parameters.select_nodes("//Parameter").size(), 36u);  // every setting once
}

}  // namespace
}  // namespace quorvane::test
