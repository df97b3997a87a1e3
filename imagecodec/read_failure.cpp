#include "imagecodec/read_failure.h"

namespace quillmark {
namespace {

thread_local std::string t_reason;

}  // namespace

HRESULT Refuse(std::string reason) {
    t_reason = std::move(reason);
    return E_FAIL;
}

std::string_view LastReadFailure() { return t_reason; }

void ClearReadFailure() { t_reason.clear(); }

void NameReadFailure(const char* formatName) {
    t_reason = t_reason.empty() ? std::string("it is a damaged or unsupported ") + formatName + " file"
                                : std::string("it is a ") + formatName + " file, but " + t_reason;
}

}  // namespace quillmark
