// The USBPort choice list of GetParameters, through the real component and the host harness,
// with USB printers made to appear by umockdev.

#include <pugixml.hpp>

#include <algorithm>
#include <utility>
#include <vector>

#include "tests/driver/driver_host_fixture.h"
#include "usb_testbed.h"

namespace quorvane {
namespace {

using Choices = std::vector<std::pair<std::string, std::string>>;

class USBChoiceList : public test::DriverHostTest {
protected:
    // The items of the USBPort choice list, as (value, text).
    Choices USBPortChoices() {
        TCall call = Call(u"GetParameters", host::EmptyValue());
        EXPECT_TRUE(call.Result.VarEnum.bVal);
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_string(WideToUtf8(V8Text((*call.Params)[0])).c_str()));
        pugi::xml_node param = doc.select_node("//Parameter[@Name='USBPort']").node();
        EXPECT_TRUE(param);
        EXPECT_TRUE(param.child("ChoiceList"));
        Choices choices;
        for (pugi::xml_node item : param.child("ChoiceList").children("Item"))
            choices.emplace_back(item.attribute("Value").value(), item.text().get());
        return choices;
    }

    test::UsbTestbed Bed;
};

TEST_F(USBChoiceList, NoPrinterGivesAnEmptyList) { EXPECT_TRUE(USBPortChoices().empty()); }

TEST_F(USBChoiceList, RecognisedPrintersAppearWithModelAndPlace) {
    // sysfs writes the numbers in lower case; the Orvel MX fragment still matches.
    const std::string orvel = Bed.AddPrinter("1-3", 0, "3a1e", "0202", "Orvel MX 203dpi");
    const std::string kesto = Bed.AddPrinter("3-1.4", 1, "3A1E", "0102", "Kesto M");
    Bed.AddPrinter("1-5", 2, "04b8", "0202", "Some other printer");         // unknown vendor
    Bed.AddPrinter("1-6", 3, "3a1e", "0101", "Kesto S (disabled)", false);  // known but disabled
    Choices choices = USBPortChoices();
    std::sort(choices.begin(), choices.end());
    EXPECT_EQ(choices, (Choices{{"/dev/usb/lp0", "Принтер Orvel MX на 1-3"},
                                {"/dev/usb/lp1", "Принтер Kesto M на 3-1.4"}}));
    EXPECT_EQ(orvel, "/dev/usb/lp0");
    EXPECT_EQ(kesto, "/dev/usb/lp1");
}

}  // namespace
}  // namespace quorvane
