// The declaration mechanism on a small class line of its own: registration order, what is
// registered, property matching and its failures.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "addin/custom_driver.h"
#include "addin/wide_string.h"
#include "errors/messages.h"

namespace quorvane {
namespace {

class TBaseSample : public TCustomDriver {
public:
    static const TClassDecl& ClassDecl() {
        using T = TBaseSample;
        static const TClassDecl decl = TClassDeclBuilder<T>(&TCustomDriver::ClassDecl())
                                           .Method("Ping", &T::Ping, {"Пинг", 2})
                                           .Action("Wave", &T::Wave, {"Помахать"})
                                           .Property("Level", &T::Level, {"Уровень", "Уровень", "1"})
                                           .Build();
        return decl;
    }
    const TClassDecl& GetClassDecl() const override { return ClassDecl(); }

    bool Ping(V8Variant* ARetValue, V8Variant*, long, TV8AddInDefBaseEx*) {
        return Guarded(ARetValue, [] { throw std::runtime_error("no answer"); });
    }
    void Wave() { ++Waves; }

    std::int32_t Level = 0;
    int Waves = 0;
};

class TSample : public TBaseSample {
public:
    static const TClassDecl& ClassDecl() {
        using T = TSample;
        static const TClassDecl decl = TClassDeclBuilder<T>(&TBaseSample::ClassDecl())
                                           .Method("Pong", &T::Pong, {"Понг", 0})
                                           .Property("Title", &T::Title, {"Уровень", "Заголовок", ""})
                                           .Property("Serial", &T::Serial, {"Номер", "Номер", "", true})
                                           .Build();
        return decl;
    }
    const TClassDecl& GetClassDecl() const override { return ClassDecl(); }

    bool Pong(V8Variant* ARetValue, V8Variant*, long, TV8AddInDefBaseEx*) {
        return Guarded(ARetValue, [] {});
    }

    std::string Title;
    std::int32_t Serial = 7;
};

V8Variant Text(std::u16string& AStorage) {
    V8Variant v{};
    v.vt = VTYPE_PWSTR;
    v.VarEnum.vtRecWideString.pwstrVal = AStorage.data();
    v.VarEnum.vtRecWideString.wstrLen = static_cast<std::uint32_t>(AStorage.size());
    return v;
}

V8Variant Int(std::int32_t AValue) {
    V8Variant v{};
    v.vt = VTYPE_I4;
    v.VarEnum.lVal = AValue;
    return v;
}

TEST(ExportDeclarations, RegistersMostDerivedClassFirst) {
    TClassReg& reg = TCustomDriver::RegisterClass<TSample>("sample");
    EXPECT_EQ(reg.NatApiClassName, u"sample");
    EXPECT_EQ(reg.RegisterExtensionAs, u"sample");
    // The action carries no export mark, so only the two exported methods are registered.
    ASSERT_EQ(reg.MethCount(), 2);
    EXPECT_EQ(reg.MethList[0].MethName, u"Pong");
    EXPECT_EQ(reg.MethList[1].MethName, u"Ping");
    EXPECT_EQ(reg.MethList[1].MethNameLoc, u"Пинг");
    EXPECT_EQ(reg.MethList[1].ParamCount, 2);
    EXPECT_TRUE(reg.MethList[1].IsFunction);
    ASSERT_EQ(reg.PropCount(), 3);
    EXPECT_EQ(reg.PropList[0].PropName, u"Title");
    EXPECT_EQ(reg.PropList[1].PropName, u"Serial");
    EXPECT_FALSE(reg.PropList[1].IsWritable);
    EXPECT_EQ(reg.PropList[2].PropName, u"Level");
    EXPECT_TRUE(reg.PropList[2].IsWritable);

    // The registered entries reach the object's own members.
    std::unique_ptr<TV8UserObject> object = reg.UserClass();
    V8Variant ret{};
    EXPECT_TRUE(reg.MethList[1].Execute(*object, &ret, nullptr, 0, nullptr));
    EXPECT_EQ(ret.vt, VTYPE_BOOL);
    EXPECT_FALSE(ret.VarEnum.bVal);
    auto& sample = static_cast<TSample&>(*object);
    EXPECT_EQ(sample.LastResult().ErrorDescription, "no answer");
    EXPECT_EQ(sample.LastResult().GetIntResult(), 1001);
    EXPECT_TRUE(reg.MethList[0].Execute(*object, &ret, nullptr, 0, nullptr));
    EXPECT_TRUE(ret.VarEnum.bVal);
    EXPECT_EQ(sample.LastResult().GetIntResult(), 0);

    V8Variant value = Int(42);
    EXPECT_TRUE(reg.PropList[2].PropGetSet(*object, u"Level", value, false, nullptr));
    EXPECT_EQ(sample.Level, 42);
}

TEST(ExportDeclarations, PropertySetWalksEveryMatchAndStopsAtAFailure) {
    TSample sample;
    std::u16string text = u"Отчёт";
    V8Variant value = Text(text);
    // "уровень" names Title (text, first in order) and Level (integer): both take the value.
    EXPECT_TRUE(sample.PropertySet("уровень", value));
    EXPECT_EQ(sample.Title, "Отчёт");
    EXPECT_EQ(sample.Level, 0);

    V8Variant number = Int(5);
    try {
        sample.PropertySet("УРОВЕНЬ", number);
        FAIL() << "a number must not reach a text property";
    } catch (const TMessageError& e) {
        EXPECT_EQ(e.Id(), TMessage::ValueTypeUnacceptable);
    }
    EXPECT_EQ(sample.Level, 0);  // the walk stopped at Title, before Level

    try {
        sample.PropertySet("номер", number);
        FAIL() << "Serial is read-only";
    } catch (const TMessageError& e) {
        EXPECT_EQ(e.Id(), TMessage::PropertyReadOnly);
        EXPECT_STREQ(e.what(), Message(TMessage::PropertyReadOnly, "номер").c_str());
    }
    EXPECT_EQ(sample.Serial, 7);

    try {
        sample.PropertySet("Уровни", number);
        FAIL() << "no such property";
    } catch (const TMessageError& e) {
        EXPECT_EQ(e.Id(), TMessage::PropertyNotFound);
        EXPECT_STREQ(e.what(), Message(TMessage::PropertyNotFound, "Уровни").c_str());
    }
}

TEST(ExportDeclarations, ActionsAreFoundAlongTheClassLine) {
    TSample sample;
    int actions = 0;
    ForEachMethod(sample.GetClassDecl(), [&](const TMethDecl& m) {
        if (!m.Action) return;
        ++actions;
        EXPECT_EQ(m.Name, "Wave");
        m.Action(sample);
    });
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(sample.Waves, 1);
}

}  // namespace
}  // namespace quorvane
