// The USB printer list binds SetupAPI and the configuration manager at run time: the component
// does not import them, a refreshed list holds them, and the last list to go unloads them.

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>

#include "transport/usb_print_list.h"

namespace quorvane {
namespace {

bool Loaded(const wchar_t* AName) { return GetModuleHandleW(AName) != nullptr; }

TEST(WindowsUsbPrintList, HoldsTheSystemLibrariesOnlyWhileAListThatUsedThemLives) {
    ASSERT_FALSE(Loaded(L"setupapi.dll"));
    ASSERT_FALSE(Loaded(L"cfgmgr32.dll"));
    std::optional<TUSBPrintList> first(std::in_place), second(std::in_place);
    EXPECT_FALSE(Loaded(L"setupapi.dll")) << "loaded before any list refreshed";
    // Wine has no USB printers: the enumeration completes with none.
    EXPECT_TRUE(first->Refresh());
    EXPECT_TRUE(first->Refresh());
    EXPECT_TRUE(second->Refresh());
    EXPECT_TRUE(Loaded(L"setupapi.dll"));
    EXPECT_TRUE(Loaded(L"cfgmgr32.dll"));
    first.reset();
    EXPECT_TRUE(Loaded(L"setupapi.dll")) << "unloaded while a list still uses it";
    second.reset();
    EXPECT_FALSE(Loaded(L"setupapi.dll"));
    EXPECT_FALSE(Loaded(L"cfgmgr32.dll"));
    // A list made afterwards loads them again.
    TUSBPrintList third;
    EXPECT_TRUE(third.Refresh());
    EXPECT_TRUE(Loaded(L"setupapi.dll"));
}

}  // namespace
}  // namespace quorvane
