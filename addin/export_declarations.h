#pragma once

// Declarations that mark the members of a driver class the host may use. Each driver class
// keeps one static TClassDecl, built next to its members, that lists its exported methods and
// properties in declaration order and points at its base class's table; the registry, property
// access, the additional actions and the generated settings description are all driven by it.

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "addin/v8napi.h"

namespace quorvane {

class TCustomDriver;

// A method exported to the host.
struct ExportMethAttribute {
    std::string NameLoc;
    std::int32_t ParamCount = 0;
};

// A property exported to the host. Caption and DefValue only feed the generated settings
// description; DefValue is never applied as the initial value.
struct ExportPropAttribute {
    std::string NameLoc;
    std::string Caption;
    std::string DefValue;
    bool ReadOnly = false;
};

// A parameterless method offered to the host as an additional action.
struct AdditionalActionAttribute {
    std::string Caption;
};

using TMethAttribute = std::variant<ExportMethAttribute, AdditionalActionAttribute>;

// Value kinds of an exported property.
enum class TPropKind { pkInteger, pkDouble, pkString, pkBoolean };

using TPropValue = std::variant<std::int32_t, double, std::string, bool>;

// The exported method shape: (return value, parameters, parameter count, host connection).
using TExportedMethod = std::function<bool(TCustomDriver&, V8Variant*, V8Variant*, long, TV8AddInDefBaseEx*)>;
using TActionMethod = std::function<void(TCustomDriver&)>;

struct TMethDecl {
    std::string Name;  // the English name is the method's own name
    std::vector<TMethAttribute> Attributes;
    TExportedMethod Exported;  // set for methods of the exported shape
    TActionMethod Action;      // set for parameterless methods
};

struct TPropDecl {
    std::string Name;
    TPropKind Kind;
    std::vector<ExportPropAttribute> Attributes;
    std::function<TPropValue(const TCustomDriver&)> Get;
    std::function<void(TCustomDriver&, const TPropValue&)> Set;
};

struct TClassDecl {
    const TClassDecl* Parent = nullptr;
    std::vector<TMethDecl> Methods;
    std::vector<TPropDecl> Props;
};

// Visits the declarations of `decl` and its ancestors: most-derived class first, each class's
// members in declaration order.
template <class F>
void ForEachMethod(const TClassDecl& decl, F&& visit) {
    for (const TClassDecl* c = &decl; c != nullptr; c = c->Parent)
        for (const TMethDecl& m : c->Methods) visit(m);
}

template <class F>
void ForEachProp(const TClassDecl& decl, F&& visit) {
    for (const TClassDecl* c = &decl; c != nullptr; c = c->Parent)
        for (const TPropDecl& p : c->Props) visit(p);
}

namespace detail {

template <class T>
constexpr TPropKind KindOf() {
    if constexpr (std::is_same_v<T, std::int32_t>)
        return TPropKind::pkInteger;
    else if constexpr (std::is_same_v<T, double>)
        return TPropKind::pkDouble;
    else if constexpr (std::is_same_v<T, std::string>)
        return TPropKind::pkString;
    else {
        static_assert(std::is_same_v<T, bool>, "exported properties are int32, double, string or bool");
        return TPropKind::pkBoolean;
    }
}

}  // namespace detail

// Builds the table of class `C` whose base class table is `parent`.
template <class C>
class TClassDeclBuilder {
public:
    using TExported = bool (C::*)(V8Variant*, V8Variant*, long, TV8AddInDefBaseEx*);
    using TAction = void (C::*)();

    explicit TClassDeclBuilder(const TClassDecl* parent) { FDecl.Parent = parent; }

    TClassDeclBuilder& Method(std::string name, TExported method, ExportMethAttribute attr) {
        FDecl.Methods.push_back(TMethDecl{std::move(name),
                                          {std::move(attr)},
                                          [method](TCustomDriver& self, V8Variant* ret, V8Variant* params,
                                                   long count, TV8AddInDefBaseEx* connection) {
                                              return (static_cast<C&>(self).*method)(ret, params, count,
                                                                                     connection);
                                          },
                                          {}});
        return *this;
    }

    TClassDeclBuilder& Action(std::string name, TAction method, AdditionalActionAttribute attr) {
        FDecl.Methods.push_back(
            TMethDecl{std::move(name), {std::move(attr)}, {}, [method](TCustomDriver& self) {
                          (static_cast<C&>(self).*method)();
                      }});
        return *this;
    }

    // A property that is a plain field.
    template <class T>
    TClassDeclBuilder& Property(std::string name, T C::*field, ExportPropAttribute attr) {
        FDecl.Props.push_back(TPropDecl{
            std::move(name),
            detail::KindOf<T>(),
            {std::move(attr)},
            [field](const TCustomDriver& self) { return TPropValue(static_cast<const C&>(self).*field); },
            [field](TCustomDriver& self, const TPropValue& v) {
                static_cast<C&>(self).*field = std::get<T>(v);
            }});
        return *this;
    }

    // A property read and written through accessor routines.
    template <class T>
    TClassDeclBuilder& Property(std::string name, T (C::*getter)() const, void (C::*setter)(T),
                                ExportPropAttribute attr) {
        FDecl.Props.push_back(TPropDecl{std::move(name),
                                        detail::KindOf<T>(),
                                        {std::move(attr)},
                                        [getter](const TCustomDriver& self) {
                                            return TPropValue((static_cast<const C&>(self).*getter)());
                                        },
                                        [setter](TCustomDriver& self, const TPropValue& v) {
                                            (static_cast<C&>(self).*setter)(std::get<T>(v));
                                        }});
        return *this;
    }

    // A property of kind `kind` read by get(const C&) and written by set(C&, const TPropValue&),
    // which receives a value of that kind.
    template <class Get, class Set>
    TClassDeclBuilder& Property(std::string name, TPropKind kind, Get get, Set set,
                                ExportPropAttribute attr) {
        FDecl.Props.push_back(TPropDecl{
            std::move(name),
            kind,
            {std::move(attr)},
            [get](const TCustomDriver& self) -> TPropValue { return get(static_cast<const C&>(self)); },
            [set](TCustomDriver& self, const TPropValue& v) { set(static_cast<C&>(self), v); }});
        return *this;
    }

    TClassDecl Build() { return std::move(FDecl); }

private:
    TClassDecl FDecl;
};

}  // namespace quorvane
