/* The print pipeline: from what people print to printer bytes.
 *
 * libkzrqo317-print sits on the driver library (libkzrqo317) and does what
 * every front end needs: page setup in people's terms, colour separation,
 * halftoning to the levels the print mode prints, and driving the job calls
 * to a sink.  Front ends (kzrqo317-print, the CUPS filter, the printer
 * application) build their options from the capability query below, never
 * from copies of it.
 *
 *   kzp_settings s = kzp_settings_default();
 *   s.paper = "na_letter_8.5x11in"; s.quality = KZP_QUALITY_HIGH;
 *   kzp_page_format f = kzp_page_format_empty();  char why[512];
 *   if (kzp_resolve(&s, &f, why, sizeof why) != KZP_OK) { puts(why); ... }
 *   kzp_sink sink = kzp_sink_fd(1);
 *   kzp_job* job = kzp_job_open(&s, &sink, why, sizeof why);
 *   kzp_job_begin_page(job, KZP_INPUT_RGB8, f.width_px, f.height_px);
 *   for (y ...) kzp_job_write_line(job, row);   // width_px pixels each
 *   kzp_job_end_page(job);
 *   kzp_job_close(job);                          // KZP_OK: every byte reached the sink
 *
 * Every call returns KZP_OK (0) or a negative kzp_status; the job keeps a
 * message in words a person understands (kzp_job_message).  No call writes
 * half a frame to the sink: a failed job stops at a command boundary.
 *
 * Growing without a new soname.  Structs the caller fills (kzp_settings,
 * kzp_sink, kzp_page_format) start with struct_size, the caller's own
 * sizeof: the library reads and writes only the fields that size covers and
 * takes defaults for the rest, so fields are only ever added at the end.
 * The static inline kzp_settings_default(), kzp_page_format_empty(),
 * kzp_sink_fd() and kzp_sink_callback() make them with it set.  The
 * library's own records (papers, media, modes) are reached one at a time by
 * index, so their arrays may grow too.
 *
 * Resolution and placement (the one place that says it).
 * - Lines are given at (xdpi, ydpi) of the resolved mode: 600 x 600, except
 *   draft, and normal on plain paper (colour or black), at 300 x 300: there
 *   the printer puts each line on two of its 600 dpi lines, and prints 300
 *   pixels per inch across (draft) or widens each pixel to two (normal on
 *   plain paper).  A page of width_px x height_px at that resolution has the
 *   physical size of the printable area.
 * - Sizes come from the printer's borderless areas at 600 dpi (A4 is
 *   4,961 x 7,016 pixels); a borderless page adds a bleed of 47 pixels of
 *   600 dpi (about 2 mm) on every side.  With margins, every margin is 118
 *   lines of 600 dpi (5 mm): the top one is the printer's own starting feed,
 *   the other three are our choice.  The printer prints at most 6,144 pixels
 *   of 600 dpi across (260 mm).
 * - Sizes without a paper code of their own print with margins under a
 *   sheet code that switches off the printer's edge phases (kzp_paper.note). */
#ifndef KZRQO317_PRINT_H
#define KZRQO317_PRINT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "export.h"

/* The version of this header; kzp_version() gives the library's. */
#define KZP_VERSION_MAJOR 1
#define KZP_VERSION_MINOR 0
#define KZP_VERSION_PATCH 0

KZ_BEGIN_DECLS

/* "MAJOR.MINOR.PATCH" of the library in use. */
KZ_VISIBLE const char* kzp_version(void);

typedef enum kzp_status {
    KZP_OK = 0,
    KZP_ERR_SETTINGS = -1, /* no print mode for these settings; the message names what is possible */
    KZP_ERR_INPUT = -2,    /* a line, page size or input format the job cannot take */
    KZP_ERR_MEMORY = -3,   /* memory ran out */
    KZP_ERR_SINK = -4,     /* the sink refused bytes (closed pipe, full disk) */
    KZP_ERR_PROFILE = -5,  /* the ICC profile could not be read or used */
    KZP_ERR_ORDER = -6,    /* calls out of order (a line before a page, ...) */
    KZP_ERR_DRIVER = -7    /* the driver library refused a call (a fault of ours) */
} kzp_status;

typedef enum kzp_quality {
    KZP_QUALITY_DRAFT = 0,
    KZP_QUALITY_NORMAL = 1,
    KZP_QUALITY_HIGH = 2,
    KZP_QUALITY_BEST = 3
} kzp_quality;

