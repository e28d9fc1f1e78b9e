// The three functions the host resolves in the library.

#include <memory>

#include "addin/class_registry.h"
#include "addin/component_adapter.h"
#include "addin/v8napi.h"
#include "addin/wide_string.h"

using namespace quorvane;

extern "C" QUORVANE_EXPORT const WCHAR_T* GetClassNames() {
    try {
        return ToHostText(ClassRegistry().ClassNames().c_str());
    } catch (...) {
        return ToHostText(u"");
    }
}

extern "C" QUORVANE_EXPORT long GetClassObject(const WCHAR_T* wsName, TV8ComponentBase** pIntf) {
    if (wsName == nullptr || pIntf == nullptr) return 0;
    try {
        TClassReg* entry = ClassRegistry().FindClass(WideView(wsName));
        if (entry == nullptr || !entry->UserClass) return 0;
        std::unique_ptr<TV8UserObject> object = entry->UserClass();
        if (!object) return 0;
        object->ClassReg = entry;
        auto adapter = std::make_unique<TComponentAdapter>(std::move(object));
        *pIntf = adapter.release();
        return 1;
    } catch (...) {
        // A failing constructor or no memory: nothing is handed out.
        return 0;
    }
}

extern "C" QUORVANE_EXPORT long DestroyObject(TV8ComponentBase** pIntf) {
    if (pIntf == nullptr || *pIntf == nullptr) return 0;
    try {
        // Through the concrete type: on Windows the interfaces' destructor is not virtual.
        std::unique_ptr<TComponentAdapter> adapter(static_cast<TComponentAdapter*>(*pIntf));
    } catch (...) {
    }
    return 0;
}
