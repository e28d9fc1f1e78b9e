// The host's paths through the real entry points: the test component (and, for the export
// list, libquorvane.so) loaded with dlopen by the host harness.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "addin/wide_string.h"
#include "errors/messages.h"
#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tools/host/host_component.h"

using namespace quorvane;
using namespace quorvane::host;
using ::testing::HasSubstr;

namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string& APath) {
    const quorvane::test::TCommandRun run =
        quorvane::test::RunCommand("nm -D --defined-only '" + APath + "'");
    EXPECT_EQ(run.Status, 0) << run.Output;
    std::set<std::string> names;
    std::istringstream lines(run.Output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string address, type, name;
        if (words >> address >> type >> name) names.insert(name);
    }
    return names;
}

class HostPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-host-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        LogDir = pattern;
        setenv("QUORVANE_LOG_DIR", LogDir.c_str(), 1);
        Library = std::make_unique<TComponentLibrary>(QUORVANE_TEST_COMPONENT);
    }
    void TearDown() override {
        Library.reset();
        std::filesystem::remove_all(LogDir);
        unsetenv("QUORVANE_LOG_DIR");
    }

    std::unique_ptr<THostObject> NewObject(std::u16string_view AClass = u"qvtest") {
        return std::make_unique<THostObject>(*Library, AClass, Memory, Connection);
    }

    // Calls by name with typed arguments; returns the result record's typed text.
    std::string Call(THostObject& AObject, std::u16string_view AName, std::vector<V8Variant> AArgs = {},
                     bool* AOk = nullptr) {
        THostValues params(Memory);
        for (const V8Variant& arg : AArgs) params.Add(arg);
        THostValues result(Memory);
        bool ok = AObject.Call(AName, params, result);
        if (AOk != nullptr) *AOk = ok;
        return result.Count() > 0 ? FormatTypedValue(result[0]) : "";
    }

    std::string LogText() { return quorvane::test::ReadFolder(LogDir); }

    std::filesystem::path LogDir;
    THostMemoryManager Memory;
    THostConnection Connection;
    std::unique_ptr<TComponentLibrary> Library;
};

TEST(ExportsTest, OnlyTheThreeEntryPointsLeaveTheLibraries) {
    const std::set<std::string> expected = {"DestroyObject", "GetClassNames", "GetClassObject"};
    EXPECT_EQ(DefinedDynamicSymbols(QUORVANE_COMPONENT), expected);
    EXPECT_EQ(DefinedDynamicSymbols(QUORVANE_TEST_COMPONENT), expected);
}

TEST_F(HostPathsTest, ClassNamesAndObjectLifetime) {
    EXPECT_EQ(Library->ClassNames(), u"qvtest|qvtest2|qvbroken");

    auto* sentinel = reinterpret_cast<TV8ComponentBase*>(0x1234);
    TV8ComponentBase* object = sentinel;
    EXPECT_EQ(Library->GetClassObject(u"Qvtest", &object), 0);  // case-sensitive
    EXPECT_EQ(object, sentinel);
    EXPECT_EQ(Library->GetClassObject(u"qvbroken", &object), 0);  // constructor throws
    EXPECT_EQ(object, sentinel);
    EXPECT_EQ(Library->GetClassObject(u"qvtes", &object), 0);
    EXPECT_EQ(object, sentinel);
    EXPECT_EQ(Library->GetClassObject(nullptr, &object), 0);
    EXPECT_EQ(Library->GetClassObject(u"qvtest", nullptr), 0);

    ASSERT_EQ(Library->GetClassObject(u"qvtest", &object), 1);
    ASSERT_NE(object, sentinel);
    ASSERT_NE(object, nullptr);
    TV8ComponentBase* kept = object;
    EXPECT_EQ(Library->DestroyObject(&object), 0);
    EXPECT_EQ(object, kept);  // the caller's pointer is not cleared

    TV8ComponentBase* none = nullptr;
    EXPECT_EQ(Library->DestroyObject(&none), 0);
    EXPECT_EQ(Library->DestroyObject(nullptr), 0);
}

