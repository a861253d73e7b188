#include "CpuFeatures.h"

namespace quorel {

namespace {

bool detect()
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

}  // namespace

bool cpuHasAvxFma()
{
    static const bool supported = detect();
    return supported;
}

}  // namespace quorel
