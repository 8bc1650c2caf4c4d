/* libjpeg behind a C edge. libjpeg reports a fatal error by calling
 * error_exit, which must not return; here it jumps back to the entry point
 * that was called, which returns 0. Only C frames lie between the two. */
#include "pictures/JpegDecode.h"

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>
#include <jerror.h>

/* A progressive file may hold any number of scans, each of which is a pass
 * over the whole picture, even when it brings no data; ordinary files have
 * about ten. The scans allowed keep the passes to about 2,000 million pixels
 * in all, with at least 32 and at most 500 for any picture. */
#define LEAST_SCAN_LIMIT 32
#define LARGEST_SCAN_LIMIT 500
#define PIXEL_PASSES (2000.0 * 1000 * 1000)

struct SnapvaneJpeg {
    struct jpeg_decompress_struct decoder;
    struct jpeg_error_mgr errors;
    struct jpeg_progress_mgr progress;
    jmp_buf failed;
    int endedEarly;
    const unsigned char* bytes;
    size_t size;
};

static void GiveUp(j_common_ptr common) {
    SnapvaneJpeg* jpeg = (SnapvaneJpeg*)common->client_data;
    longjmp(jpeg->failed, 1);
}

/* Warnings (a file that ends early, stray bytes between segments) are
 * libjpeg's own repairs: the picture is shown as it repaired it. Nothing is
 * printed from inside the host. */
static void Quiet(j_common_ptr common) { (void)common; }
static void CountWarning(j_common_ptr common, int level) {
    if (level >= 0) return;
    common->err->num_warnings++;
    if (common->err->msg_code == JWRN_JPEG_EOF) ((SnapvaneJpeg*)common->client_data)->endedEarly = 1;
}

static void LimitScans(j_common_ptr common) {
    j_decompress_ptr decoder = (j_decompress_ptr)common;
    double pixels, limit;
    if (!decoder->is_decompressor) return;
    pixels = (double)decoder->image_width * (double)decoder->image_height;
    limit = pixels > 0 ? PIXEL_PASSES / pixels : LARGEST_SCAN_LIMIT;
    if (limit < LEAST_SCAN_LIMIT) limit = LEAST_SCAN_LIMIT;
    if (limit > LARGEST_SCAN_LIMIT) limit = LARGEST_SCAN_LIMIT;
    if (decoder->input_scan_number > (int)limit) GiveUp(common);
}

static int CreateDecoder(SnapvaneJpeg* jpeg) {
    if (setjmp(jpeg->failed)) return 0;  /* no memory for libjpeg's own tables */
    jpeg_create_decompress(&jpeg->decoder);
    return 1;
}

SnapvaneJpeg* SnapvaneJpegCreate(const unsigned char* bytes, size_t size) {
    SnapvaneJpeg* jpeg = (SnapvaneJpeg*)calloc(1, sizeof *jpeg);
    if (!jpeg) return NULL;
    jpeg->bytes = bytes;
    jpeg->size = size;
    jpeg->decoder.err = jpeg_std_error(&jpeg->errors);
    jpeg->errors.error_exit = GiveUp;
    jpeg->errors.output_message = Quiet;
    jpeg->errors.emit_message = CountWarning;
    jpeg->decoder.client_data = jpeg;
    if (!CreateDecoder(jpeg)) {
        jpeg_destroy_decompress(&jpeg->decoder);  /* frees what it had made, if anything */
        free(jpeg);
        return NULL;
    }
    jpeg->progress.progress_monitor = LimitScans;
    jpeg->decoder.progress = &jpeg->progress;
    return jpeg;
}

int SnapvaneJpegEndedEarly(const SnapvaneJpeg* jpeg) { return jpeg->endedEarly; }

void SnapvaneJpegClose(SnapvaneJpeg* jpeg) {
    if (!jpeg) return;
    jpeg_destroy_decompress(&jpeg->decoder);
    free(jpeg);
}

static jpeg_saved_marker_ptr FirstExif(j_decompress_ptr decoder) {
    jpeg_saved_marker_ptr marker;
    for (marker = decoder->marker_list; marker; marker = marker->next)
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6 && memcmp(marker->data, "Exif\0\0", 6) == 0)
            return marker;
    return NULL;
}

int SnapvaneJpegReadHeader(SnapvaneJpeg* jpeg, SnapvaneJpegHeader* header) {
    j_decompress_ptr decoder = &jpeg->decoder;
    jpeg_saved_marker_ptr exif;
    memset(header, 0, sizeof *header);
    if (setjmp(jpeg->failed)) {
        /* What the frame declared, if it was read: a size beyond libjpeg's
         * own limit is refused for its size. */
        header->width = decoder->image_width;
        header->height = decoder->image_height;
        return 0;
    }
    /* libjpeg's own source over memory never reads past the end: it ends a
     * short file with an end marker of its own and a warning. */
    jpeg_mem_src(decoder, jpeg->bytes, (unsigned long)jpeg->size);
    jpeg_save_markers(decoder, JPEG_APP0 + 1, 0xFFFF);
    if (jpeg_read_header(decoder, TRUE) != JPEG_HEADER_OK) return 0;
    header->width = decoder->image_width;
    header->height = decoder->image_height;
    header->cmyk = decoder->jpeg_color_space == JCS_CMYK || decoder->jpeg_color_space == JCS_YCCK;
    header->invertedCmyk = header->cmyk && decoder->saw_Adobe_marker;
    exif = FirstExif(decoder);
    if (exif) {
        header->exif = exif->data;
        header->exifSize = exif->data_length;
    }
    return 1;
}

int SnapvaneJpegStart(SnapvaneJpeg* jpeg, unsigned eighths, unsigned* width, unsigned* height,
                      unsigned* bytesPerPixel) {
    j_decompress_ptr decoder = &jpeg->decoder;
    int cmyk = decoder->jpeg_color_space == JCS_CMYK || decoder->jpeg_color_space == JCS_YCCK;
    if (setjmp(jpeg->failed)) return 0;
    decoder->scale_num = eighths < 1 ? 1 : eighths > 8 ? 8 : eighths;
    decoder->scale_denom = 8;
    /* Grey, YCbCr and RGB files all come as blue-green-red rows. */
    decoder->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    if (!jpeg_start_decompress(decoder)) return 0;
    *width = decoder->output_width;
    *height = decoder->output_height;
    *bytesPerPixel = (unsigned)decoder->output_components;
    return 1;
}

int SnapvaneJpegReadRows(SnapvaneJpeg* jpeg, unsigned char** rows, unsigned count, unsigned* done) {
    j_decompress_ptr decoder = &jpeg->decoder;
    *done = 0;
    if (setjmp(jpeg->failed)) return 0;
    while (*done < count && decoder->output_scanline < decoder->output_height) {
        JDIMENSION read = jpeg_read_scanlines(decoder, rows + *done, count - *done);
        if (read == 0) break;
        *done += read;
    }
    return 1;
}
