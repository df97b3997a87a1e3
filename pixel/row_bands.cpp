#include "pixel/row_bands.h"

namespace quillmark {

UINT BandThreads() {
    static const UINT threads = std::max(1u, std::thread::hardware_concurrency());
    return threads;
}

}  // namespace quillmark
