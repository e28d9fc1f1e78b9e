#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "addin/wide_string.h"
#include "tools/host/host_component.h"

namespace quorvane::test {

// A TCP listener on loopback: a network printer that accepts connections (through the backlog)
// and never answers, enough for Open to reach a port.
class TLoopbackListener {
public:
    TLoopbackListener() {
        FSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (FSocket < 0 || bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(FSocket, 16) != 0 || getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            throw std::runtime_error("no loopback listener");
        FPort = ntohs(addr.sin_port);
    }
    ~TLoopbackListener() { close(FSocket); }
    TLoopbackListener(const TLoopbackListener&) = delete;
    TLoopbackListener& operator=(const TLoopbackListener&) = delete;

    int Port() const { return FPort; }

private:
    int FSocket = -1;
    int FPort = 0;
};

// The real component loaded through the host harness, one driver object per test; the driver
// log goes into a private folder that is removed afterwards.
class DriverHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorvane-surface-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        FLogDir = pattern;
        setenv("QUORVANE_LOG_DIR", FLogDir.c_str(), 1);
        const char* build = std::getenv("QUORVANE_BUILD_DIR");
        ASSERT_NE(build, nullptr) << "QUORVANE_BUILD_DIR is not set";
        Library = std::make_unique<host::TComponentLibrary>(std::string(build) + "/libquorvane.so");
        Object = std::make_unique<host::THostObject>(*Library, u"quorvane", Memory, Connection);
    }

    void TearDown() override {
        if (Object) {
            // Leave the process-wide log switched off for the next test.
            host::THostValues params(Memory);
            params.Add(host::StringValue(Memory, "LogEnabled"));
            params.Add(host::BoolValue(false));
            host::THostValues result(Memory);
            Object->Call(u"SetParameter", params, result);
        }
        Object.reset();
        Library.reset();
        std::error_code ec;
        std::filesystem::remove_all(FLogDir, ec);
    }

    // Calls AName with AParams; the result and the parameters as they are afterwards.
    struct TCall {
        bool Called = false;
        V8Variant Result{};
        std::unique_ptr<host::THostValues> Params;
    };

    template <class... V>
    TCall Call(std::u16string_view AName, V... AParams) {
        TCall call;
        call.Params = std::make_unique<host::THostValues>(Memory);
        (call.Params->Add(AParams), ...);
        host::THostValues result(Memory);
        call.Called = Object->Call(AName, *call.Params, result);
        call.Result = result[0];
        result.Records.clear();  // the copy in call.Result keeps what the record holds
        Results.push_back(call.Result);
        return call;
    }

    // SetParameter(AName, AValue): its boolean outcome.
    bool SetParameter(const std::string& AName, const V8Variant& AValue) {
        TCall call = Call(u"SetParameter", host::StringValue(Memory, AName), AValue);
        EXPECT_TRUE(call.Called);
        EXPECT_EQ(call.Result.vt, VTYPE_BOOL);
        return call.Result.VarEnum.bVal;
    }

    // GetLastError: the code and the description.
    std::pair<int, std::string> LastError() {
        TCall call = Call(u"GetLastError", host::EmptyValue());
        EXPECT_EQ(call.Result.vt, VTYPE_I4);
        return {call.Result.VarEnum.lVal, WideToUtf8(V8Text((*call.Params)[0]))};
    }

    // A property read through GetPropVal by its English name.
    V8Variant Prop(std::u16string_view AName) {
        host::THostValues value(Memory);
        EXPECT_TRUE(Object->GetProp(AName, value));
        V8Variant copy = value[0];
        value.Records.clear();
        Results.push_back(copy);
        return copy;
    }

    std::string PropText(std::u16string_view AName) { return WideToUtf8(V8Text(Prop(AName))); }

    static std::u16string V8Text(const V8Variant& AValue) {
        if (AValue.vt != VTYPE_PWSTR || AValue.VarEnum.vtRecWideString.pwstrVal == nullptr) return {};
        return std::u16string(AValue.VarEnum.vtRecWideString.pwstrVal,
                              AValue.VarEnum.vtRecWideString.wstrLen);
    }

    // Settings that let Open reach a printer: the network transport to AListener.
    void UseNetworkPrinter(const TLoopbackListener& AListener) {
        ASSERT_TRUE(SetParameter("InterfaceType", host::IntValue(2)));
        ASSERT_TRUE(SetParameter("IPAddress", host::StringValue(Memory, "127.0.0.1")));
        ASSERT_TRUE(SetParameter("IPPort", host::IntValue(AListener.Port())));
    }

    std::string LogDir() const { return FLogDir; }

    host::THostMemoryManager Memory;
    host::THostConnection Connection;
    std::unique_ptr<host::TComponentLibrary> Library;
    std::unique_ptr<host::THostObject> Object;

private:
    // Records handed out by the tests; their texts are freed with the fixture.
    struct TResults {
        explicit TResults(host::THostMemoryManager& AManager) : Values(AManager) {}
        void push_back(const V8Variant& AValue) { Values.Add(AValue); }
        host::THostValues Values;
    };
    std::string FLogDir;

public:
    TResults Results{Memory};
};

}  // namespace quorvane::test
