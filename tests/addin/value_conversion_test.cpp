// Value conversion of TV8UserObject against the host harness's memory manager, the call-trace
// rendering, dates, UTF-16 and the default-parameter list.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "addin/call_trace.h"
#include "addin/class_registry.h"
#include "addin/v8_date.h"
#include "addin/v8_user_object.h"
#include "addin/wide_string.h"
#include "tools/host/host_memory.h"
#include "tools/host/host_values.h"

using namespace quorvane;
using quorvane::host::THostMemoryManager;

namespace {

class ValueTest : public ::testing::Test {
protected:
    void SetUp() override { Object.V8MM = &Memory; }
    void TearDown() override {
        Object.V8ClearVar(V);
        EXPECT_EQ(Memory.LiveBlocks(), 0u);
        EXPECT_EQ(Memory.BadFrees(), 0);
    }

    V8Variant Wide(const char* AText) {
        V8Variant value{};
        Object.V8SetUtf8String(value, AText);
        return value;
    }

    THostMemoryManager Memory;
    TV8UserObject Object;
    V8Variant V{};
};

TEST_F(ValueTest, SettersWriteTypeAndValueAfterClearing) {
    Object.V8SetUtf8String(V, "старый текст");
    Object.V8SetInt(V, -7);  // frees the text it replaces
    EXPECT_EQ(Memory.Frees(), 1);
    EXPECT_EQ(V.vt, VTYPE_I4);
    EXPECT_EQ(V.VarEnum.lVal, -7);
    Object.V8SetDouble(V, 2.25);
    EXPECT_EQ(V.vt, VTYPE_R8);
    EXPECT_EQ(V.VarEnum.dblVal, 2.25);
    Object.V8SetDate(V, 45322.25);
    EXPECT_EQ(V.vt, VTYPE_DATE);
    EXPECT_EQ(V.VarEnum.date, 45322.25);
    Object.V8SetBool(V, true);
    EXPECT_EQ(V.vt, VTYPE_BOOL);
    EXPECT_TRUE(V.VarEnum.bVal);
    EXPECT_EQ(V.cbElements, 0u);
}

TEST_F(ValueTest, WideStringsLiveInHostMemory) {
    ASSERT_TRUE(Object.V8SetWString(V, u""));
    EXPECT_EQ(V.vt, VTYPE_PWSTR);
    EXPECT_EQ(V.VarEnum.vtRecWideString.wstrLen, 0u);
    ASSERT_NE(V.VarEnum.vtRecWideString.pwstrVal, nullptr);
    EXPECT_EQ(Memory.BlockSize(V.VarEnum.vtRecWideString.pwstrVal), 2u);
    EXPECT_EQ(V.VarEnum.vtRecWideString.pwstrVal[0], 0);

    ASSERT_TRUE(Object.V8SetWString(V, u"привет"));
    EXPECT_EQ(V.VarEnum.vtRecWideString.wstrLen, 6u);
    EXPECT_EQ(Memory.BlockSize(V.VarEnum.vtRecWideString.pwstrVal), 14u);
    EXPECT_EQ(std::u16string(V.VarEnum.vtRecWideString.pwstrVal), u"привет");
    EXPECT_EQ(Memory.LiveBlocks(), 1u);

    Memory.FailAllocations = true;
    EXPECT_FALSE(Object.V8SetWString(V, u"x"));
    EXPECT_EQ(V.vt, VTYPE_PWSTR);
    EXPECT_EQ(V.VarEnum.vtRecWideString.pwstrVal, nullptr);
    EXPECT_EQ(V8AllocWString(&Memory, u"x"), nullptr);
    Memory.FailAllocations = false;
    EXPECT_EQ(V8AllocWString(nullptr, u"x"), nullptr);

    TV8UserObject orphan;  // no memory manager yet
    V8Variant value{};
    EXPECT_FALSE(orphan.V8SetWString(value, u"x"));
    EXPECT_EQ(value.vt, VTYPE_PWSTR);
}

TEST_F(ValueTest, NarrowTextsAndBlobs) {
    V.vt = VTYPE_I4;
    V.VarEnum.lVal = 99;
    EXPECT_TRUE(Object.V8SetPChar(V, nullptr));
    EXPECT_EQ(V.vt, VTYPE_I4);  // untouched
    EXPECT_EQ(V.VarEnum.lVal, 99);
    EXPECT_TRUE(Object.V8SetBlob(V, nullptr, 5));
    EXPECT_EQ(V.vt, VTYPE_I4);

    ASSERT_TRUE(Object.V8SetPChar(V, "abc"));
    EXPECT_EQ(V.vt, VTYPE_PSTR);
    EXPECT_EQ(V.VarEnum.vtRecString.strLen, 3u);
    EXPECT_EQ(Memory.BlockSize(V.VarEnum.vtRecString.pstrVal), 4u);
    EXPECT_STREQ(V.VarEnum.vtRecString.pstrVal, "abc");

    const char bytes[] = {'\x01', '\0', '\xff', 'z'};
    ASSERT_TRUE(Object.V8SetBlob(V, bytes, sizeof bytes));
    EXPECT_EQ(V.vt, VTYPE_BLOB);
    EXPECT_EQ(V.VarEnum.vtRecString.strLen, 4u);
    EXPECT_EQ(std::memcmp(V.VarEnum.vtRecString.pstrVal, bytes, 4), 0);
    EXPECT_EQ(Memory.LiveBlocks(), 1u);

    Object.V8ClearVar(V);
    const V8Variant zero{};
    EXPECT_EQ(std::memcmp(&V, &zero, sizeof V), 0);
    EXPECT_EQ(Memory.LiveBlocks(), 0u);
}

TEST_F(ValueTest, IntegerAndBooleanReaders) {
    V8Variant v{};
    v.vt = VTYPE_I2;
    v.VarEnum.shortVal = -300;
    EXPECT_EQ(V8GetInt(v), -300);
    v.vt = VTYPE_R4;
    v.VarEnum.fltVal = -2.75f;
    EXPECT_EQ(V8GetInt(v), -2);
    v.vt = VTYPE_R8;
    v.VarEnum.dblVal = 3.99;
    EXPECT_EQ(V8GetInt(v), 3);
    v.VarEnum.dblVal = 1e20;  // saturates instead of overflowing
    EXPECT_EQ(V8GetInt(v), std::numeric_limits<std::int32_t>::max());
    v.VarEnum.dblVal = std::nan("");
    EXPECT_EQ(V8GetInt(v), 0);
    v.vt = VTYPE_DATE;
    v.VarEnum.date = 45322.9;
    EXPECT_EQ(V8GetInt(v), 45322);
    v.vt = VTYPE_ERROR;
    v.VarEnum.errCode = -5;
    EXPECT_EQ(V8GetInt(v), -5);
    v.vt = VTYPE_UI1;
    v.VarEnum.ui8Val = 200;
    EXPECT_EQ(V8GetInt(v), 200);
    v.vt = VTYPE_BOOL;
    v.VarEnum.bVal = true;
    EXPECT_EQ(V8ToInt(v), 0);  // a boolean is not among the integer sources
    EXPECT_TRUE(V8GetBool(v));
    v.vt = VTYPE_I4;
    v.VarEnum.lVal = 5;
    EXPECT_TRUE(V8GetBool(v));
    v.VarEnum.lVal = 0;
    EXPECT_FALSE(V8GetBool(v));

    V = Wide("12");
    EXPECT_EQ(V8GetInt(V), 12);
    Object.V8ClearVar(V);
    V = Wide(" -34 ");
    EXPECT_EQ(V8GetInt(V), -34);
    EXPECT_TRUE(V8GetBool(V));
    for (const char* bad : {"abc", "12abc", "", "-", "99999999999", "1.5"}) {
        Object.V8ClearVar(V);
        V = Wide(bad);
        EXPECT_EQ(V8GetInt(V), 0) << bad;
    }
}

TEST_F(ValueTest, DoubleReaderUsesTheNumericLocale) {
    V8Variant v{};
    v.vt = VTYPE_I4;
    v.VarEnum.lVal = -4;
    EXPECT_EQ(V8GetDouble(v), -4.0);
    v.vt = VTYPE_R4;
    v.VarEnum.fltVal = 1.5f;
    EXPECT_EQ(V8GetDouble(v), 1.5);
    v.vt = VTYPE_DATE;
    v.VarEnum.date = 2.5;
    EXPECT_EQ(V8GetDouble(v), 2.5);
    v.vt = VTYPE_UI1;
    v.VarEnum.ui8Val = 7;
    EXPECT_EQ(V8GetDouble(v), 7.0);
    v.vt = VTYPE_BOOL;
    EXPECT_EQ(V8GetDouble(v), 0.0);

    V = Wide("3.5");
    EXPECT_EQ(V8GetDouble(V), 3.5);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "ru_RU.UTF-8"), nullptr)
        << "scripts/install-deps generates ru_RU.UTF-8";
    EXPECT_EQ(V8GetDouble(V), 0.0);  // "." is not the separator there
    Object.V8ClearVar(V);
    V = Wide("-3,5");
    EXPECT_EQ(V8GetDouble(V), -3.5);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(V8GetDouble(V), 0.0);
    for (const char* bad : {"nan", "inf", "0x10", "1e999", "abc"}) {
        Object.V8ClearVar(V);
        V = Wide(bad);
        EXPECT_EQ(V8GetDouble(V), 0.0) << bad;
    }
}

