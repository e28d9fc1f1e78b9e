// GetParameters through the real component, compared with the settings tables typed here.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <string>
#include <utility>
#include <vector>

#include "tests/driver/driver_host_fixture.h"
#include "tools/host/host_values.h"

namespace quorvane::test {
namespace {

using Choices = std::vector<std::pair<std::string, std::string>>;

struct Param {
    std::string Name, Caption, Type, Default;
    bool HasChoices;
    Choices List;
};
struct Group {
    std::string Caption, Name;
    std::vector<Param> Params;
};
struct Page {
    std::string Caption;
    std::vector<Group> Groups;
};

Choices Same(std::initializer_list<const char*> values) {
    Choices c;
    for (const char* v : values) c.emplace_back(v, v);
    return c;
}

Choices Range(int from, int to, Choices head = {}) {
    for (int i = from; i <= to; ++i) head.emplace_back(std::to_string(i), std::to_string(i));
    return head;
}

Param P(std::string n, std::string c, std::string t, std::string d) { return {n, c, t, d, false, {}}; }
Param P(std::string n, std::string c, std::string t, std::string d, Choices l) {
    return {n, c, t, d, true, l};
}

std::vector<Page> ExpectedSchema() {
    Choices com;
    for (int i = 1; i <= 128; ++i) com.emplace_back(std::to_string(i), "COM" + std::to_string(i));
    const std::string none = "Не использовать";
    return {
        {"Интерфейс принтера",
         {
             {"Модель принтера",
              "",
              {P("Model", "Модель принтера", "Number", "0",
                 {{"0", "Не указана"},
                  {"1", "Kesto S"},
                  {"2", "Kesto M"},
                  {"3", "Orvel M"},
                  {"4", "Orvel MX"}})}},
             {"Тип интерфейса",
              "",
              {P("InterfaceType", "Тип интерфейса", "Number", "0",
                 {{"0", "USB"}, {"1", "COM"}, {"2", "LAN"}})}},
             // No USB printer of a known model is connected here: the list is present and empty.
             {"USB", "", {P("USBPort", "Порт", "String", "", {})}},
             {"COM",
              "",
              {P("COMPort", "Порт", "Number", "1", com),
               P("BaudRate", "Скорость передачи", "Number", "115200",
                 Same({"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"})),
               P("DataBits", "Биты данных", "Number", "8", Same({"7", "8"})),
               P("StopBits", "Стоп биты", "Number", "0", {{"0", "1"}, {"2", "2"}}),
               P("Parity", "Четность", "Number", "0", {{"0", "Нет"}, {"1", "Нечетный"}, {"2", "Четный"}})}},
             {"LAN", "", {P("IPAddress", "IP-адрес", "String", ""), P("IPPort", "Порт", "Number", "9100")}},
         }},
        {"Основные настройки",
         {
             {"Основные настройки",
              "MainSettings",
              {P("Resolution", "Разрешение печати(dpi)", "Number", "203", Same({"203", "300", "600"})),
               P("Density", "Темнота печати", "Number", "7", Range(0, 15)),
               P("Speed", "Скорость печати(дюймов в секунду)", "Number", "2",
                 Same({"1", "1.5", "2", "2.5", "3", "3.5", "4", "5", "6", "7", "8", "9", "10", "11", "12",
                       "13", "14"})),
               P("Direction", "Направление печати", "Number", "0", {{"0", "Прямая"}, {"1", "Обратная"}}),
               P("Gap", "Ширина зазора (мм)", "Number", "3"),
               P("Codepage", "Кодовая страница", "String", "1251",
                 {{"437", "United States"},
                  {"737", "Greek"},
                  {"850", "Multilingual"},
                  {"851", "Greek 1"},
                  {"852", "Slavic"},
                  {"855", "Cyrillic"},
                  {"857", "Turkish"},
                  {"860", "Portuguese"},
                  {"861", "Icelandic"},
                  {"862", "Hebrew"},
                  {"863", "Canadian/French"},
                  {"864", "Arabic"},
                  {"865", "Nordic"},
                  {"866", "Russian"},
                  {"869", "Greek 2"},
                  {"1250", "Central Europe"},
                  {"1251", "Cyrillic-1251"},
                  {"1252", "Latin-1252"},
                  {"1253", "Greek-1253"},
                  {"1254", "Turkish-1254"},
                  {"1255", "Hebrew-1255"},
                  {"1256", "Arabic-1256"},
                  {"1257", "Baltic"},
                  {"1258", "Vietnam"},
                  {"932", "Japanese Shift-JIS"},
                  {"936", "Simplified Chinese GBK"},
                  {"949", "Korean"},
                  {"950", "Traditional Chinese Big5"},
                  {"UTF-8", "UTF-8"}}),
               P("StretchImage", "Растягивать картинку по размерам поля этикетки", "Boolean", "false"),
               P("BarcodeNarrow", "Ширина линии 1D штрихкода в точках", "Number", "2", Range(1, 10)),
               P("PrintMethod", "Метод печати", "Number", "0", {{"0", "Термо"}, {"1", "Термотрансферный"}}),
               // Added at run time, last in its group.
               P("_2DBarcodeAsPicture", "Печать 2D штрихкода картинкой", "Boolean", "true")}},
         }},
        {"Настройки 2D штрихкодов",
         {
             {"PDF417",
              "",
              {P("PDF417DataCompression", "Метод сжатия данных", "Number", "-1",
                 {{"-1", none}, {"0", "Автокодирование"}, {"1", "Бинарный режим"}}),
               P("PDF417CorrectionLevel", "Уровень коррекции ошибок", "Number", "-1",
                 Range(0, 8, {{"-1", none}})),
               P("PDF417CenterPattern", "Центр шаблона в области штрихкода", "Number", "-1",
                 {{"-1", none},
                  {"0", "Будет напечатан в левом углу выровненной области"},
                  {"1", "Будет напечатан в середине области"}}),
               P("PDF417ModuleWidth", "Ширина модуля", "Number", "-1", Range(2, 9, {{"-1", none}})),
               P("PDF417ModuleHeight", "Высота модуля", "Number", "-1", Range(4, 99, {{"-1", none}})),
               P("PDF417Rows", "Количество строк", "Number", "0"),
               P("PDF417Cols", "Количество столбцов", "Number", "0"),
               P("PDF417Truncate", "Сокращение", "Number", "-1",
                 {{"-1", none}, {"0", "Несокращенный"}, {"1", "Сокращенный"}})}},
             {"DataMatrix",
              "",
              {P("DataMatrixModuleSize", "Размер модуля в пикселях", "Number", "3", Range(1, 30)),
               P("DataMatrixSize", "Размер кода", "String", "10x10",
                 Same({"10x10", "12x12", "14x14", "16x16", "18x18",   "20x20",   "22x22",   "24x24",
                       "26x26", "32x32", "36x36", "40x40", "44x44",   "48x48",   "52x52",   "64x64",
                       "72x72", "80x80", "88x88", "96x96", "104x104", "120x120", "132x132", "144x144",
                       "8x18",  "8x32",  "12x26", "12x36", "16x36",   "16x48"}))}},
             {"QRCode",
              "",
              {P("QRCodeECCLevel", "Уровень восстановления с исправлением ошибок", "String", "M",
                 Same({"L", "M", "Q", "H"})),
               P("QRCodeCellWidth", "Размер ячейки", "Number", "4", Range(1, 10)),
               P("QRCodeMode", "Режим шифрования", "String", "A", {{"A", "Автоматический"}, {"M", "Ручной"}}),
               P("QRCodeModel", "Модель", "String", "M1",
                 {{"M1", "Стандартная версия"}, {"M2", "Расширенная версия"}})}},
         }},
        {"Настройка лога",
         {
             {"Настройка лога",
              "",
              {P("LogEnabled", "Вести лог", "Boolean", "true"),
               P("ExtLogEnabled", "Расширить лог командами языка TSPL", "Boolean", "false")}},
         }},
    };
}

std::vector<std::string> ElementNames(pugi::xml_node parent) {
    std::vector<std::string> names;
    for (pugi::xml_node n : parent.children()) names.emplace_back(n.name());
    return names;
}

TEST_F(DriverHostTest, GetParametersReturnsTheSettingsSchema) {
    TCall call = Call(u"GetParameters", host::EmptyValue());
    ASSERT_TRUE(call.Called);
    ASSERT_EQ(call.Result.vt, VTYPE_BOOL);
    ASSERT_TRUE(call.Result.VarEnum.bVal);
    const std::string text = WideToUtf8(V8Text((*call.Params)[0]));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str())) << text;

