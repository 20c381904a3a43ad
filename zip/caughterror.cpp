#include "zip/caughterror.h"

#include <exception>
#include <new>

namespace zip::detail {

bool CatchErrors(void (*call)(void* step), void* step, CZipCaughtError* caught) {
    CZipCaughtError error;
    try {
        call(step);
        return true;
    } catch (const CZipException& e) {
        error.m_nCode = e.m_nCode != 0 ? e.m_nCode : CZipException::kGeneric;
    } catch (const platform::FileException& e) {
        error.m_nCode = CZipCaughtError::kFileError;
        error.m_file = e;
    } catch (const std::bad_alloc&) {
        error.m_nCode = CZipException::kZlibMemError;  // "Not enough memory"
    } catch (const std::exception&) {
        error.m_nCode = CZipException::kInternal;
    }
    if (caught != nullptr) *caught = error;
    return false;
}

}  // namespace zip::detail
