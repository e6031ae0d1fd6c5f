// Operations whose bodies arrive with the print parameters.  Until then no
// print mode can be selected: every page is refused as unsupported (-128).
#include "param/param.h"

#include "kzrqo317/result.h"

int16_t setPrintInfo(OutputContext*, const PrintInfo*) { return 0; }
int16_t setPrintInfoPart(OutputContext*, const PrintInfo*) { return KZ_UNSUPPORTED; }
int16_t SetTable(OutputContext*) { return 0; }
void SetNoEdgeDotCntInfo(OutputContext*) {}
void SetOffsetSize(OutputContext*) {}
int16_t FormatBlock(OutputContext*) { return KZ_UNSUPPORTED; }
uint8_t getLoadPaperMode(int16_t, int16_t) { return 2; }
int16_t getOffsetColorCR(const OutputContext*, int16_t, int16_t, int16_t) { return 0; }