typedef enum kzp_dither {
    KZP_DITHER_AUTO = 0,   /* fast for draft and normal, quality for high and best */
    KZP_DITHER_FAST = 1,   /* blue-noise threshold array */
    KZP_DITHER_QUALITY = 2 /* error diffusion */
} kzp_dither;

typedef enum kzp_input {
    KZP_INPUT_GRAY8 = 0,  /* 8-bit sGray, 0 black .. 255 white */
    KZP_INPUT_RGB8 = 1,   /* 8-bit sRGB, chunky R G B */
    KZP_INPUT_CMYK8 = 2,  /* 8-bit CMYK, chunky, 0 no ink .. 255 full ink */
    KZP_INPUT_BLACK1 = 3  /* 1 bit per pixel, 1 = black, most significant bit first */
} kzp_input;

/* A paper size the printer takes (fields are only ever added at the end). */
typedef struct kzp_paper {
    const char* pwg_name;  /* PWG self-describing name, e.g. "iso_a4_210x297mm" */
    const char* label;     /* for people, e.g. "A4" */
    int32_t width_um;      /* width across the paper path and length along it, micrometres */
    int32_t height_um;     /* (a landscape twin has them the other way round) */
    int16_t code;          /* the driver's paper size code */
    uint8_t established;   /* 1: the code's own size; 0: printed with margins under a code that fits */
    uint8_t borderless;    /* 1: borderless printing exists for this size */
    const char* note;      /* why the size prints as it does, or "" */
    const char* short_name; /* what people type, e.g. "a4", "letter", "4x6" (any case); "" for raw codes */
} kzp_paper;

/* A media type (paper kind; fields are only ever added at the end). */
typedef struct kzp_media {
    const char* name;   /* keyword, e.g. "plain"; "code-N" names the raw code N for experts */
    const char* label;  /* for people */
    int16_t code;       /* the driver's media type code */
    const char* note;   /* what the tables show about it: qualities, borderless, black-only, loading */
    uint8_t load;       /* how the paper loads on sheet sizes: 0 flat, 1 like a long sheet, 2 other */
} kzp_media;

/* One valid combination of settings, and the raster it prints (fields are
 * only ever added at the end). */
typedef struct kzp_mode_info {
    const char* paper;    /* kzp_paper pwg_name */
    const char* media;    /* kzp_media name */
    int16_t paper_code;
    int16_t media_code;
    int16_t quality_code; /* the driver's print quality code for `quality` */
    kzp_quality quality;
    uint8_t mono;         /* 1: black only */
    uint8_t borderless;
    uint8_t roll;         /* 1: roll (banner) paper */
    uint8_t print_mode;   /* the driver's print mode 0..15 */
    int32_t xdpi, ydpi;   /* raster resolution of the input lines (see the top of this file) */
    uint8_t planes;       /* bit i set: plane i prints (3 is black) */
    uint8_t bit_depth[7]; /* 0, 1, 2 or 4 per plane */
    uint16_t levels[7];   /* bit v set: level v prints (bit 0 never) */
    uint8_t drops[7][16]; /* drops each level fires; 0 for levels that do not print */
    int32_t margin_um[4]; /* left, right, top, bottom paper left blank; 0 when borderless */
    int32_t bleed_um[4];  /* left, right, top, bottom ink beyond the paper when borderless */
} kzp_mode_info;

/* What the job prints for resolved settings: the print mode, and the page the
 * caller gives lines for, in pixels at (xdpi, ydpi). */
typedef struct kzp_page_format {
    size_t struct_size;            /* the caller's sizeof(kzp_page_format) */
    const kzp_mode_info* mode;     /* one of the capability query's modes */
    int32_t width_px, height_px;   /* the area lines cover: paper less margins, or paper plus bleed */
    int32_t left_px, top_px;       /* its offset from the paper's top-left corner (negative: bleed) */
    int32_t paper_width_px, paper_height_px;
    int32_t bleed_px[4];           /* left, right, top, bottom ink beyond the paper; 0 with margins */
} kzp_page_format;

typedef struct kzp_settings {
    size_t struct_size;     /* the caller's sizeof(kzp_settings): kzp_settings_init sets it */
    const char* paper;      /* a kzp_paper pwg_name or short_name, or "code-N" for a paper code; NULL: iso_a4_210x297mm */
    const char* media;      /* a kzp_media name, or "code-N" for any media code; NULL: plain */
    kzp_quality quality;
    int mono;               /* 1: black only */
    int borderless;
    int roll;               /* 1: roll (banner) paper; pages end with a form feed */
    kzp_dither dither;
    const char* icc_profile; /* output profile for the paper, or NULL for the built-in separation */
} kzp_settings;

