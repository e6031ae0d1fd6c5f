// The line converters built with AVX2 (this file only is compiled with
// -mavx2 on x86); hv_convert.cpp takes them where the processor has it.
#include "scan/hv_kernel.h"

kz::hv::Converter kz::hv::avx2ConverterFor(int bitDepth, bool backward) {
#if defined(__AVX2__)
    return converterFor(bitDepth, backward);
#else
    (void)bitDepth;
    (void)backward;
    return nullptr;
#endif
}
