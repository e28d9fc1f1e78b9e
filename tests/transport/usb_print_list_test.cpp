#include "transport/usb_print_list.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "errors/messages.h"
#include "usb_testbed.h"

namespace quorvane {
namespace {

const TUSBPrintInfoRec* Find(TUSBPrintList& AList, const std::string& APath) {
    for (int i = 0; i < AList.Count(); ++i)
        if (AList.Objects(i).interfacename == APath) return &AList.Objects(i);
    return nullptr;
}

TEST(USBPrintList, EmptySystemGivesAnEmptyList) {
    test::UsbTestbed bed;
    TUSBPrintList list;
    EXPECT_TRUE(list.Refresh());
    EXPECT_EQ(list.Count(), 0);
}

TEST(USBPrintList, ListsPrintersWithTheirIdentity) {
    test::UsbTestbed bed;
    const std::string first = bed.AddPrinter("1-3", 0, "1fc9", "20ab", "Orvel MX 203");
    const std::string second = bed.AddPrinter("1-4.2", 1, "0483", "5743", "Kesto S", false);
    bed.AddOtherUsbMisc("hiddev0");
    TUSBPrintList list;
    ASSERT_TRUE(list.Refresh());
    ASSERT_EQ(list.Count(), 2);  // the other usbmisc node is no printer

    const TUSBPrintInfoRec* a = Find(list, first);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(first, "/dev/usb/lp0");
    EXPECT_EQ(a->hardwareid, "USB\\VID_1FC9&PID_20AB");  // upper-case hex, four digits each
    EXPECT_EQ(a->devicename, "1-3");
    EXPECT_EQ(a->description, "Orvel MX 203");
    EXPECT_TRUE(a->isenabled);

    const TUSBPrintInfoRec* b = Find(list, second);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->hardwareid, "USB\\VID_0483&PID_5743");
    EXPECT_EQ(b->devicename, "1-4.2");
    EXPECT_FALSE(b->isenabled);  // de-authorised: the system keeps it disabled
}

TEST(USBPrintList, ItemsCopyObjectsShareAndBadIndexesFail) {
    test::UsbTestbed bed;
    bed.AddPrinter("1-3", 0, "1fc9", "20ab", "Orvel MX 203");
    TUSBPrintList list;
    ASSERT_TRUE(list.Refresh());
    ASSERT_EQ(list.Count(), 1);
    TUSBPrintInfoRec copy = list.Items(0);
    copy.description = "changed copy";
    EXPECT_EQ(list.Items(0).description, "Orvel MX 203");
    list.Objects(0).description = "changed record";
    EXPECT_EQ(list.Items(0).description, "changed record");
    for (int index : {-1, 1, 100}) {
        try {
            list.Items(index);
            ADD_FAILURE() << "index " << index << " accepted";
        } catch (const TMessageError& e) {
            EXPECT_EQ(e.Id(), TMessage::WrongDeviceIndex);
        }
        EXPECT_THROW(list.Objects(index), std::runtime_error);
    }
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(USBPrintList, RefreshTakesANewSnapshot) {
    auto bed = std::make_unique<test::UsbTestbed>();
    bed->AddPrinter("1-3", 0, "1fc9", "20ab", "Orvel MX 203");
    TUSBPrintList list;
    ASSERT_TRUE(list.Refresh());
    EXPECT_EQ(list.Count(), 1);
    bed = std::make_unique<test::UsbTestbed>();  // the printer was unplugged
    ASSERT_TRUE(list.Refresh());
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace quorvane