/* Fills `s` with the defaults (A4 plain paper, normal quality, colour, with
 * margins, sheets, automatic dithering) for a struct of `struct_size` bytes. */
KZ_VISIBLE void kzp_settings_init(kzp_settings* s, size_t struct_size);

/* The defaults, sized for the caller. */
static inline kzp_settings kzp_settings_default(void) {
    kzp_settings s;
    kzp_settings_init(&s, sizeof s);
    return s;
}

/* The capability query: every paper, media and valid combination (every
 * paper and media listed, by quality, colour or black-only, borderless or not,
 * sheet or roll), by index from 0; NULL past the last.  The records are
 * constant and live as long as the library; the first call builds them and
 * is safe from any thread. */
KZ_VISIBLE size_t kzp_paper_count(void);
KZ_VISIBLE const kzp_paper* kzp_paper_at(size_t index);
KZ_VISIBLE size_t kzp_media_count(void);
KZ_VISIBLE const kzp_media* kzp_media_at(size_t index);
KZ_VISIBLE size_t kzp_mode_count(void);
KZ_VISIBLE const kzp_mode_info* kzp_mode_at(size_t index);
KZ_VISIBLE const char* kzp_quality_name(kzp_quality q); /* "draft", "normal", "high", "best" */

/* Resolves settings to a page format (out->struct_size set by the caller).
 * KZP_ERR_SETTINGS with `message` saying which qualities, colour modes and
 * borderless choices that paper and media allow.  `message` may be NULL. */
KZ_VISIBLE kzp_status kzp_resolve(const kzp_settings* s, kzp_page_format* out, char* message, size_t size);

/* An empty page format, sized for the caller, for kzp_resolve to fill. */
static inline kzp_page_format kzp_page_format_empty(void) {
    kzp_page_format f;
    memset(&f, 0, sizeof f);
    f.struct_size = sizeof f;
    return f;
}

/* Where the printer bytes go: a file descriptor, or a callback when `write`
 * is set (it returns 0 when it took all `size` bytes). */
typedef struct kzp_sink {
    size_t struct_size;  /* the caller's sizeof(kzp_sink) */
    int fd;
    int (*write)(void* ctx, const uint8_t* bytes, size_t size);
    void* ctx;
} kzp_sink;

/* Sinks sized for the caller: to a file descriptor, or to a callback. */
static inline kzp_sink kzp_sink_fd(int fd) {
    kzp_sink sink;
    memset(&sink, 0, sizeof sink);
    sink.struct_size = sizeof sink;
    sink.fd = fd;
    return sink;
}
static inline kzp_sink kzp_sink_callback(int (*write)(void* ctx, const uint8_t* bytes, size_t size), void* ctx) {
    kzp_sink sink = kzp_sink_fd(-1);
    sink.write = write;
    sink.ctx = ctx;
    return sink;
}

typedef struct kzp_job kzp_job;

/* Opens a job; NULL with `message` filled when the settings do not print. */
KZ_VISIBLE kzp_job* kzp_job_open(const kzp_settings* s, const kzp_sink* sink, char* message, size_t size);
/* Starts a page whose lines are `width` pixels of `input`, `height` lines,
 * at the format's resolution, placed at the format's (left_px, top_px).
 * `width` and `height` may be smaller than the format's (the rest is blank),
 * not larger. */
KZ_VISIBLE kzp_status kzp_job_begin_page(kzp_job* job, kzp_input input, int32_t width, int32_t height);
/* The next line of the page, top to bottom.  The job copies it and
 * halftones it on a thread of its own while earlier lines go to the driver;
 * the sink is written only from the calling thread, in order.  A sink or
 * driver failure is therefore returned by one of the next calls (at the
 * latest by kzp_job_end_page), and stops the job as before. */
KZ_VISIBLE kzp_status kzp_job_write_line(kzp_job* job, const void* pixels);
/* Ends the page; lines not given are blank.  Safe to call after a failure. */
KZ_VISIBLE kzp_status kzp_job_end_page(kzp_job* job);
/* Ends the job and writes what remains (ending a page left open); the job
 * stays readable (kzp_job_message) until kzp_job_close.  Repeating it
 * returns the first result again. */
KZ_VISIBLE kzp_status kzp_job_finish(kzp_job* job);
/* Finishes the job when that was not done, and frees everything.  NULL is
 * fine. */
KZ_VISIBLE kzp_status kzp_job_close(kzp_job* job);
KZ_VISIBLE const kzp_page_format* kzp_job_format(const kzp_job* job);
KZ_VISIBLE const char* kzp_job_message(const kzp_job* job);

KZ_END_DECLS

#endif
