#include "driver/driver_settings.h"

#include <array>
#include <type_traits>

namespace quorvane {

namespace {

template <class M>
struct TMemberOf;
template <class C, class T>
struct TMemberOf<T C::*> {
    using Part = C;
    using Type = T;
};

template <auto Member>
using TPartOf = typename TMemberOf<decltype(Member)>::Part;
template <auto Member>
using TTypeOf = typename TMemberOf<decltype(Member)>::Type;

// The part of ASettings (const or not) that holds the settings of APart.
template <class APart, class S>
auto& PartOf(S& ASettings) {
    if constexpr (std::is_same_v<APart, TDeviceSettings>)
        return ASettings.Device;
    else if constexpr (std::is_same_v<APart, TTsplSettings>)
        return ASettings.Tspl;
    else {
        static_assert(std::is_same_v<APart, TDocumentSettings>,
                      "a setting is kept in a part of TDriverSettings");
        return ASettings.Document;
    }
}

// A setting kept in First and, for a setting two parts read, also in Also.
template <auto First, auto... Also>
struct TAccess {
    using Type = TTypeOf<First>;
    static_assert((std::is_same_v<Type, TTypeOf<Also>> && ...), "one setting, one type");

    static TPropValue Get(const TDriverSettings& ASettings) {
        return TPropValue(PartOf<TPartOf<First>>(ASettings).*First);
    }
    static void Set(TDriverSettings& ASettings, const TPropValue& AValue) {
        const Type& value = std::get<Type>(AValue);
        PartOf<TPartOf<First>>(ASettings).*First = value;
        ((PartOf<TPartOf<Also>>(ASettings).*Also = value), ...);
    }
};

template <auto... Members>
constexpr TSettingReader ReaderOf() {
    constexpr bool generator = (std::is_same_v<TPartOf<Members>, TTsplSettings> || ...);
    constexpr bool document = (std::is_same_v<TPartOf<Members>, TDocumentSettings> || ...);
    static_assert(sizeof...(Members) == 1 || (generator && document),
                  "only the generator and the document share");
    if constexpr (generator && document)
        return TSettingReader::srGeneratorAndDocument;
    else if constexpr (generator)
        return TSettingReader::srGenerator;
    else if constexpr (document)
        return TSettingReader::srDocument;
    else
        return TSettingReader::srDriver;
}

template <auto... Members>
constexpr TSetting Setting(std::string_view AName, std::string_view ANameLoc, std::string_view ACaption,
                           std::string_view ADefValue) {
    using TRow = TAccess<Members...>;
    return {AName,
            ANameLoc,
            ACaption,
            ADefValue,
            detail::KindOf<typename TRow::Type>(),
            ReaderOf<Members...>(),
            &TRow::Get,
            &TRow::Set};
}

using D = TDeviceSettings;
using G = TTsplSettings;
using R = TDocumentSettings;

// Captions and defaults here are those of the declarations, not the schema's.
constexpr std::array kSettings{
    Setting<&D::InterfaceType>("InterfaceType", "ТипИнтерфейса", "Тип интерфейса", "0"),
    Setting<&D::USBPort>("USBPort", "Порт", "Порт", ""),
    Setting<&D::COMPort>("COMPort", "Порт", "Порт", "1"),
    Setting<&D::BaudRate>("BaudRate", "СкоростьПередачи", "Скорость передачи", "9600"),
    Setting<&D::DataBits>("DataBits", "БитыДанных", "Биты данных", "8"),
    Setting<&D::StopBits>("StopBits", "СтопБиты", "Стоп биты", "0"),
    Setting<&D::Parity>("Parity", "Четность", "Четность", "0"),
    Setting<&D::IPAddress>("IPAddress", "IPАдрес", "IP-адрес", ""),
    Setting<&D::IPPort>("IPPort", "Порт", "Порт", "9100"),
    Setting<&G::PrintMethod>("PrintMethod", "МетодПечати", "Метод печати", "0"),
    Setting<&D::Resolution>("Resolution", "Разрешение", "Разрешение", "600"),
    Setting<&R::Density>("Density", "Яркость", "Яркость", "7"),
    Setting<&R::Speed>("Speed", "Скорость", "Скорость", "2"),
    Setting<&R::Direction>("Direction", "НаправлениеПечати", "Направление печати", "0"),
    Setting<&R::Gap>("Gap", "ШиринаЗазора", "Ширина зазора", "3"),
    Setting<&R::Codepage>("Codepage", "КодоваяСтраница", "Кодовая страница", "1251"),
    Setting<&G::Model>("Model", "Модель", "Модель", "0"),
    Setting<&D::StretchImage>("StretchImage", "РастягиватьКартинку", "Растягивать картинку", "false"),
    Setting<&G::BarcodeNarrow>("BarcodeNarrow", "ШиринаШтрихкода", "Ширина штрихкода", "2"),
    Setting<&D::ExtLogEnabled>("ExtLogEnabled", "РасширенныйLogTSPL", "Расширенный log языка TSPL", "false"),
    Setting<&G::_2DBarcodeAsPicture>("_2DBarcodeAsPicture", "2DШтрихкодКартинкой", "2D штрихкод картинкой",
                                     "false"),
    Setting<&G::PDF417DataCompression>("PDF417DataCompression", "МетодСжатияДанных", "Метод сжатия данных",
                                       "-1"),
    Setting<&G::PDF417CorrectionLevel>("PDF417CorrectionLevel", "УровеньКоррекцииОшибок",
                                       "Уровень коррекции ошибок", "-1"),
    Setting<&G::PDF417CenterPattern>("PDF417CenterPattern", "ЦентрШаблона", "Центр шаблона", "-1"),
    Setting<&G::PDF417ModuleWidth>("PDF417ModuleWidth", "ШиринаМодуля", "Ширина модуля", "-1"),
    Setting<&G::PDF417ModuleHeight>("PDF417ModuleHeight", "ВысотаМодуля", "Высота модуля", "-1"),
    Setting<&G::PDF417Rows>("PDF417Rows", "КоличествоСтрок", "Количество строк", "0"),
    Setting<&G::PDF417Cols>("PDF417Cols", "КоличествоСтолбцов", "Количество столбцов", "0"),
    Setting<&G::PDF417Truncate>("PDF417Truncate", "Сокращение", "Сокращение", "-1"),
    Setting<&G::DataMatrixModuleSize>("DataMatrixModuleSize", "РазмерМодуляПиксели",
                                      "Размер модуля в пикселях", "6"),
    Setting<&G::DataMatrixSize>("DataMatrixSize", "РазмерКода", "Размер кода", "10x10"),
    Setting<&G::QRCodeECCLevel>("QRCodeECCLevel", "УровеньКоррекцииОшибок",
                                "Уровень восстановления с исправлением ошибок", "M"),
    // Localized name and caption the other way round, as the host has always been given them.
    Setting<&G::QRCodeCellWidth>("QRCodeCellWidth", "Размер ячейки", "РазмерЯчейки", "4"),
    Setting<&G::QRCodeMode>("QRCodeMode", "РежимШифрования", "Режим шифрования", "A"),
    Setting<&G::QRCodeModel>("QRCodeModel", "Модель", "Модель", "M1"),
};

TPropValue EmptyValue(TPropKind AKind) {
    switch (AKind) {
        case TPropKind::pkInteger: return std::int32_t{0};
        case TPropKind::pkDouble: return 0.0;
        case TPropKind::pkString: return std::string();
        case TPropKind::pkBoolean: return false;
    }
    return std::int32_t{0};
}

}  // namespace

TDriverSettings::TDriverSettings() {
    for (const TSetting& setting : kSettings) setting.Set(*this, EmptyValue(setting.Kind));
}

std::span<const TSetting> DriverSettings() { return kSettings; }

}  // namespace quorvane
