// Running out of memory inside an entry point of the device: the work's
// allocations are released as the exception unwinds, and the caller gets
// E_OUTOFMEMORY instead of an exception crossing the interface.
#pragma once

#include <new>
#include <stdexcept>

#include "platform/d3d9/d3d9.h"

namespace quillmark::core {

template <class Work>
HRESULT OutOfMemoryAsResult(Work&& work) noexcept {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {  // a vector asked for more than it can ever hold
        return E_OUTOFMEMORY;
    }
}

}  // namespace quillmark::core