TEST_F(ValueTest, DateReaderAndDayCount) {
    V8Variant v{};
    v.vt = VTYPE_TM;
    v.VarEnum.tmVal.tm_year = 124;
    v.VarEnum.tmVal.tm_mon = 0;
    v.VarEnum.tmVal.tm_mday = 31;
    v.VarEnum.tmVal.tm_hour = 10;
    v.VarEnum.tmVal.tm_min = 20;
    v.VarEnum.tmVal.tm_sec = 30;
    double date = V8GetDate(v);
    EXPECT_NEAR(date, 45322 + (10 * 3600 + 20 * 60 + 30) / 86400.0, 1e-9);
    TDateTimeParts parts = DecodeDateTime(date);
    EXPECT_EQ(parts.Year, 2024);
    EXPECT_EQ(parts.Month, 1);
    EXPECT_EQ(parts.Day, 31);
    EXPECT_EQ(parts.Hour, 10);
    EXPECT_EQ(parts.Minute, 20);
    EXPECT_EQ(parts.Second, 30);
    EXPECT_EQ(parts.Millisecond, 0);

    v.VarEnum.tmVal.tm_mon = 1;  // 31 February
    EXPECT_THROW(V8GetDate(v), std::invalid_argument);
    v.VarEnum.tmVal.tm_mon = 0;
    v.VarEnum.tmVal.tm_hour = 24;
    EXPECT_THROW(V8GetDate(v), std::invalid_argument);
    v.VarEnum.tmVal.tm_hour = 0;
    // Fields whose shift to calendar numbers overflows (undefined behaviour before).
    v.VarEnum.tmVal.tm_mon = std::numeric_limits<int>::max();
    EXPECT_THROW(V8GetDate(v), std::invalid_argument);
    v.VarEnum.tmVal.tm_mon = 0;
    v.VarEnum.tmVal.tm_year = std::numeric_limits<int>::max();
    EXPECT_THROW(V8GetDate(v), std::invalid_argument);

    v.vt = VTYPE_DATE;
    v.VarEnum.date = -1.25;
    EXPECT_EQ(V8GetDate(v), -1.25);
    parts = DecodeDateTime(-1.25);  // the fraction counts from midnight even before day 0
    EXPECT_EQ(parts.Day, 29);
    EXPECT_EQ(parts.Hour, 6);
    v.vt = VTYPE_R8;
    EXPECT_EQ(V8GetDate(v), -1.25);
    v.vt = VTYPE_I4;
    EXPECT_EQ(V8GetDate(v), 0.0);

    TDateTimeParts leap{2024, 2, 29, 23, 59, 59, 999};
    TDateTimeParts back = DecodeDateTime(EncodeDateTime(leap));
    EXPECT_EQ(
        std::tie(back.Year, back.Month, back.Day, back.Hour, back.Minute, back.Second, back.Millisecond),
        std::tie(leap.Year, leap.Month, leap.Day, leap.Hour, leap.Minute, leap.Second, leap.Millisecond));
    EXPECT_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
    EXPECT_EQ(EncodeDateTime({1900, 3, 1}), 61.0);
    EXPECT_THROW(EncodeDateTime({2023, 2, 29}), std::invalid_argument);

    // 29 February of the century years: only those divisible by 400 have it.
    v = V8Variant{};
    v.vt = VTYPE_TM;
    v.VarEnum.tmVal.tm_mon = 1;
    v.VarEnum.tmVal.tm_mday = 29;
    for (const auto& [year, leapYear] :
         std::vector<std::pair<int, bool>>{{1900, false}, {2100, false}, {2000, true}}) {
        v.VarEnum.tmVal.tm_year = year - 1900;
        if (leapYear)
            EXPECT_EQ(V8GetDate(v), EncodeDateTime({year, 3, 1}) - 1) << year;
        else
            EXPECT_THROW(V8GetDate(v), std::invalid_argument) << year;
    }
}

