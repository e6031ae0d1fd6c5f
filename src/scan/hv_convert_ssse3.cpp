// The line converters built with SSSE3 (this file only is compiled with
// -mssse3 on x86); hv_convert.cpp takes them where the processor has it.
#include "scan/hv_kernel.h"

kz::hv::Converter kz::hv::ssse3ConverterFor(int bitDepth, bool backward) {
#if defined(__SSSE3__)
    return converterFor(bitDepth, backward);
#else
    (void)bitDepth;
    (void)backward;
    return nullptr;
#endif
}