TEST_F(HostPathsTest, TwoObjectsAreIndependentAndDestroyDestroysTheDriver) {
    auto first = NewObject();
    auto second = NewObject();
    EXPECT_NE(first->Interface(), second->Interface());
    EXPECT_EQ(Call(*first, u"SetValue", {IntValue(5)}), "b:true");
    EXPECT_EQ(Call(*second, u"SetValue", {IntValue(9)}), "b:true");
    EXPECT_EQ(Call(*first, u"GetValue"), "i:5");
    EXPECT_EQ(Call(*second, u"GetValue"), "i:9");
    EXPECT_EQ(Call(*first, u"Instances"), "i:2");
    second.reset();
    EXPECT_EQ(Call(*first, u"Instances"), "i:1");
}

TEST_F(HostPathsTest, RegistryAnswersAndNumbersOutsideIt) {
    auto object = NewObject();
    TV8LanguageExtender& ext = object->Extender();
    EXPECT_EQ(object->InitDone().GetInfo(), 2000);
    EXPECT_EQ(object->ExtensionName(), u"qvtest");
    EXPECT_EQ(NewObject(u"qvtest2")->ExtensionName(), u"qvtest2ext");

    ASSERT_EQ(ext.GetNMethods(), 12);
    ASSERT_EQ(ext.GetNProps(), 5);
    long describe = ext.FindMethod(u"Describe");
    EXPECT_EQ(object->MethodName(describe, 0), u"Describe");
    EXPECT_EQ(object->MethodName(describe, 1), u"Описать");
    EXPECT_EQ(ext.GetNParams(describe), 1);
    EXPECT_TRUE(ext.HasRetVal(describe));
    EXPECT_FALSE(ext.HasRetVal(ext.FindMethod(u"Reset")));
    EXPECT_EQ(object->PropName(0, 0), u"Value");
    EXPECT_EQ(object->PropName(0, 1), u"Значение");
    EXPECT_TRUE(ext.IsPropWritable(ext.FindProp(u"Value")));
    EXPECT_TRUE(ext.IsPropReadable(ext.FindProp(u"ReadOnly")));
    EXPECT_FALSE(ext.IsPropWritable(ext.FindProp(u"ReadOnly")));

    bool null = false;
    for (long bad : {-1L, 12L, 1L << 40}) {
        object->MethodName(bad, 0, &null);
        EXPECT_TRUE(null);
        EXPECT_EQ(ext.GetNParams(bad), 0);
        EXPECT_FALSE(ext.HasRetVal(bad));
        THostValues value(Memory, 1);
        EXPECT_FALSE(ext.CallAsFunc(bad, value.Data(), nullptr, 0));
        EXPECT_FALSE(ext.CallAsProc(bad, nullptr, 0));
        EXPECT_FALSE(ext.GetParamDefValue(bad, 0, value.Data()));
    }
    for (long bad : {-1L, 5L}) {
        object->PropName(bad, 1, &null);
        EXPECT_TRUE(null);
        EXPECT_FALSE(ext.IsPropReadable(bad));
        EXPECT_FALSE(ext.IsPropWritable(bad));
        THostValues value(Memory, 1);
        EXPECT_FALSE(ext.GetPropVal(bad, value.Data()));
        EXPECT_FALSE(ext.SetPropVal(bad, value.Data()));
    }
    EXPECT_TRUE(Connection.Errors.empty());

    // Defaults: Echo registers 7 for its second parameter (number 1); nothing else has one.
    long echo = ext.FindMethod(u"Echo");
    THostValues value(Memory);
    value.Add(StringValue(Memory, "untouched"));
    EXPECT_FALSE(ext.GetParamDefValue(echo, 0, value.Data()));
    EXPECT_EQ(FormatTypedValue(value[0]), "s:untouched");
    EXPECT_FALSE(ext.GetParamDefValue(describe, 0, value.Data()));
    THostValues fresh(Memory, 1);
    EXPECT_TRUE(ext.GetParamDefValue(echo, 1, fresh.Data()));
    EXPECT_EQ(FormatTypedValue(fresh[0]), "i:7");
}