TEST_F(ValueTest, WideReaderAndStringTest) {
    V = Wide("текст");
    EXPECT_EQ(V8GetWString(V), u"текст");
    EXPECT_EQ(V8GetUtf8String(V), "текст");
    EXPECT_TRUE(V8IsString(V));
    V.VarEnum.vtRecWideString.wstrLen = 2;  // the length bounds the text, terminator or not
    EXPECT_EQ(V8GetWString(V), u"те");

    // Blocks without a terminator (the sanitizer build sees any read past them); within the
    // length the text still ends at its first NUL.
    std::vector<char16_t> wide{u'a', u'b', u'c'};
    V8Variant unterminated{};
    unterminated.vt = VTYPE_PWSTR;
    unterminated.VarEnum.vtRecWideString.pwstrVal = wide.data();
    unterminated.VarEnum.vtRecWideString.wstrLen = 3;
    EXPECT_EQ(V8GetWString(unterminated), u"abc");
    EXPECT_EQ(V8GetUtf8String(unterminated), "abc");
    wide[1] = 0;
    EXPECT_EQ(V8GetWString(unterminated), u"a");
    std::vector<char> bytes{'x', '\0', 'y', 'z'};
    unterminated.vt = VTYPE_PSTR;
    unterminated.VarEnum.vtRecString.pstrVal = bytes.data();
    unterminated.VarEnum.vtRecString.strLen = 4;
    EXPECT_EQ(V8GetWString(unterminated), u"x");
    EXPECT_EQ(V8GetUtf8String(unterminated), "x");
    bytes[1] = 'w';
    EXPECT_EQ(V8GetUtf8String(unterminated), "xwyz");

    V8Variant narrow{};
    ASSERT_TRUE(Object.V8SetString(narrow, "ещё"));
    EXPECT_TRUE(V8IsString(narrow));
    EXPECT_EQ(V8GetWString(narrow), u"ещё");  // 8-bit text is read as UTF-8
    Object.V8ClearVar(narrow);

    V8Variant blob{};
    ASSERT_TRUE(Object.V8SetBlob(blob, "ab", 2));
    EXPECT_FALSE(V8IsString(blob));
    EXPECT_EQ(V8GetWString(blob), u"");
    Object.V8ClearVar(blob);

    V8Variant number{};
    number.vt = VTYPE_I4;
    EXPECT_FALSE(V8IsString(number));
    EXPECT_EQ(V8GetWString(number), u"");
    V8Variant nullText{};
    nullText.vt = VTYPE_PWSTR;
    EXPECT_EQ(V8GetWString(nullText), u"");
}

