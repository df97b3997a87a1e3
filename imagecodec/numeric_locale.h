// Switches LC_NUMERIC to "C" for the lifetime of the guard when it is not
// "C" already, so that decimal numbers are read and written with a '.', and
// puts the previous locale back afterwards.
#pragma once

#include <string>

namespace quillmark {

class NumericLocaleGuard {
public:
    NumericLocaleGuard();
    ~NumericLocaleGuard();
    NumericLocaleGuard(const NumericLocaleGuard&) = delete;
    NumericLocaleGuard& operator=(const NumericLocaleGuard&) = delete;

private:
    std::string saved_;
    bool switched_ = false;
};

}  // namespace quillmark
