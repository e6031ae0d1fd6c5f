/* A program built against the installed print pipeline: one 4 x 6 in draft
 * page, black only, with a grey ramp across its top inch; the printer bytes go
 * to the file named on the command line. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <kzrqo317/print.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUT.prn\n", argv[0]);
        return 2;
    }
    kzp_settings s = kzp_settings_default();
    s.paper = "na_index-4x6_4x6in";
    s.quality = KZP_QUALITY_DRAFT;
    s.mono = 1;
    kzp_page_format f = kzp_page_format_empty();
    char why[512];
    if (kzp_resolve(&s, &f, why, sizeof why) != KZP_OK) {
        fprintf(stderr, "%s\n", why);
        return 1;
    }
    int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        perror(argv[1]);
        return 2;
    }
    kzp_sink sink = kzp_sink_fd(fd);
    kzp_job* job = kzp_job_open(&s, &sink, why, sizeof why);
    if (!job) {
        fprintf(stderr, "%s\n", why);
        return 1;
    }
    unsigned char* row = malloc((size_t)f.width_px);
    for (int32_t x = 0; row && x < f.width_px; ++x) row[x] = (unsigned char)(255 - 255 * x / f.width_px);
    kzp_status st = row ? kzp_job_begin_page(job, KZP_INPUT_GRAY8, f.width_px, f.height_px) : KZP_ERR_MEMORY;
    for (int32_t y = 0; st == KZP_OK && y < f.mode->ydpi; ++y) st = kzp_job_write_line(job, row);
    if (st == KZP_OK) st = kzp_job_end_page(job);
    if (st == KZP_OK) st = kzp_job_finish(job);
    if (st != KZP_OK) fprintf(stderr, "%s\n", kzp_job_message(job));
    kzp_job_close(job);
    free(row);
    return close(fd) != 0 || st != KZP_OK;
}
