#include "imagecodec/numeric_locale.h"

#include <clocale>
#include <cstring>

namespace quillmark {

NumericLocaleGuard::NumericLocaleGuard() {
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    if (current != nullptr && std::strcmp(current, "C") == 0) return;
    if (current != nullptr) saved_ = current;
    std::setlocale(LC_NUMERIC, "C");
    switched_ = !saved_.empty();
}

NumericLocaleGuard::~NumericLocaleGuard() {
    if (switched_) std::setlocale(LC_NUMERIC, saved_.c_str());
}

}  // namespace quillmark
