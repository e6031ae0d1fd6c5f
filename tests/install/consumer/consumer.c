/* A program built against the installed library, as a print filter would use
 * it: one page with a black bar (plain paper, photo quality, black only: print
 * mode 13), the printer bytes written to the file named on the command line. */
#include <stdio.h>
#include <string.h>

#include <kzrqo317/kzrqo317.h>

/* Writes the blocks of one hand-out in list order, up to the all-zero entry,
 * then hands the output back; 0 when all went well. */
static int send(uint32_t* job, uint32_t dataInfo, FILE* printer) {
    int failed = 0;
    const DataInfo* info = (const DataInfo*)KRVSLockHNDL(dataInfo);
    const DataList* entry = info ? (const DataList*)KRVSLockHNDL(info->ListHandle) : NULL;
    for (; entry && (entry->BlockHandle != 0 || entry->ByteCount != 0); ++entry) {
        const uint8_t* bytes = (const uint8_t*)KRVSLockHNDL(entry->BlockHandle);
        if (bytes && fwrite(bytes, 1, entry->ByteCount, printer) != entry->ByteCount) failed = 1;
    }
    return OutputComplete(job) != KZ_OK || failed;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUT.prn\n", argv[0]);
        return 2;
    }
    FILE* printer = fopen(argv[1], "wb");
    if (!printer) {
        perror(argv[1]);
        return 2;
    }
    PrintInfo settings;
    memset(&settings, 0, sizeof settings);
    settings.MediaType = 0;    /* plain paper */
    settings.PrintQuality = 5; /* photo */
    settings.Monochrome = 1;   /* black only */
    settings.PaperSize = 3;    /* A4 */
    static uint8_t bar[600 / 8]; /* 600 pixels at 1 bit each */
    memset(bar, 0xFF, sizeof bar);

    uint32_t job = 0, out = 0;
    int32_t r = OutputOpen(&job);
    if (r != KZ_OPEN_OK) {
        fprintf(stderr, "OutputOpen: %d\n", r);
        return 1;
    }
    int failed = (r = OutputInitTwo(&job, &settings, KZ_PRINTER_MODEL)) != KZ_OK ||
                 (r = OutputInitPart(&job, &settings)) != KZ_OK;
    for (uint32_t y = 100; !failed && y < 400; ++y) {
        RasterInfo line;
        memset(&line, 0, sizeof line);
        line.LineNo = y;
        line.Plane[0].Data = bar; /* the mode's only plane: black */
        line.Plane[0].Width = 600;
        out = 0;
        r = OutputProduceTwo(&job, &line, &out);
        failed = (out != 0 && send(&job, out, printer)) || r != KZ_OK; /* out stays 0: nothing handed out */
    }
    if (!failed) {
        out = 0;
        r = OutputFlush(&job, &out);
        failed = (out != 0 && send(&job, out, printer)) || r != KZ_OK;
    }
    OutputClose(&job);
    if (fclose(printer) != 0 || failed) {
        fprintf(stderr, "the job failed (last result %d)\n", r);
        return 1;
    }
    return 0;
}
