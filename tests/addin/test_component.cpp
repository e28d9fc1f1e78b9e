// A small component built like libquorvane.so from the add-in and log libraries, so that the
// host paths can be tested through dlopen without the driver.

#include <atomic>
#include <memory>
#include <stdexcept>

#include "addin/class_registry.h"
#include "addin/v8_user_object.h"
#include "log/driver_log.h"

namespace quorvane {
namespace {

std::atomic<int> GInstances{0};

class TTestObject : public TV8UserObject {
public:
    TTestObject() { ++GInstances; }
    ~TTestObject() override { --GInstances; }

    std::int32_t Value = 0;
    int Calls = 0;
};

TTestObject& Self(TV8UserObject& AObject) { return static_cast<TTestObject&>(AObject); }

void RegisterTestClass() {
    TClassReg& test =
        ClassRegistry().RegisterClass([] { return std::make_unique<TTestObject>(); }, u"qvtest", u"qvtest");
    test.AddFunc(
        u"SetValue", u"УстановитьЗначение",
        [](TV8UserObject& o, V8Variant* r, V8Variant* p, long, TV8AddInDefBaseEx*) {
            Self(o).Value = V8GetInt(p[0]);
            o.V8SetBool(*r, true);
            return true;
        },
        1);
    test.AddFunc(
        u"GetValue", u"ПолучитьЗначение",
        [](TV8UserObject& o, V8Variant* r, V8Variant*, long, TV8AddInDefBaseEx*) {
            o.V8SetInt(*r, Self(o).Value);
            return true;
        },
        0);
    // Writes its out-parameter in place and returns a text: both go to the host's memory.
    test.AddFunc(
        u"Describe", u"Описать",
        [](TV8UserObject& o, V8Variant* r, V8Variant* p, long, TV8AddInDefBaseEx*) {
            o.V8SetUtf8String(p[0], "значение " + std::to_string(Self(o).Value));
            o.V8SetUtf8String(*r, "готово");
            return true;
        },
        1);
    test.AddFunc(
        u"Touch", u"Тронуть",
        [](TV8UserObject& o, V8Variant* r, V8Variant*, long, TV8AddInDefBaseEx*) {
            ++Self(o).Calls;
            o.V8SetBool(*r, true);
            return true;
        },
        1);
    test.AddFunc(
        u"Calls", u"Вызовы",
        [](TV8UserObject& o, V8Variant* r, V8Variant*, long, TV8AddInDefBaseEx*) {
            o.V8SetInt(*r, Self(o).Calls);
            return true;
        },
        0);
    test.AddFunc(
        u"Instances", u"Экземпляры",
        [](TV8UserObject& o, V8Variant* r, V8Variant*, long, TV8AddInDefBaseEx*) {
            o.V8SetInt(*r, GInstances.load());
            return true;
        },
        0);
    test.AddFunc(
        u"Fail", u"Сбой",
        [](TV8UserObject&, V8Variant*, V8Variant*, long, TV8AddInDefBaseEx*) -> bool {
            throw std::runtime_error("Метод не выполнен");
        },
        0);
    // Reads three parameters, writes the third: a host passing fewer must not be read past.
    test.AddFunc(
        u"Sum3", u"Сумма3",
        [](TV8UserObject& o, V8Variant* r, V8Variant* p, long, TV8AddInDefBaseEx*) {
            o.V8SetInt(*r, V8GetInt(p[0]) + V8GetInt(p[1]));
            o.V8SetUtf8String(p[2], "сумма");
            return true;
        },
        3);
    test.AddFunc(
        u"SetLogMode", u"РежимЛога",
        [](TV8UserObject& o, V8Variant* r, V8Variant* p, long, TV8AddInDefBaseEx*) {
            SetLogMode(V8GetInt(p[0]));
            o.V8SetBool(*r, true);
            return true;
        },
        1);
    test.AddFunc(
        u"SetParameter", u"УстановитьПараметр",
        [](TV8UserObject& o, V8Variant* r, V8Variant* p, long, TV8AddInDefBaseEx*) {
            bool known = V8GetUtf8String(p[0]) == "Value";
            if (known) Self(o).Value = V8GetInt(p[1]);
            o.V8SetBool(*r, known);
            return true;
        },
        2);
    test.AddProc(
        u"Reset", u"Сбросить",
        [](TV8UserObject& o, V8Variant* r, V8Variant*, long, TV8AddInDefBaseEx*) {
            if (r != nullptr) throw std::logic_error("a procedure got a return value");
            Self(o).Value = 0;
            return true;
        },
        0);
    TMethReg& echo = test.AddFunc(
        u"Echo", u"Повторить",
        [](TV8UserObject& o, V8Variant* r, V8Variant* p, long, TV8AddInDefBaseEx*) {
            o.V8SetInt(*r, V8GetInt(p[0]));
            return true;
        },
        2);
    echo.DefParams.AddInt(7, 2);

    auto valueProp = [](TV8UserObject& o, const std::u16string&, V8Variant& v, bool get, TV8AddInDefBaseEx*) {
        if (get) {
            o.V8SetInt(v, Self(o).Value);
        } else {
            Self(o).Value = V8GetInt(v);
        }
        return true;
    };
    auto nameProp = [](TV8UserObject& o, const std::u16string& name, V8Variant& v, bool get,
                       TV8AddInDefBaseEx*) {
        if (get) o.V8SetWString(v, name);
        return true;
    };
    test.AddProp(u"Value", u"Значение", true, true, valueProp);
    test.AddProp(u"USBPort", u"Порт", true, true, nameProp);
    test.AddProp(u"ComPort", u"Порт", true, true, nameProp);
    test.AddProp(u"ReadOnly", u"ТолькоЧтение", true, false, nameProp);
    test.AddProp(u"Broken", u"Сломанное", true, true,
                 [](TV8UserObject&, const std::u16string&, V8Variant&, bool, TV8AddInDefBaseEx*) -> bool {
                     throw std::runtime_error("Свойство недоступно");
                 });

    ClassRegistry().RegisterClass([] { return std::make_unique<TTestObject>(); }, u"qvtest2ext", u"qvtest2");
    ClassRegistry().RegisterClass(
        []() -> std::unique_ptr<TV8UserObject> { throw std::runtime_error("no object"); }, u"qvbroken",
        u"qvbroken");
    SetLogBaseName("quorvane");
}

const bool GRegistered = (RegisterTestClass(), true);

}  // namespace
}  // namespace quorvane