TEST(CallTraceTest, RenderingByTheWholeTypeField) {
    THostMemoryManager memory;
    EXPECT_EQ(RenderValue(host::EmptyValue()), "");
    EXPECT_EQ(RenderValue(host::IntValue(-12)), "-12");
    EXPECT_EQ(RenderValue(host::DoubleValue(0.1)), "0.1");
    EXPECT_EQ(RenderValue(host::BoolValue(true)), "True");
    EXPECT_EQ(RenderValue(host::BoolValue(false)), "False");
    host::THostValues values(memory);
    values.Add(host::StringValue(memory, "строка"));
    EXPECT_EQ(RenderValue(values[0]), "строка");
    // A text beyond 64 KB (a document with pictures) is cut on a character boundary, its length told.
    const std::string big = "ж" + std::string(65533, 'a') + "ё" + std::string(5000, 'b');  // ё at 65535
    values.Add(host::StringValue(memory, big));
    const std::string cut = RenderValue(values[1]);
    EXPECT_EQ(cut.substr(0, 65535), big.substr(0, 65535));
    EXPECT_EQ(cut.substr(65535), "… [обрезано до 64 КБ, полная длина 70537 байт]");
    values.Clear();
    values.Add(host::StringValue(memory, "строка"));

    V8Variant tm{};
    tm.vt = VTYPE_TM;
    tm.VarEnum.tmVal.tm_year = 124;
    tm.VarEnum.tmVal.tm_mday = 31;
    tm.VarEnum.tmVal.tm_hour = 10;
    tm.VarEnum.tmVal.tm_min = 20;
    tm.VarEnum.tmVal.tm_sec = 30;
    ASSERT_NE(std::setlocale(LC_ALL, "ru_RU.UTF-8"), nullptr);
    EXPECT_EQ(RenderValue(tm), "31.01.2024 10:20:30");
    EXPECT_EQ(RenderValue(host::DoubleValue(3.5)), "3,5");
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(RenderValue(tm), "01/31/24 10:20:30");

    V8Variant blob{};
    blob.vt = VTYPE_BLOB;
    V8Variant iface{};
    iface.vt = VTYPE_INTERFACE;
    EXPECT_EQ(RenderValue(iface), "Interface");
    values.Add(host::IntValue(1));
    values.Add(blob);
    EXPECT_EQ(RenderParams(values.Records), "[строка; 1; BLOB]");
    EXPECT_EQ(RenderParams({}), "[]");

    V8Variant flagged = host::IntValue(1);
    flagged.vt |= 0x1000;
    for (const V8Variant& bad : {host::DateValue(1.0), flagged}) {
        EXPECT_THROW(
            {
                try {
                    RenderValue(bad);
                } catch (const std::runtime_error& e) {
                    EXPECT_STREQ(e.what(), "Unsupported data type");
                    throw;
                }
            },
            std::runtime_error);
        EXPECT_THROW(CheckRenderable(bad), std::runtime_error);
    }
    tm.VarEnum.tmVal.tm_mday = 0;
    EXPECT_THROW(RenderValue(tm), std::invalid_argument);
}