TEST_F(HostPathsTest, NameLookupByBothNamesIsCaseSensitive) {
    auto object = NewObject();
    TV8LanguageExtender& ext = object->Extender();
    long english = ext.FindMethod(u"SetValue");
    EXPECT_GE(english, 0);
    EXPECT_EQ(ext.FindMethod(u"УстановитьЗначение"), english);
    EXPECT_EQ(ext.FindMethod(u"setvalue"), -1);
    EXPECT_EQ(ext.FindMethod(u"SETVALUE"), -1);
    EXPECT_EQ(ext.FindMethod(u"установитьЗначение"), -1);
    EXPECT_EQ(ext.FindMethod(u"SetValue "), -1);
    EXPECT_EQ(ext.FindMethod(nullptr), -1);

    // Two properties share a localized name: the first in registry order wins.
    long usb = ext.FindProp(u"USBPort");
    long com = ext.FindProp(u"ComPort");
    EXPECT_NE(usb, com);
    EXPECT_EQ(ext.FindProp(u"Порт"), usb);
    EXPECT_EQ(ext.FindProp(u"порт"), -1);
    EXPECT_EQ(ext.FindProp(u"Значение"), ext.FindProp(u"Value"));
}

TEST_F(HostPathsTest, WithoutHostMemoryNamesAreNull) {
    TV8ComponentBase* raw = nullptr;
    ASSERT_EQ(Library->GetClassObject(u"qvtest", &raw), 1);
    WCHAR_T* name = reinterpret_cast<WCHAR_T*>(0x1);
    EXPECT_TRUE(raw->RegisterExtensionAs(&name));  // true even without a copy
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(raw->GetMethodName(0, 0), nullptr);
    Library->DestroyObject(&raw);

    auto object = NewObject();
    Memory.FailAllocations = true;
    bool null = false;
    object->PropName(0, 0, &null);
    EXPECT_TRUE(null);
    object->ExtensionName(&null);
    EXPECT_TRUE(null);
    THostValues params(Memory, 1);
    THostValues result(Memory);
    EXPECT_TRUE(object->Call(u"Describe", params, result));
    EXPECT_EQ(result[0].vt, VTYPE_PWSTR);
    EXPECT_EQ(result[0].VarEnum.vtRecWideString.pwstrVal, nullptr);
    Memory.FailAllocations = false;
}

TEST_F(HostPathsTest, HostMemoryBalancesOverThousandsOfCalls) {
    {
        auto object = NewObject();
        TV8LanguageExtender& ext = object->Extender();
        for (int i = 0; i < 3000; ++i) {
            long number = i % ext.GetNMethods();
            object->MethodName(number, i % 2);
            object->PropName(i % ext.GetNProps(), 1);
            object->ExtensionName();
            // The component frees the host's text in the parameter and hands back new texts.
            EXPECT_EQ(Call(*object, u"Describe", {StringValue(Memory, "старое " + std::to_string(i))}),
                      "s:готово");
            Call(*object, u"Sum3", {IntValue(i), IntValue(1), StringValue(Memory, "x")});
            THostValues port(Memory);
            object->GetProp(u"USBPort", port);
            THostValues proc(Memory);
            proc.Add(StringValue(Memory, "ignored"));
            ext.CallAsProc(ext.FindMethod(u"Describe"), proc.Data(), proc.Count());
        }
        EXPECT_EQ(Call(*object, u"Sum3", {IntValue(2), IntValue(3)}), "i:5");  // padded call
    }
    EXPECT_GT(Memory.Allocations(), 3000 * 8);
    EXPECT_EQ(Memory.BadFrees(), 0);
    EXPECT_EQ(Memory.LiveBlocks(), 0u);
    EXPECT_EQ(Memory.Allocations(), Memory.Frees());
}

