/* The JPEG decoder's edge: plain C, so that libjpeg's error handling
 * (setjmp/longjmp) never passes a C++ frame. Every call returns 0 when libjpeg
 * gave up on the file (a damaged file) or the budget ran out; the decoder is
 * then of no further use but must still be closed. */
#ifndef SNAPVANE_JPEG_DECODE_H
#define SNAPVANE_JPEG_DECODE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SnapvaneJpeg SnapvaneJpeg;

/* What decoding may take. The caller owns it and may hand the same budget to
 * a second decoder of the same file, which then has only what the first left. */
typedef struct SnapvaneJpegBudget {
    /* Blocks of 8 x 8 samples libjpeg may still decode, a block counted once
     * for every scan that covers it and once more when it is turned into
     * pixels: the work of a file, whatever its scans hold. */
    double blocksLeft;
    /* The most libjpeg may hold at once; a progressive file's coefficients
     * that would pass it are refused before they are allocated. */
    size_t bytes;
    /* Asked between rows; nonzero ends the decoding. */
    int (*timeIsUp)(void* clock);
    void* clock;
} SnapvaneJpegBudget;

/* Why a decoder gave up. */
typedef enum SnapvaneJpegFailure {
    SNAPVANE_JPEG_UNREADABLE = 1,  /* libjpeg found the bytes damaged */
    SNAPVANE_JPEG_TOO_MUCH_WORK,   /* the blocks or the time ran out */
    SNAPVANE_JPEG_TOO_MUCH_MEMORY  /* it needed more memory than the budget gives */
} SnapvaneJpegFailure;

/* What the file's header declares, as libjpeg reads it. */
typedef struct SnapvaneJpegHeader {
    unsigned width, height;
    int cmyk;                      /* CMYK or YCCK: rows come as CMYK */
    int invertedCmyk;              /* CMYK written the Adobe way, each ink inverted */
    const unsigned char* exif;     /* the first APP1 segment's data, or null */
    size_t exifSize;
} SnapvaneJpegHeader;

/* A decoder over the file's bytes, which must stay in place until it is
 * closed; null when there is no memory for it. */
SnapvaneJpeg* SnapvaneJpegCreate(const unsigned char* bytes, size_t size);
void SnapvaneJpegClose(SnapvaneJpeg* jpeg);

/* Reads the segments up to the first scan. When that fails, the header
 * still gives the size of a frame that was read. */
int SnapvaneJpegReadHeader(SnapvaneJpeg* jpeg, SnapvaneJpegHeader* header);

/* Starts decoding at eighths/8 of the stored size (1 to 8), drawing on the
 * budget, which must outlive the decoder; gives the size of the rows that
 * come and their bytes a pixel (3, blue first; 4 for CMYK). A progressive
 * file's scans are all decoded here. */
int SnapvaneJpegStart(SnapvaneJpeg* jpeg, unsigned eighths, SnapvaneJpegBudget* budget, unsigned* width,
                      unsigned* height, unsigned* bytesPerPixel);

/* Decodes the next rows, at most count, into rows[]; *done says how many.
 * A file that ends early gives its remaining rows filled plainly. */
int SnapvaneJpegReadRows(SnapvaneJpeg* jpeg, unsigned char** rows, unsigned count, unsigned* done);

/* True once libjpeg found the file's bytes ending before the picture did. */
int SnapvaneJpegEndedEarly(const SnapvaneJpeg* jpeg);

/* Why the last call returned 0. */
SnapvaneJpegFailure SnapvaneJpegFailed(const SnapvaneJpeg* jpeg);

/* How many of the file's bytes the scans decoded whole so far took, up to
 * the end of the last of them; 0 before the first is whole. A file that
 * fails after them shows them when cut there. */
size_t SnapvaneJpegWholeScansEnd(const SnapvaneJpeg* jpeg);

#ifdef __cplusplus
}
#endif

#endif
