// The settings schema the driver hands out, against the schema resource and the settings list.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "addin/custom_driver.h"
#include "driver/common_driver.h"
#include "driver/driver.h"
#include "driver/driver_settings.h"
#include "errors/messages.h"
#include "resources/embedded_resource.h"

namespace quorvane {
namespace {

pugi::xml_document ResourceSchema() {
    const EmbeddedResource* resource = FindEmbeddedResource("PARAMETERS");
    if (resource == nullptr) throw std::runtime_error("no PARAMETERS resource");
    pugi::xml_document doc;
    ParseXml(std::string(reinterpret_cast<const char*>(resource->data), resource->size), doc);
    return doc;
}

pugi::xml_document DriverSchema() {
    TDriver driver;
    std::string text;
    driver.BuildParameters(text);
    pugi::xml_document doc;
    ParseXml(text, doc);
    return doc;
}

pugi::xml_node FindNamed(const pugi::xml_document& ADoc, const char* AElement, const char* AName) {
    return ADoc.find_node([&](pugi::xml_node n) {
        return std::string_view(n.name()) == AElement &&
               std::string_view(n.attribute("Name").value()) == AName;
    });
}

std::vector<std::pair<std::string, std::string>> Attributes(pugi::xml_node ANode) {
    std::vector<std::pair<std::string, std::string>> list;
    for (pugi::xml_attribute a : ANode.attributes()) list.emplace_back(a.name(), a.value());
    return list;
}

// A value written as the schema writes defaults.
std::string SchemaText(const TPropValue& AValue) {
    if (const auto* b = std::get_if<bool>(&AValue)) return *b ? "true" : "false";
    if (const auto* s = std::get_if<std::string>(&AValue)) return *s;
    std::ostringstream out;
    std::visit([&out](const auto& v) { out << v; }, AValue);
    return out.str();
}

// Besides the resource, the schema lists the USB printers found (none of a known model here)
// and offers the picture switch last in the main settings.
TEST(SettingsSchema, IsTheResourceWithTheUSBPrintersAndThePictureSwitch) {
    pugi::xml_document schema = DriverSchema();
    pugi::xml_node usbPort = FindNamed(schema, "Parameter", "USBPort");
    ASSERT_TRUE(usbPort);
    const pugi::xml_node printers = usbPort.child("ChoiceList");
    ASSERT_TRUE(printers);
    EXPECT_FALSE(printers.first_child());
    usbPort.remove_child(printers);

    pugi::xml_node mainSettings = FindNamed(schema, "Group", "MainSettings");
    ASSERT_TRUE(mainSettings);
    const pugi::xml_node pictures = mainSettings.last_child();
    EXPECT_EQ(Attributes(pictures), (std::vector<std::pair<std::string, std::string>>{
                                        {"Name", "_2DBarcodeAsPicture"},
                                        {"Caption", MessageText(TMessage::TwoDBarcodeAsPictureCaption)},
                                        {"TypeValue", "Boolean"},
                                        {"DefaultValue", "true"}}));
    mainSettings.remove_child(pictures);

    EXPECT_EQ(XmlToText(schema), XmlToText(ResourceSchema()));
}

// Every Parameter is a declared setting of the type the host exchanges, every declared setting
// is offered once, and what the generator and the document reader assume on their own is what
// the schema proposes.
TEST(SettingsSchema, OffersEveryDeclaredSettingOnceWithItsTypeAndDefault) {
    const pugi::xml_document schema = DriverSchema();
    std::map<std::string, pugi::xml_node> offered;
    for (pugi::xpath_node p : schema.select_nodes("//Parameter"))
        EXPECT_TRUE(offered.emplace(p.node().attribute("Name").value(), p.node()).second)
            << p.node().attribute("Name").value() << " is offered twice";

    std::set<std::string> declared;
    ForEachProp(TDriver::ClassDecl(), [&](const TPropDecl& AProp) {
        declared.insert(AProp.Name);
        const auto it = offered.find(AProp.Name);
        if (it == offered.end()) {
            ADD_FAILURE() << AProp.Name << " is not offered";
            return;
        }
        EXPECT_STREQ(it->second.attribute("TypeValue").value(),
                     ValueTypeName(PropKindTypeNumber(AProp.Kind)).c_str())
            << AProp.Name;
    });
    for (const auto& [name, node] : offered)
        EXPECT_EQ(declared.count(name), 1u) << name << " is not declared";

    TDriverSettings proposed;
    proposed.Language = DriverLanguage().Defaults();
    proposed.Document = TDocumentSettings();
    for (const TSetting& setting : DriverSettings()) {
        if (setting.Reader == TSettingReader::srDriver) continue;  // no default of its own
        const std::string name(setting.Name);
        ASSERT_TRUE(offered.count(name)) << name;
        EXPECT_EQ(SchemaText(setting.Get(proposed)), offered[name].attribute("DefaultValue").value()) << name;
    }
}

}  // namespace
}  // namespace quorvane