TEST_F(HostPathsTest, CallTraceLinesInTheLog) {
    auto object = NewObject();
    ASSERT_EQ(Call(*object, u"SetLogMode", {IntValue(3)}), "b:true");
    Call(*object, u"SetValue", {IntValue(42)});
    Call(*object, u"Describe", {StringValue(Memory, "старое")});
    Call(*object, u"GetValue");
    Call(*object, u"Reset");
    Call(*object, u"Echo", {DoubleValue(3.5), BoolValue(false)});
    bool ok = true;
    Call(*object, u"Fail", {}, &ok);
    EXPECT_FALSE(ok);
    Call(*object, u"SetLogMode", {IntValue(0)});

    std::string log = LogText();
    const std::string stamp = "[0-9]{4}\\.[0-9]{2}\\.[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}\t";
    auto line = [&](const std::string& ARest) { return ::testing::ContainsRegex(stamp + ARest + "\r\n"); };
    EXPECT_THAT(log, line("DEBUG\t> SetValue: \tParams: \\[42\\]"));
    EXPECT_THAT(log, line("DEBUG\t< SetValue: \tResult=True; Params: \\[42\\]"));
    EXPECT_THAT(log, HasSubstr("\tDEBUG\t> Describe: \tParams: [старое]\r\n"));
    EXPECT_THAT(log, HasSubstr("\tDEBUG\t< Describe: \tResult=готово; Params: [значение 42]\r\n"));
    EXPECT_THAT(log, HasSubstr("\tDEBUG\t> GetValue: \tParams: []\r\n"));
    EXPECT_THAT(log, HasSubstr("\tDEBUG\t< GetValue: \tResult=42; Params: []\r\n"));
    EXPECT_THAT(log, HasSubstr("\tDEBUG\t< Reset: \t; Params: []\r\n"));
    EXPECT_THAT(log, HasSubstr("\tDEBUG\t> Echo: \tParams: [3.5; False]\r\n"));
    EXPECT_THAT(log, HasSubstr("\tERROR\tEXCEPTION: \tМетод не выполнен\r\n"));
    EXPECT_THAT(log, HasSubstr("============Stop log===============\r\n\r\n"));

    ASSERT_EQ(Connection.Errors.size(), 1u);
    EXPECT_EQ(Connection.Errors[0].Code, 1006);
    EXPECT_EQ(Connection.Errors[0].Source, Utf8ToWide(MessageText(TMessage::AddInErrorSource)));
    EXPECT_EQ(Connection.Errors[0].Description, u"Метод не выполнен");
    // E_FAIL as the platform headers define it (0x80004005L): 2147500037 on Linux x86_64.
    EXPECT_EQ(Connection.Errors[0].Scode, 0x80004005L);
}

TEST_F(HostPathsTest, UnsupportedDataTypeFailsTheCallBeforeTheMethodRuns) {
    auto object = NewObject();
    V8Variant flagged = IntValue(1);
    flagged.vt |= 0x2000;  // the trace looks at the whole field, flags included
    V8Variant narrow = EmptyValue();
    narrow.vt = VTYPE_PSTR;
    for (int mode : {0, 3}) {
        Call(*object, u"SetLogMode", {IntValue(mode)});
        for (const V8Variant& bad : {DateValue(45322.5), flagged, narrow}) {
            std::size_t errors = Connection.Errors.size();
            bool ok = true;
            Call(*object, u"Touch", {bad}, &ok);
            EXPECT_FALSE(ok);
            ASSERT_EQ(Connection.Errors.size(), errors + 1);
            EXPECT_EQ(Connection.Errors.back().Description, u"Unsupported data type");
            EXPECT_EQ(Connection.Errors.back().Code, 1006);
        }
    }
    Call(*object, u"SetLogMode", {IntValue(0)});
    EXPECT_EQ(Call(*object, u"Calls"), "i:0");
    EXPECT_EQ(Call(*object, u"Touch", {IntValue(1)}), "b:true");
    EXPECT_EQ(Call(*object, u"Calls"), "i:1");
    EXPECT_THAT(LogText(), HasSubstr("\tERROR\tEXCEPTION: \tUnsupported data type\r\n"));
}

