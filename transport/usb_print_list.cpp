#include "transport/usb_print_list.h"

#include "errors/messages.h"

namespace quorvane {

void TUSBPrintList::Clear() { FDevList.clear(); }

const std::unique_ptr<TUSBPrintInfoRec>& TUSBPrintList::At(int AIndex) const {
    if (AIndex < 0 || AIndex >= Count()) throw TMessageError(TMessage::WrongDeviceIndex);
    return FDevList[static_cast<size_t>(AIndex)];
}

TUSBPrintInfoRec TUSBPrintList::Items(int AIndex) const { return *At(AIndex); }

TUSBPrintInfoRec& TUSBPrintList::Objects(int AIndex) { return *At(AIndex); }

}  // namespace quorvane
