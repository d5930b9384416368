#include "platform/cpu_features.h"

#if defined(_MSC_VER) && !defined(__clang__)
#include <immintrin.h>
#include <intrin.h>
#endif

namespace platform {

bool cpuHasAvx2() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    // libgcc's check reads CPUID and, for AVX, whether the OS enabled the wide state (XGETBV).
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    int info[4];
    __cpuid(info, 0);
    if (info[0] < 7) return false;
    __cpuid(info, 1);
    const bool osSavesWideState = (info[2] & (1 << 27)) != 0 && (info[2] & (1 << 28)) != 0 &&
                                  (_xgetbv(0) & 0x6) == 0x6;  // OSXSAVE, AVX; XMM and YMM state enabled
    if (!osSavesWideState) return false;
    __cpuidex(info, 7, 0);
    return (info[1] & (1 << 5)) != 0;
#else
    return false;
#endif
}

}  // namespace platform