TEST(WideStringTest, Utf8AndUtf16RoundTripAndRepair) {
    const std::string text = "Печать \xF0\x9F\x98\x80 label";
    std::u16string wide = Utf8ToWide(text);
    EXPECT_EQ(wide, u"Печать \U0001F600 label");
    EXPECT_EQ(WideToUtf8(wide), text);
    EXPECT_EQ(Utf8ToWide("a\xFF"
                         "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"\uFFFD");  // overlong
    EXPECT_EQ(Utf8ToWide("\xE2\x82"), u"\uFFFD");  // cut short
    EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(WideView(nullptr), u"");
}

TEST(RegistryTest, RecordsAndDefaultParameters) {
    TClassRegList registry;
    TClassReg& first = registry.RegisterClass(nullptr, u"ext", u"one");
    registry.RegisterClass(nullptr, u"ext2", u"two");
    EXPECT_EQ(registry.ClassNames(), u"one|two");
    EXPECT_EQ(registry.ClassCount(), 2);
    EXPECT_EQ(registry.FindClass(u"one"), &first);
    EXPECT_EQ(registry.FindClass(u"One"), nullptr);

    TMethReg& method = first.AddFunc(u"F", u"Ф", nullptr, 3);
    TMethReg& proc = first.AddProc(u"P", u"П", nullptr, 0);
    EXPECT_TRUE(method.IsFunction);
    EXPECT_FALSE(proc.IsFunction);
    EXPECT_EQ(&first.MethList[0], &method);  // records keep their address as more are added
    EXPECT_EQ(first.MethCount(), 2);
    EXPECT_EQ(first.Method(2), nullptr);

    TDefParamList& defaults = method.DefParams;
    defaults.AddInt(5, 1);
    EXPECT_EQ(defaults.TempParam, &defaults.Values[0].Value);
    defaults.AddWString(u"текст", 3);
    defaults.AddBool(true, 2);
    EXPECT_EQ(defaults.ValueCount(), 3);
    EXPECT_EQ(defaults.Values[1].Num, 2);
    EXPECT_EQ(defaults.Values[1].Value.vt, VTYPE_PWSTR);
    EXPECT_EQ(defaults.Values[1].Value.VarEnum.vtRecWideString.wstrLen, 5u);
    EXPECT_EQ(defaults.Find(2), &defaults.Values[1].Value);
    EXPECT_EQ(defaults.Find(1)->vt, VTYPE_BOOL);
    EXPECT_EQ(defaults.Find(3), nullptr);
    defaults.AddAString("abc", 4);
    EXPECT_EQ(defaults.TempParam->VarEnum.vtRecString.strLen, 3u);
}

}  // namespace
