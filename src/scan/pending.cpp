// Operations whose bodies arrive with scan building.  Until then no scan is
// built and the page's remaining scans are refused as unsupported (-128).
#include "scan/scan.h"

#include "kzrqo317/result.h"

void HVConvert_A2470(OutputContext*, ScanInfo*, HVBufferTable) {}