    const pugi::xml_node settings = doc.document_element();
    EXPECT_STREQ(settings.name(), "Settings");
    const std::vector<Page> expected = ExpectedSchema();
    ASSERT_EQ(ElementNames(settings), std::vector<std::string>(expected.size(), "Page"));
    pugi::xml_node page = settings.first_child();
    for (const Page& ep : expected) {
        SCOPED_TRACE(ep.Caption);
        EXPECT_STREQ(page.attribute("Caption").value(), ep.Caption.c_str());
        ASSERT_EQ(ElementNames(page), std::vector<std::string>(ep.Groups.size(), "Group"));
        pugi::xml_node group = page.first_child();
        for (const Group& eg : ep.Groups) {
            SCOPED_TRACE(eg.Caption);
            EXPECT_STREQ(group.attribute("Caption").value(), eg.Caption.c_str());
            EXPECT_EQ(bool(group.attribute("Name")), !eg.Name.empty());
            EXPECT_STREQ(group.attribute("Name").value(), eg.Name.c_str());
            ASSERT_EQ(ElementNames(group), std::vector<std::string>(eg.Params.size(), "Parameter"));
            pugi::xml_node param = group.first_child();
            for (const Param& e : eg.Params) {
                SCOPED_TRACE(e.Name);
                std::vector<std::string> attrs;
                for (pugi::xml_attribute a : param.attributes()) attrs.emplace_back(a.name());
                EXPECT_EQ(attrs, (std::vector<std::string>{"Name", "Caption", "TypeValue", "DefaultValue"}));
                EXPECT_STREQ(param.attribute("Name").value(), e.Name.c_str());
                EXPECT_STREQ(param.attribute("Caption").value(), e.Caption.c_str());
                EXPECT_STREQ(param.attribute("TypeValue").value(), e.Type.c_str());
                EXPECT_STREQ(param.attribute("DefaultValue").value(), e.Default.c_str());
                if (e.HasChoices) {
                    ASSERT_EQ(ElementNames(param), std::vector<std::string>{"ChoiceList"});
                    Choices listed;
                    for (pugi::xml_node item : param.child("ChoiceList").children()) {
                        EXPECT_STREQ(item.name(), "Item");
                        listed.emplace_back(item.attribute("Value").value(), item.text().get());
                    }
                    EXPECT_EQ(listed, e.List);
                } else {
                    EXPECT_TRUE(ElementNames(param).empty());
                }
                param = param.next_sibling();
            }
            group = group.next_sibling();
        }
        page = page.next_sibling();
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

}  // namespace
}  // namespace quorvane::test
