#include "driver/driver_settings.h"

#include <array>
#include <type_traits>
#include <variant>

namespace quorvane {

namespace {

static_assert(std::is_same_v<TPropValue, TSettingValue>, "a language's setting is a host property");

template <class M>
struct TMemberOf;
template <class C, class T>
struct TMemberOf<T C::*> {
    using Part = C;
    using Type = T;
};

// A setting kept in Member of the device or the document settings.
template <auto Member>
struct TAccess {
    using Part = typename TMemberOf<decltype(Member)>::Part;
    using Type = typename TMemberOf<decltype(Member)>::Type;

    static auto& PartOf(auto& ASettings) {
        if constexpr (std::is_same_v<Part, TDeviceSettings>)
            return ASettings.Device;
        else {
            static_assert(std::is_same_v<Part, TDocumentSettings>,
                          "a setting is kept in a part of TDriverSettings");
            return ASettings.Document;
        }
    }
    static TPropValue Get(const TDriverSettings& ASettings) { return TPropValue(PartOf(ASettings).*Member); }
    static void Set(TDriverSettings& ASettings, const TPropValue& AValue) {
        PartOf(ASettings).*Member = std::get<Type>(AValue);
    }
};

template <auto Member>
constexpr TSetting Setting(std::string_view AName, std::string_view ANameLoc, std::string_view ACaption,
                           std::string_view ADefValue) {
    using TRow = TAccess<Member>;
    return {AName,
            ANameLoc,
            ACaption,
            ADefValue,
            detail::KindOf<typename TRow::Type>(),
            std::is_same_v<typename TRow::Part, TDocumentSettings> ? TSettingReader::srDocument
                                                                   : TSettingReader::srDriver,
            &TRow::Get,
            &TRow::Set};
}

// Where the language's setting AName goes among the host's properties.
constexpr TSetting LanguageSetting(std::string_view AName) {
    return {AName, {}, {}, {}, {}, TSettingReader::srGenerator};
}

using D = TDeviceSettings;
using R = TDocumentSettings;

// In the order of the host's property numbers: the driver's settings and, in their places, the
// language's; the language's others follow. Captions and defaults here are those of the
// declarations, not the schema's.
constexpr std::array kOrder{
    Setting<&D::InterfaceType>("InterfaceType", "ТипИнтерфейса", "Тип интерфейса", "0"),
    Setting<&D::USBPort>("USBPort", "Порт", "Порт", ""),
    Setting<&D::COMPort>("COMPort", "Порт", "Порт", "1"),
    Setting<&D::BaudRate>("BaudRate", "СкоростьПередачи", "Скорость передачи", "9600"),
    Setting<&D::DataBits>("DataBits", "БитыДанных", "Биты данных", "8"),
    Setting<&D::StopBits>("StopBits", "СтопБиты", "Стоп биты", "0"),
    Setting<&D::Parity>("Parity", "Четность", "Четность", "0"),
    Setting<&D::IPAddress>("IPAddress", "IPАдрес", "IP-адрес", ""),
    Setting<&D::IPPort>("IPPort", "Порт", "Порт", "9100"),
    LanguageSetting("PrintMethod"),
    Setting<&D::Resolution>("Resolution", "Разрешение", "Разрешение", "600"),
    Setting<&R::Density>("Density", "Яркость", "Яркость", "7"),
    Setting<&R::Speed>("Speed", "Скорость", "Скорость", "2"),
    Setting<&R::Direction>("Direction", "НаправлениеПечати", "Направление печати", "0"),
    Setting<&R::Gap>("Gap", "ШиринаЗазора", "Ширина зазора", "3"),
    Setting<&R::Codepage>("Codepage", "КодоваяСтраница", "Кодовая страница", "1251"),
    LanguageSetting("Model"),
    Setting<&D::StretchImage>("StretchImage", "РастягиватьКартинку", "Растягивать картинку", "false"),
    LanguageSetting("BarcodeNarrow"),
    Setting<&D::ExtLogEnabled>("ExtLogEnabled", "РасширенныйLogTSPL", "Расширенный log языка TSPL", "false"),
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

TPropKind KindOfValue(const TPropValue& AValue) {
    return std::visit([](const auto& AHeld) { return detail::KindOf<std::decay_t<decltype(AHeld)>>(); },
                      AValue);
}

std::vector<TSetting> OrderedSettings() {
    const TLanguageSettings& language = DriverLanguage();
    const std::span<const TLanguageSetting> own = language.Settings();
    const std::vector<TSettingValue> defaults = language.Defaults();
    std::vector<bool> placed(own.size());
    std::vector<TSetting> settings;
    const auto add = [&](std::size_t AIndex) {
        const TLanguageSetting& setting = own[AIndex];
        settings.push_back({setting.Name, setting.NameLoc, setting.Caption, setting.DefValue,
                            KindOfValue(defaults.at(AIndex)), TSettingReader::srGenerator});
        settings.back().LanguageIndex = AIndex;
        placed[AIndex] = true;
    };
    for (const TSetting& row : kOrder) {
        if (row.GetOwn != nullptr) {
            settings.push_back(row);
            continue;
        }
        for (std::size_t i = 0; i < own.size(); ++i)
            if (own[i].Name == row.Name) add(i);
    }
    for (std::size_t i = 0; i < own.size(); ++i)
        if (!placed[i]) add(i);
    return settings;
}

}  // namespace

TPropValue TSetting::Get(const TDriverSettings& ASettings) const {
    return GetOwn != nullptr ? GetOwn(ASettings) : ASettings.Language.at(LanguageIndex);
}

void TSetting::Set(TDriverSettings& ASettings, const TPropValue& AValue) const {
    if (SetOwn != nullptr) return SetOwn(ASettings, AValue);
    if (KindOfValue(AValue) != Kind) throw std::bad_variant_access();
    ASettings.Language.at(LanguageIndex) = AValue;
}

TDriverSettings::TDriverSettings() : Language(DriverLanguage().Settings().size()) {
    for (const TSetting& setting : DriverSettings()) setting.Set(*this, EmptyValue(setting.Kind));
}

std::span<const TSetting> DriverSettings() {
    static const std::vector<TSetting> settings = OrderedSettings();
    return settings;
}

const TSetting* FindSetting(std::string_view AName) {
    for (const TSetting& setting : DriverSettings())
        if (setting.Name == AName) return &setting;
    return nullptr;
}

}  // namespace quorvane
