// Whether this build has the x86 kernels, in 128-bit (SSE2) and 256-bit
// (AVX2) steps: builds for x86, where SSE2 is the baseline. Elsewhere every
// kernel is the scalar one. The x86 kernels' headers are included only
// where this is set.
#pragma once

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define QUILLMARK_X86_KERNELS 1
#endif
