#include "CpuFeatures.h"

namespace quorel {

namespace {

bool detect(bool avx2)
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") && __builtin_cpu_supports("fma") && (!avx2 || __builtin_cpu_supports("avx2"));
#else
    (void)avx2;
    return false;
#endif
}

}  // namespace

bool cpuHasAvxFma()
{
    static const bool supported = detect(false);
    return supported;
}

bool cpuHasAvx2Fma()
{
    static const bool supported = detect(true);
    return supported;
}

bool kernelFormAvailable(KernelForm form) { return form == KernelForm::portable || cpuHasAvx2Fma(); }

}  // namespace quorel
