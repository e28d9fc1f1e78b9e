#include "printer/tspl/tspl_language_settings.h"

#include <array>

#include "printer/tspl/code_page.h"
#include "printer/tspl/printer_type_tspl.h"

namespace quorvane {

namespace {

template <class M>
struct TFieldType;
template <class T>
struct TFieldType<T TTsplSettings::*> {
    using Type = T;
};

struct TRow {
    TLanguageSetting Setting;
    TSettingValue (*Get)(const TTsplSettings&);
    void (*Set)(TTsplSettings&, const TSettingValue&);
};

template <auto Member>
constexpr TRow Row(std::string_view AName, std::string_view ANameLoc, std::string_view ACaption,
                   std::string_view ADefValue) {
    using T = typename TFieldType<decltype(Member)>::Type;
    return {{AName, ANameLoc, ACaption, ADefValue},
            [](const TTsplSettings& ASettings) { return TSettingValue(ASettings.*Member); },
            [](TTsplSettings& ASettings, const TSettingValue& AValue) {
                ASettings.*Member = std::get<T>(AValue);
            }};
}

using G = TTsplSettings;

// Captions and defaults here are those of the declarations, not the schema's.
constexpr std::array kRows{
    Row<&G::PrintMethod>("PrintMethod", "МетодПечати", "Метод печати", "0"),
    Row<&G::Model>("Model", "Модель", "Модель", "0"),
    Row<&G::BarcodeNarrow>("BarcodeNarrow", "ШиринаШтрихкода", "Ширина штрихкода", "2"),
    Row<&G::_2DBarcodeAsPicture>("_2DBarcodeAsPicture", "2DШтрихкодКартинкой", "2D штрихкод картинкой",
                                 "false"),
    Row<&G::PDF417DataCompression>("PDF417DataCompression", "МетодСжатияДанных", "Метод сжатия данных", "-1"),
    Row<&G::PDF417CorrectionLevel>("PDF417CorrectionLevel", "УровеньКоррекцииОшибок",
                                   "Уровень коррекции ошибок", "-1"),
    Row<&G::PDF417CenterPattern>("PDF417CenterPattern", "ЦентрШаблона", "Центр шаблона", "-1"),
    Row<&G::PDF417ModuleWidth>("PDF417ModuleWidth", "ШиринаМодуля", "Ширина модуля", "-1"),
    Row<&G::PDF417ModuleHeight>("PDF417ModuleHeight", "ВысотаМодуля", "Высота модуля", "-1"),
    Row<&G::PDF417Rows>("PDF417Rows", "КоличествоСтрок", "Количество строк", "0"),
    Row<&G::PDF417Cols>("PDF417Cols", "КоличествоСтолбцов", "Количество столбцов", "0"),
    Row<&G::PDF417Truncate>("PDF417Truncate", "Сокращение", "Сокращение", "-1"),
    Row<&G::DataMatrixModuleSize>("DataMatrixModuleSize", "РазмерМодуляПиксели", "Размер модуля в пикселях",
                                  "6"),
    Row<&G::DataMatrixSize>("DataMatrixSize", "РазмерКода", "Размер кода", "10x10"),
    Row<&G::QRCodeECCLevel>("QRCodeECCLevel", "УровеньКоррекцииОшибок",
                            "Уровень восстановления с исправлением ошибок", "M"),
    // Localized name and caption the other way round, as the host has always been given them.
    Row<&G::QRCodeCellWidth>("QRCodeCellWidth", "Размер ячейки", "РазмерЯчейки", "4"),
    Row<&G::QRCodeMode>("QRCodeMode", "РежимШифрования", "Режим шифрования", "A"),
    Row<&G::QRCodeModel>("QRCodeModel", "Модель", "Модель", "M1"),
};

constexpr auto kSettings = [] {
    std::array<TLanguageSetting, kRows.size()> settings{};
    for (std::size_t i = 0; i < kRows.size(); ++i) settings[i] = kRows[i].Setting;
    return settings;
}();

// The TSPL manuals' ranges where they give one, else the schema's list.
constexpr TNumberRange kNumberRanges[] = {
    {"Density", 0, 15, std::nullopt},
    {"Speed", 1, 14, std::nullopt},  // the settings list offers 14; no manual gives per-model limits
    {"Direction", 0, 1, std::nullopt},
    {"Gap", 0, 25, std::nullopt},  // GAP takes up to one inch
    {"PDF417DataCompression", 0, 1, -1},
    {"PDF417CorrectionLevel", 0, 8, -1},
    {"PDF417CenterPattern", 0, 1, -1},
    {"PDF417ModuleWidth", 2, 9, -1},
    {"PDF417ModuleHeight", 4, 99, -1},
    {"PDF417Rows", 3, 90, 0},
    {"PDF417Cols", 1, 30, 0},
    {"PDF417Truncate", 0, 1, -1},
    {"DataMatrixModuleSize", 1, 30, 0},
    {"QRCodeCellWidth", 1, 10, std::nullopt},
};

std::vector<TSettingValue> ValuesOf(const TTsplSettings& ASettings) {
    std::vector<TSettingValue> values;
    values.reserve(kRows.size());
    for (const TRow& row : kRows) values.push_back(row.Get(ASettings));
    return values;
}

}  // namespace

std::span<const TLanguageSetting> TTsplLanguageSettings::Settings() const { return kSettings; }

std::vector<TSettingValue> TTsplLanguageSettings::Defaults() const { return ValuesOf(TTsplSettings()); }

std::span<const TNumberRange> TTsplLanguageSettings::NumberRanges() const { return kNumberRanges; }

bool TTsplLanguageSettings::KnowsCodePage(long ANumber) const {
    return !IconvNameOfCodePage(ANumber).empty();
}

std::unique_ptr<TPrinterTypeBase> TTsplLanguageSettings::NewPrinter(std::int32_t AResolution,
                                                                    bool AStretchImage,
                                                                    const std::vector<TSettingValue>& AValues,
                                                                    std::vector<TSettingValue>& AKept) const {
    TTsplSettings settings;
    for (std::size_t i = 0; i < kRows.size(); ++i) kRows[i].Set(settings, AValues.at(i));
    auto printer = std::make_unique<TPrinterTSPL>();
    printer->ApplySettings(AResolution, AStretchImage, settings);
    // Only what the printer changed goes back: the kept values stay as the host wrote them.
    const std::vector<TSettingValue> applied = ValuesOf(printer->Settings());
    for (std::size_t i = 0; i < kRows.size(); ++i)
        if (applied[i] != AValues[i]) AKept.at(i) = applied[i];
    return printer;
}

}  // namespace quorvane
