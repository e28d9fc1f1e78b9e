#include "tools/host/host_connection.h"

#include "addin/wide_string.h"

namespace quorvane::host {

bool THostConnection::AddError(unsigned short wcode, const WCHAR_T* source, const WCHAR_T* descr,
                               long scode) {
    Errors.push_back(
        THostError{wcode, std::u16string(WideView(source)), std::u16string(WideView(descr)), scode});
    return true;
}

}  // namespace quorvane::host
