// Open takes the model of a USB printer that GetParameters recognised on the same object.

#include "tests/driver/driver_host_fixture.h"
#include "tests/transport/usb_testbed.h"

namespace quorvane::test {
namespace {

class USBPrinterModel : public DriverHostTest {
protected:
    void SetUp() override {
        DriverHostTest::SetUp();
        ASSERT_TRUE(SetParameter("InterfaceType", host::IntValue(0)));
        ASSERT_TRUE(SetParameter("Model", host::IntValue(4)));
    }
    bool Open() {
        TCall open = Call(u"Open", host::EmptyValue());
        return open.Called && open.Result.VarEnum.bVal;
    }
    UsbTestbed Bed;
};

TEST_F(USBPrinterModel, ListedPrinterReplacesTheModelSetting) {
    const std::string kesto = Bed.AddPrinter("3-1", 1, "3a1e", "0102", "Kesto M");
    ASSERT_TRUE(Call(u"GetParameters", host::EmptyValue()).Result.VarEnum.bVal);
    ASSERT_TRUE(SetParameter("USBPort", host::StringValue(Memory, kesto)));
    Open();  // the fake tree has no device behind the node; the model is taken before the port is tried
    EXPECT_EQ(Prop(u"Model").VarEnum.lVal, 2);
}

TEST_F(USBPrinterModel, ModelStaysWithoutGetParametersOrForAnotherPath) {
    const std::string kesto = Bed.AddPrinter("3-1", 1, "3a1e", "0102", "Kesto M");
    ASSERT_TRUE(SetParameter("USBPort", host::StringValue(Memory, kesto)));
    Open();
    EXPECT_EQ(Prop(u"Model").VarEnum.lVal, 4);  // the list was never fetched from this object

    ASSERT_TRUE(Call(u"GetParameters", host::EmptyValue()).Result.VarEnum.bVal);
    ASSERT_TRUE(SetParameter("USBPort", host::StringValue(Memory, kesto + "/")));
    Open();
    EXPECT_EQ(Prop(u"Model").VarEnum.lVal, 4);  // not the listed path exactly
}

}  // namespace
}  // namespace quorvane::test
