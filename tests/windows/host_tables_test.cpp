// The interface tables against a host that follows MSVC's layout (tests/windows/msvc_host.c):
// every slot the host calls must land on the function of that name, in both directions, on both
// Windows targets. Runs under Wine.

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "addin/v8napi.h"
#include "tests/windows/msvc_host.h"

namespace quorvane {
namespace {

// Host texts are 16-bit units; wchar_t is one on Windows.
const HostChar* H(const wchar_t* AText) { return reinterpret_cast<const HostChar*>(AText); }

// Records which slot ran; each answers something only that slot answers.
class TProbeComponent final : public TV8ComponentBase {
public:
    explicit TProbeComponent(int* ADestroyed) : FDestroyed(ADestroyed) {}
    ~TProbeComponent() { ++*FDestroyed; }

    void* ScalarDeletingDestructor(unsigned AFlags) override {
        if (AFlags & 1)
            delete this;
        else
            this->~TProbeComponent();
        return this;
    }

    bool Init(void* disp) override {
        Connection = disp;
        return true;
    }
    bool setMemManager(void* mem) override {
        Memory = mem;
        return true;
    }
    long GetInfo() override { return kAddInInfo; }
    void Done() override { ++DoneCalls; }

    bool RegisterExtensionAs(WCHAR_T**) override { return false; }
    long GetNProps() override { return 36; }
    long FindProp(const WCHAR_T*) override { return -2; }
    const WCHAR_T* GetPropName(long, long) override { return nullptr; }
    bool GetPropVal(const long, V8Variant*) override { return false; }
    bool SetPropVal(const long, V8Variant*) override { return false; }
    bool IsPropReadable(const long) override { return false; }
    bool IsPropWritable(const long) override { return false; }
    long GetNMethods() override { return 12; }
    long FindMethod(const WCHAR_T* wsMethodName) override {
        return std::wstring(wsMethodName) == L"PrintLabels" ? 7 : -1;
    }
    const WCHAR_T* GetMethodName(const long, const long) override { return nullptr; }
    long GetNParams(const long) override { return -3; }
    bool GetParamDefValue(const long, const long, V8Variant*) override { return false; }
    bool HasRetVal(const long) override { return false; }
    bool CallAsProc(const long, V8Variant*, const long) override { return false; }
    bool CallAsFunc(const long, V8Variant*, V8Variant*, const long) override { return false; }

    void SetLocale(const WCHAR_T* loc) override { Locale = loc; }

    void* Connection = nullptr;
    void* Memory = nullptr;
    int DoneCalls = 0;
    std::wstring Locale;

private:
    int* FDestroyed;
};

TEST(HostTablesTest, EverySlotTheHostCallsRunsThatFunction) {
    int destroyed = 0;
    auto* probe = new TProbeComponent(&destroyed);
    // What GetClassObject hands out: the object seen as the first of the three interfaces.
    void* component = static_cast<TV8ComponentBase*>(probe);
    ASSERT_EQ(component, static_cast<void*>(static_cast<TV8InitDone*>(probe)));

    HostConnection connection;
    host_connection_init(&connection);
    HostMemory memory;
    host_memory_init(&memory);
    EXPECT_TRUE(host_init(component, &connection));
    EXPECT_EQ(probe->Connection, &connection);
    EXPECT_TRUE(host_set_mem_manager(component, &memory));
    EXPECT_EQ(probe->Memory, &memory);
    EXPECT_EQ(host_get_info(component), 2000);
    host_done(component);
    EXPECT_EQ(probe->DoneCalls, 1);

    EXPECT_EQ(host_get_n_methods(component), 12);
    EXPECT_EQ(host_find_method(component, H(L"PrintLabels")), 7);
    EXPECT_EQ(host_find_method(component, H(L"printlabels")), -1);
    host_set_locale(component, H(L"ru_RU"));
    EXPECT_EQ(probe->Locale, L"ru_RU");
    EXPECT_EQ(destroyed, 0);

    // Slot 0 with bit 0 set destroys and frees the object, as MSVC's deleting destructor does.
    EXPECT_EQ(host_delete(component, 1), component);
    EXPECT_EQ(destroyed, 1);
}

TEST(HostTablesTest, TheComponentReachesTheHostsMemoryManagerAndConnection) {
    HostMemory memory;
    host_memory_init(&memory);
    auto* manager = reinterpret_cast<TV8MemoryManager*>(&memory);
    void* block = nullptr;
    ASSERT_TRUE(manager->AllocMemory(&block, 16));
    EXPECT_EQ(memory.allocs, 1);
    EXPECT_EQ(memory.frees, 0);
    ASSERT_NE(block, nullptr);
    manager->FreeMemory(&block);
    EXPECT_EQ(memory.frees, 1);
    EXPECT_EQ(block, nullptr);

    HostConnection host;
    host_connection_init(&host);
    auto* connection = reinterpret_cast<TV8AddInDefBaseEx*>(&host);
    EXPECT_TRUE(connection->AddError(kAddInErrorCode, L"source", L"descr", kAddInErrorScode));
    EXPECT_EQ(host.errors, 1);
    EXPECT_EQ(host.last_wcode, 1006);
    // E_FAIL as the 32-bit HRESULT the host reads.
    EXPECT_EQ(static_cast<unsigned long>(host.last_scode), 0x80004005UL);
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(host.last_descr), L"descr");
}

}  // namespace
}  // namespace quorvane
