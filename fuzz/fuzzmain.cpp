// libFuzzer's entry for one target, chosen when the fuzzer is built.
#include "fuzztargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const FuzzTargets::Target *target =
        FuzzTargets::find(QStringLiteral(INKWERK_FUZZ_TARGET));
    if (!target || !target->run(data, size))
        __builtin_trap();
    return 0;
}
