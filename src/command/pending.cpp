// Operations whose bodies arrive with command generation.  Until then no
// command can be framed: sendHAPS appends nothing and reports -128.
#include "command/command.h"

#include "kzrqo317/result.h"

int16_t makeHAPS(uint8_t, OutputContext*, HapsFrame*) { return 0; }
int16_t sendHAPS(OutputContext*, HapsFrame*) { return KZ_UNSUPPORTED; }
void setCommand_Smear(OutputContext*) {}
int16_t setCommand_noEdgeCnt(OutputContext*) { return KZ_UNSUPPORTED; }
