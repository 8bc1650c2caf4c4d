/* The JPEG decoder's edge: plain C, so that libjpeg's error handling
 * (setjmp/longjmp) never passes a C++ frame. Every call returns 0 when libjpeg
 * gave up on the file (a damaged file); the decoder is then of no further use
 * but must still be closed. */
#ifndef SNAPVANE_JPEG_DECODE_H
#define SNAPVANE_JPEG_DECODE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SnapvaneJpeg SnapvaneJpeg;

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

/* Starts decoding at eighths/8 of the stored size (1 to 8); gives the size of
 * the rows that come and their bytes a pixel (3, blue first; 4 for CMYK). */
int SnapvaneJpegStart(SnapvaneJpeg* jpeg, unsigned eighths, unsigned* width, unsigned* height,
                      unsigned* bytesPerPixel);

/* Decodes the next rows, at most count, into rows[]; *done says how many.
 * A file that ends early gives its remaining rows filled plainly. */
int SnapvaneJpegReadRows(SnapvaneJpeg* jpeg, unsigned char** rows, unsigned count, unsigned* done);

/* True once libjpeg found the file's bytes ending before the picture did. */
int SnapvaneJpegEndedEarly(const SnapvaneJpeg* jpeg);

#ifdef __cplusplus
}
#endif

#endif
