// The exported dot indexers and counters: wrappers of the kernels that the HV
// converters use inline.
#include "scan/dot_index.h"

int16_t makeOutData_1bit_Index(uint8_t* out, uint8_t source, int16_t passCount, int16_t passIndex,
                               const uint8_t* maskRow) {
    return kz::indexOneBit(out, source, passCount, passIndex, maskRow);
}

int16_t makeOutData_2bit_Index(uint8_t* out, uint8_t source, int16_t, int16_t, const uint8_t* maskRow,
                               uint16_t nibble, const ScanInfo* scan) {
    return kz::indexLevels<2>(out, source, maskRow, nibble == 0 ? 0x80u : 0x08u, scan);
}

int16_t makeOutData_4bit_Index(uint8_t* out, uint8_t source, int16_t, int16_t, const uint8_t* maskRow,
                               int16_t position, const ScanInfo* scan) {
    if (position < 0 || position > 3) return 0;
    return kz::indexLevels<4>(out, source, maskRow, 0x80u >> (2 * position), scan);
}

void dotCountSet(int16_t dots, uint16_t* powerCell, uint32_t* smearCell, uint32_t* unevenCell, int16_t slot,
                 uint8_t flags) {
    kz::countDots(dots, powerCell, smearCell, unevenCell, slot, flags);
}

void dotCountSet2(int16_t dots, int16_t x, int32_t y, const int16_t* noEdgeArea, double* noEdgeAmount,
                  int16_t slot) {
    kz::countNoEdgeDots(dots, x, y, noEdgeArea, noEdgeAmount, slot);
}
