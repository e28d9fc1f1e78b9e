#include "tools/host/script_command.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "driver/label_document.h"
#include "driver/label_pipeline.h"
#include "printer/printer_type_tspl.h"

namespace quorvane::host {

namespace {

// What the driver holds after the host has handed it the schema's defaults.
struct TScriptSettings {
    std::int32_t Resolution = 203;
    bool StretchImage = false;
    TDocumentSettings Document;
    TTsplSettings Tspl;
};

// Lower case for ASCII and the basic Cyrillic letters, enough to match setting names.
std::string LowerName(std::string_view AName)
{
    std::string out(AName);
    for (std::size_t i = 0; i < out.size(); ++i) {
        auto& c = reinterpret_cast<unsigned char&>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<unsigned char>(c + 32);
        } else if (c == 0xD0 && i + 1 < out.size()) {
            auto& next = reinterpret_cast<unsigned char&>(out[i + 1]);
            if (next >= 0x90 && next <= 0x9F) {  // А..П
                next = static_cast<unsigned char>(next + 0x20);
            } else if (next >= 0xA0 && next <= 0xAF) {  // Р..Я
                c = 0xD1;
                next = static_cast<unsigned char>(next - 0x20);
            } else if (next == 0x81) {  // Ё
                c = 0xD1;
                next = 0x91;
            }
            ++i;
        }
    }
    return out;
}

std::int32_t ToInt(const std::string& AValue)
{
    std::int32_t value = 0;
    const char* end = AValue.data() + AValue.size();
    auto [at, ec] = std::from_chars(AValue.data(), end, value);
    if (ec != std::errc() || at != end)
        throw std::invalid_argument("'" + AValue + "' is not a valid integer value");
    return value;
}

double ToDouble(const std::string& AValue)
{
    double value = 0;
    if (!ParseFloat(AValue, '.', value) && !ParseFloat(AValue, ',', value))
        throw std::invalid_argument("'" + AValue + "' is not a valid floating point value");
    return value;
}

bool ToBool(const std::string& AValue)
{
    const std::string lower = LowerName(AValue);
    if (lower == "true" || lower == "1")
        return true;
    if (lower == "false" || lower == "0")
        return false;
    throw std::invalid_argument("'" + AValue + "' is not a valid boolean value");
}

struct TSettingName {
    const char* Name;
    const char* Localized;
    std::function<void(TScriptSettings&, const std::string&)> Set;
};

const std::vector<TSettingName>& SettingNames()
{
    using S = TScriptSettings;
    using V = const std::string&;
    static const std::vector<TSettingName> names = {
        {"Resolution", "Разрешение", [](S& s, V v) { s.Resolution = ToInt(v); }},
        {"Density", "Яркость", [](S& s, V v) { s.Document.Density = ToInt(v); }},
        {"Speed", "Скорость", [](S& s, V v) { s.Document.Speed = ToDouble(v); }},
        {"Direction", "НаправлениеПечати", [](S& s, V v) { s.Document.Direction = ToInt(v); }},
        {"Gap", "ШиринаЗазора", [](S& s, V v) { s.Document.Gap = ToInt(v); }},
        {"Codepage", "КодоваяСтраница", [](S& s, V v) { s.Document.Codepage = v; }},
        {"Model", "Модель", [](S& s, V v) { s.Tspl.Model = ToInt(v); }},
        {"StretchImage", "РастягиватьКартинку", [](S& s, V v) { s.StretchImage = ToBool(v); }},
        {"BarcodeNarrow", "ШиринаШтрихкода", [](S& s, V v) { s.Tspl.BarcodeNarrow = ToInt(v); }},
        {"PrintMethod", "МетодПечати", [](S& s, V v) { s.Tspl.PrintMethod = ToInt(v); }},
        {"_2DBarcodeAsPicture", "2DШтрихкодКартинкой",
         [](S& s, V v) { s.Tspl._2DBarcodeAsPicture = s.Document._2DBarcodeAsPicture = ToBool(v); }},
        {"PDF417DataCompression", "МетодСжатияДанных",
         [](S& s, V v) { s.Tspl.PDF417DataCompression = ToInt(v); }},
        {"PDF417CorrectionLevel", "УровеньКоррекцииОшибок",
         [](S& s, V v) { s.Tspl.PDF417CorrectionLevel = ToInt(v); }},
        {"PDF417CenterPattern", "ЦентрШаблона",
         [](S& s, V v) { s.Tspl.PDF417CenterPattern = ToInt(v); }},
        {"PDF417ModuleWidth", "ШиринаМодуля", [](S& s, V v) { s.Tspl.PDF417ModuleWidth = ToInt(v); }},
        {"PDF417ModuleHeight", "ВысотаМодуля", [](S& s, V v) { s.Tspl.PDF417ModuleHeight = ToInt(v); }},
        {"PDF417Rows", "КоличествоСтрок", [](S& s, V v) { s.Tspl.PDF417Rows = ToInt(v); }},
        {"PDF417Cols", "КоличествоСтолбцов", [](S& s, V v) { s.Tspl.PDF417Cols = ToInt(v); }},
        {"PDF417Truncate", "Сокращение", [](S& s, V v) { s.Tspl.PDF417Truncate = ToInt(v); }},
        {"DataMatrixModuleSize", "РазмерМодуляПиксели",
         [](S& s, V v) { s.Tspl.DataMatrixModuleSize = ToInt(v); }},
        {"DataMatrixSize", "РазмерКода", [](S& s, V v) { s.Tspl.DataMatrixSize = v; }},
        {"QRCodeECCLevel", "УровеньКоррекцииОшибок", [](S& s, V v) { s.Tspl.QRCodeECCLevel = v; }},
        {"QRCodeCellWidth", "Размер ячейки", [](S& s, V v) { s.Tspl.QRCodeCellWidth = ToInt(v); }},
        {"QRCodeMode", "РежимШифрования", [](S& s, V v) { s.Tspl.QRCodeMode = v; }},
        {"QRCodeModel", "Модель", [](S& s, V v) { s.Tspl.QRCodeModel = v; }},
    };
    return names;
}

// Like SetParameter: every setting whose name or localized name matches takes the value.
void ApplySetting(TScriptSettings& ASettings, const std::string& AName, const std::string& AValue)
{
    const std::string wanted = LowerName(AName);
    bool found = false;
    for (const TSettingName& setting : SettingNames()) {
        if (LowerName(setting.Name) == wanted || LowerName(setting.Localized) == wanted) {
            setting.Set(ASettings, AValue);
            found = true;
        }
    }
    if (!found)
        throw std::invalid_argument("Property not found: " + AName);
}

std::string ReadFile(const std::string& APath)
{
    std::ifstream in(APath, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + APath);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

bool WriteScripts(const std::vector<std::string>& AArgs, std::ostream& AOut, std::ostream& AErr)
{
    std::string file;
    std::string outDir;
    TScriptSettings settings;
    try {
        for (std::size_t i = 0; i < AArgs.size(); ++i) {
            const std::string& arg = AArgs[i];
            if (arg == "--set" || arg == "--out") {
                if (i + 1 >= AArgs.size())
                    throw std::invalid_argument(arg + " needs a value");
                const std::string& value = AArgs[++i];
                if (arg == "--out") {
                    outDir = value;
                    continue;
                }
                const auto equals = value.find('=');
                if (equals == std::string::npos || equals == 0)
                    throw std::invalid_argument("--set needs NAME=VALUE");
                ApplySetting(settings, value.substr(0, equals), value.substr(equals + 1));
            } else if (file.empty()) {
                file = arg;
            } else {
                throw std::invalid_argument("one document at a time: " + arg);
            }
        }
        if (file.empty())
            throw std::invalid_argument("usage: script FILE.xml [--set NAME=VALUE]... [--out DIR]");
    } catch (const std::invalid_argument& error) {
        AErr << "quorvane-host: " << error.what() << "\n";
        return false;
    }

    try {
        TPrinterTSPL printer;
        printer.ApplySettings(settings.Resolution, settings.StretchImage, settings.Tspl);

        const pugi::xml_document document = ParseLabelDocument(ReadFile(file));
        TLabelTemplate labelTemplate;
        LoadTemplate(document, labelTemplate, printer, settings.Document);
        // Every label is checked before anything is written, as nothing is sent on a failure,
        // then built again as it is written.
        TLabelJob job(document, labelTemplate, printer, settings.Document);
        job.Check();
        if (outDir.empty()) {
            job.Build([&](TScriptObject&& AScript) {
                AOut.write(AScript.FValue.data(), static_cast<std::streamsize>(AScript.FValue.size()));
            });
            AOut.flush();
            return static_cast<bool>(AOut);
        }
        std::filesystem::create_directories(outDir);
        std::size_t written = 0;
        job.Build([&](TScriptObject&& AScript) {
            char name[32];
            std::snprintf(name, sizeof name, "label-%05zu.tspl", ++written);
            const std::filesystem::path path = std::filesystem::path(outDir) / name;
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(AScript.FValue.data(), static_cast<std::streamsize>(AScript.FValue.size()));
            if (!out)
                throw std::runtime_error("cannot write " + path.string());
        });
        AOut << written << " label script(s) written to " << outDir << "\n";
        return true;
    } catch (const std::exception& error) {
        AErr << "Error: " << error.what() << "\n";
        return false;
    }
}

void AddScriptCommand(THostCommandTable& ATable)
{
    ATable.Add({"script", "FILE.xml [--set NAME=VALUE]... [--out DIR]",
                "the printer scripts of a label document, without a printer", 1, -1,
                [](THostSession& ASession, const std::vector<std::string>& AArgs) {
                    return WriteScripts(AArgs, ASession.Out, ASession.Err);
                }});
}

}  // namespace quorvane::host
