/* The job calls of a print job.
 *
 * Cut-sheet paper:
 *   OutputOpen, OutputInitTwo, then per page OutputInitPart, pairs of
 *   (OutputProduceTwo, OutputComplete), OutputFlush, OutputComplete; OutputClose.
 * Banner (roll) paper:
 *   OutputOpen, OutputInitTwo, then per page OutputInitPart, pairs of
 *   (OutputProduceTwo, OutputComplete), OutputFormFeed, OutputComplete; at the
 *   end of the job OutputFlush, OutputComplete; OutputClose.
 *
 * A call out of order returns KZ_OUT_OF_ORDER and changes nothing.  The output
 * handed back through `dataInfo` is a DataInfo handle; lock it and its
 * DataList with KRVSLockHNDL and read the blocks before the next
 * OutputComplete.  Calls of one job must not overlap; separate jobs may run on
 * separate threads. */
#ifndef KZRQO317_JOB_H
#define KZRQO317_JOB_H

#include <stdint.h>

#include "export.h"
#include "records.h"
#include "result.h"

/* The largest page line a raster line may have: its LineNo times 2 in the
 * lowest qualities (where each line gives two page lines), times 1 otherwise.
 * A line numbered beyond it is refused with KZ_UNSUPPORTED. */
#define KZ_MAX_PAGE_LINE 0x1FFFFFFF

KZ_BEGIN_DECLS

/* Opens a job: KZ_OPEN_OK with *handle set, or KZ_OPEN_FAILED with *handle 0. */
KZ_VISIBLE int32_t OutputOpen(uint32_t* handle);
/* Not supported: always KZ_UNSUPPORTED. */
KZ_VISIBLE int32_t OutputInit(uint32_t* handle, ...);
/* Sets up the job from `info` for printer model `model` (KZ_PRINTER_MODEL). */
KZ_VISIBLE int32_t OutputInitTwo(uint32_t* handle, const PrintInfo* info, int16_t model);
/* Sets up one page. */
KZ_VISIBLE int32_t OutputInitPart(uint32_t* handle, const PrintInfo* info);
/* Not supported: always KZ_UNSUPPORTED. */
KZ_VISIBLE int32_t OutputProduce(uint32_t* handle, ...);
/* Takes one raster line; stores the DataInfo handle of the output in *dataInfo.
 * The DataList lists the blocks holding output, in order, up to an all-zero
 * entry.  KZ_NO_MEMORY when memory ran out:
 *  - with *dataInfo written: a scan could not be written and is left out; the
 *    rest is handed out.  Call OutputComplete as after any hand-out.
 *  - with *dataInfo not written: nothing is handed out and the call's event is
 *    not recorded (no OutputComplete), but every byte built is kept.  The same
 *    line given again hands it out without taking the line twice; so does the
 *    next producing call, ahead of its own output.  (A line that could not
 *    start its page is not taken at all and must be given again.) */
KZ_VISIBLE int32_t OutputProduceTwo(uint32_t* handle, const RasterInfo* line, uint32_t* dataInfo);
/* Ends the page (cut-sheet) or the job (banner) and hands back what remains.
 * KZ_NO_MEMORY as for OutputProduceTwo.  With *dataInfo not written, the
 * flush must be made again before any other call (others are refused with
 * KZ_OUT_OF_ORDER); it then hands out the whole page, closing "N" included. */
KZ_VISIBLE int32_t OutputFlush(uint32_t* handle, uint32_t* dataInfo);
/* Ends a banner page; does nothing on cut-sheet paper.  KZ_OK, or KZ_NO_MEMORY
 * when a scan of the page's end could not be made or written (the others are
 * handed out with the next producing call). */
KZ_VISIBLE int32_t OutputFormFeed(uint32_t* handle);
/* The caller is done with the output handed out last. */
KZ_VISIBLE int32_t OutputComplete(uint32_t* handle);
/* Releases everything the job holds and sets *handle to 0.  Allowed at any time. */
KZ_VISIBLE void OutputClose(uint32_t* handle);

KZ_END_DECLS

#endif