TEST_F(HostPathsTest, PropertiesAndTheirErrors) {
    auto object = NewObject();
    THostValues value(Memory);
    value.Add(IntValue(12));
    EXPECT_TRUE(object->SetProp(u"Значение", value));
    THostValues read(Memory);
    EXPECT_TRUE(object->GetProp(u"Value", read));
    EXPECT_EQ(FormatTypedValue(read[0]), "i:12");
    THostValues port(Memory);
    EXPECT_TRUE(object->GetProp(u"Порт", port));
    EXPECT_EQ(FormatTypedValue(port[0]), "s:USBPort");  // the entry's English name is handed in

    THostValues broken(Memory);
    EXPECT_FALSE(object->GetProp(u"Broken", broken));
    EXPECT_FALSE(object->SetProp(u"Сломанное", broken));
    ASSERT_EQ(Connection.Errors.size(), 2u);
    EXPECT_EQ(Connection.Errors[0].Description, u"Свойство недоступно");
    EXPECT_EQ(Connection.Errors[0].Source, Utf8ToWide(MessageText(TMessage::AddInErrorSource)));
}

TEST_F(HostPathsTest, ShortParameterArraysAndProcedureCalls) {
    auto object = NewObject();
    TV8LanguageExtender& ext = object->Extender();
    long sum = ext.FindMethod(u"Sum3");
    // Fewer records than the method reads: it runs on a padded copy; the host's records stay valid.
    THostValues two(Memory);
    two.Add(IntValue(20));
    two.Add(IntValue(22));
    THostValues result(Memory, 1);
    EXPECT_TRUE(ext.CallAsFunc(sum, result.Data(), two.Data(), two.Count()));
    EXPECT_EQ(FormatTypedValue(result[0]), "i:42");
    EXPECT_EQ(FormatTypedValue(two[1]), "i:22");
    EXPECT_TRUE(ext.CallAsFunc(sum, result.Data(), nullptr, 0));
    EXPECT_EQ(FormatTypedValue(result[0]), "i:0");
    // A full array gets the out-parameter in place.
    THostValues three(Memory);
    three.Add(IntValue(1));
    three.Add(IntValue(2));
    three.Add(StringValue(Memory, "in"));
    EXPECT_TRUE(ext.CallAsFunc(sum, result.Data(), three.Data(), three.Count()));
    EXPECT_EQ(FormatTypedValue(three[2]), "s:сумма");

    // A function called as a procedure writes into a scratch value that is freed.
    THostValues param(Memory);
    param.Add(StringValue(Memory, "in"));
    EXPECT_TRUE(ext.CallAsProc(ext.FindMethod(u"Describe"), param.Data(), 1));
    EXPECT_EQ(FormatTypedValue(param[0]), "s:значение 0");
    // A procedure gets no return record, even through CallAsFunc.
    EXPECT_TRUE(ext.CallAsFunc(ext.FindMethod(u"Reset"), result.Data(), nullptr, 0));
    EXPECT_TRUE(ext.CallAsProc(ext.FindMethod(u"Сбросить"), nullptr, 0));
    EXPECT_TRUE(Connection.Errors.empty());
    result.Clear();
    two.Clear();
    three.Clear();
    param.Clear();
    EXPECT_EQ(Memory.BadFrees(), 0);
}

}  // namespace
