// Pieces of the driver surface that the host cannot reach on its own: the generated settings
// description, the USB model table, the outcome record and the error texts.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <stdexcept>
#include <string>
#include <vector>

#include "addin/custom_driver.h"
#include "driver/common_driver.h"
#include "driver/driver.h"
#include "driver/driver_info.h"
#include "driver/printer_models.h"
#include "errors/messages.h"

namespace quorvane {
namespace {

TEST(TResult, OutcomeCodes) {
    TResult r;
    EXPECT_EQ(r.GetIntResult(), 0);
    r.SetError("boom", 0);
    EXPECT_FALSE(r.BoolResult);
    EXPECT_EQ(r.GetIntResult(), 1001);
    r.SetError("port", 1011);
    EXPECT_EQ(r.GetIntResult(), 1011);
    EXPECT_EQ(r.ErrorDescription, "port");
    r.Clear();
    EXPECT_EQ(r.GetIntResult(), 0);
    EXPECT_EQ(r.ErrorDescription, "");
}

TEST(EnumNames, ValueTypeAndEquipmentType) {
    EXPECT_EQ(ValueTypeName(0), "String");
    EXPECT_EQ(ValueTypeName(1), "Number");
    EXPECT_EQ(ValueTypeName(2), "Boolean");
    EXPECT_EQ(ValueTypeName(3), "Unknown");
    EXPECT_THROW(ValueTypeName(4), std::runtime_error);
    EXPECT_THROW(ValueTypeName(-1), std::runtime_error);
    EXPECT_EQ(EquipmentTypeName(TEquipmentType::etScanner), "СканерШтрихкода");
    EXPECT_EQ(EquipmentTypeName(TEquipmentType::etLabelPrinter), "ПринтерЭтикеток");
    EXPECT_EQ(EquipmentTypeName(TEquipmentType::etUnknown), "НеизвестныйТипОборудования");
    EXPECT_THROW(EquipmentTypeName(static_cast<TEquipmentType>(14)), std::runtime_error);
}

// Without the schema resource the description is generated from the declarations.
TEST(GeneratedParameters, OneParameterPerExportedPropertyInOrder) {
    pugi::xml_document doc;
    BuildGeneratedParameters(TDriver::ClassDecl(), doc);
    const pugi::xml_node page = doc.child("Settings").child("Page");
    EXPECT_STREQ(page.attribute("Caption").value(), MessageText(TMessage::GeneratedParametersPage));
    struct Row {
        const char* Name;
        const char* Caption;
        const char* Type;
        const char* Default;
    };
    const std::vector<Row> expected = {
        {"InterfaceType", "Тип интерфейса", "Number", "0"},
        {"USBPort", "Порт", "String", ""},
        {"COMPort", "Порт", "Number", "1"},
        {"BaudRate", "Скорость передачи", "Number", "9600"},
        {"DataBits", "Биты данных", "Number", "8"},
        {"StopBits", "Стоп биты", "Number", "0"},
        {"Parity", "Четность", "Number", "0"},
        {"IPAddress", "IP-адрес", "String", ""},
        {"IPPort", "Порт", "Number", "9100"},
        {"PrintMethod", "Метод печати", "Number", "0"},
        {"Resolution", "Разрешение", "Number", "600"},
        {"Density", "Яркость", "Number", "7"},
        {"Speed", "Скорость", "Number", "2"},
        {"Direction", "Направление печати", "Number", "0"},
        {"Gap", "Ширина зазора", "Number", "3"},
        {"Codepage", "Кодовая страница", "String", "1251"},
        {"Model", "Модель", "Number", "0"},
        {"StretchImage", "Растягивать картинку", "Boolean", "false"},
        {"BarcodeNarrow", "Ширина штрихкода", "Number", "2"},
        {"ExtLogEnabled", "Расширенный log языка TSPL", "Boolean", "false"},
        {"_2DBarcodeAsPicture", "2D штрихкод картинкой", "Boolean", "false"},
        {"PDF417DataCompression", "Метод сжатия данных", "Number", "-1"},
        {"PDF417CorrectionLevel", "Уровень коррекции ошибок", "Number", "-1"},
        {"PDF417CenterPattern", "Центр шаблона", "Number", "-1"},
        {"PDF417ModuleWidth", "Ширина модуля", "Number", "-1"},
        {"PDF417ModuleHeight", "Высота модуля", "Number", "-1"},
        {"PDF417Rows", "Количество строк", "Number", "0"},
        {"PDF417Cols", "Количество столбцов", "Number", "0"},
        {"PDF417Truncate", "Сокращение", "Number", "-1"},
        {"DataMatrixModuleSize", "Размер модуля в пикселях", "Number", "6"},
        {"DataMatrixSize", "Размер кода", "String", "10x10"},
        {"QRCodeECCLevel", "Уровень восстановления с исправлением ошибок", "String", "M"},
        {"QRCodeCellWidth", "РазмерЯчейки", "Number", "4"},
        {"QRCodeMode", "Режим шифрования", "String", "A"},
        {"QRCodeModel", "Модель", "String", "M1"},
        {"LogEnabled", "Вести лог", "Boolean", "False"},
    };
    std::size_t i = 0;
    for (pugi::xml_node p : page.children("Parameter")) {
        ASSERT_LT(i, expected.size());
        SCOPED_TRACE(expected[i].Name);
        EXPECT_STREQ(p.attribute("Name").value(), expected[i].Name);
        EXPECT_STREQ(p.attribute("Caption").value(), expected[i].Caption);
        EXPECT_STREQ(p.attribute("TypeValue").value(), expected[i].Type);
        EXPECT_STREQ(p.attribute("DefaultValue").value(), expected[i].Default);
        EXPECT_STREQ(p.attribute("ReadOnly").value(), "false");
        ++i;
    }
    EXPECT_EQ(i, expected.size());
}

TEST(USBPrinterModels, ListsKnownEnabledPrintersOnly) {
    std::vector<TUSBPrintInfoRec> devices = {
        {"/dev/usb/lp0", "1-1.4", "Orvel MX", true, "USB\\vid_3a1e&pid_0202"},  // lower case matches
        {"/dev/usb/lp1", "1-2", "Kesto S", false, "USB\\VID_3A1E&PID_0101"},    // disabled
        {"/dev/usb/lp2", "1-3", "Other", true, "USB\\VID_04B8&PID_0202"},       // unknown vendor
        {"/dev/usb/lp3", "", "Kesto M", true, "USB\\VID_3A1E&PID_0102&REV_0100"},
        {"/dev/usb/lp0", "2-1", "Orvel M", true, "USB\\VID_3A1E&PID_0201"},  // same path again
    };
    pugi::xml_document doc;
    pugi::xml_node list = doc.append_child("ChoiceList");
    std::map<std::string, int> dictionary;
    AddUSBPrinterItems(list, devices, dictionary);

    std::vector<std::pair<std::string, std::string>> items;
    for (pugi::xml_node item : list.children("Item"))
        items.emplace_back(item.attribute("Value").value(), item.text().get());
    EXPECT_EQ(items, (std::vector<std::pair<std::string, std::string>>{
                         {"/dev/usb/lp0", "Принтер Orvel MX на 1-1.4"},
                         {"/dev/usb/lp3", "Принтер Kesto M"},
                         {"/dev/usb/lp0", "Принтер Orvel M на 2-1"},
                     }));
    EXPECT_EQ(dictionary, (std::map<std::string, int>{{"/dev/usb/lp0", 3}, {"/dev/usb/lp3", 2}}));

    ASSERT_NE(FindUSBPrinterModel("USB\\VID_3A1E&PID_0202"), nullptr);
    EXPECT_EQ(FindUSBPrinterModel("USB\\VID_3A1E&PID_0202")->Number, 4);
    EXPECT_EQ(FindUSBPrinterModel(""), nullptr);
}

}  // namespace
}  // namespace quorvane
