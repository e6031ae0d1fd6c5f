/* Result codes of the job calls.
 *
 * Every job call but OutputClose returns a signed 16-bit code, sign-extended to
 * the int32_t it is declared with, so callers that read it as a 16-bit value
 * and callers that read it as 32 bits see the same number. */
#ifndef KZRQO317_RESULT_H
#define KZRQO317_RESULT_H

enum KZResult {
    KZ_OK = 0,                /* success */
    KZ_OPEN_OK = 262,         /* OutputOpen succeeded (0x0106) */
    KZ_OPEN_FAILED = -32506,  /* OutputOpen failed: no handle variable or no memory (0x8106) */
    KZ_NO_MEMORY = -108,      /* no job context (handle 0), or memory exhausted */
    KZ_UNSUPPORTED = -128,    /* unsupported call, wrong model code, settings without a print mode,
                                 or an invalid argument to a platform function */
    KZ_OUT_OF_ORDER = -256    /* call out of order, or output still awaiting OutputComplete */
};

/* The printer model code that OutputInitTwo accepts. */
#define KZ_PRINTER_MODEL 317

#endif
