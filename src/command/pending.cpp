// Page-end reports whose bodies arrive with the scan commands.  Until then
// no report is written.
#include "command/command.h"

#include "kzrqo317/result.h"

void setCommand_Smear(OutputContext*) {}
int16_t setCommand_noEdgeCnt(OutputContext*) { return KZ_UNSUPPORTED; }
