/* libjpeg behind a C edge. libjpeg reports a fatal error by calling
 * error_exit, which must not return; here it jumps back to the entry point
 * that was called, which returns 0. Only C frames lie between the two. */
#include "pictures/JpegDecode.h"

#include <limits.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>
#include <jerror.h>

/* A progressive file may hold any number of scans; each costs a little of
 * its own beside the blocks it covers, and ordinary files have about ten. */
#define SCAN_LIMIT 500

struct SnapvaneJpeg {
    struct jpeg_decompress_struct decoder;
    struct jpeg_error_mgr errors;
    struct jpeg_progress_mgr progress;
    jmp_buf failed;
    int endedEarly;
    SnapvaneJpegFailure failure;
    const unsigned char* bytes;
    size_t size;
    SnapvaneJpegBudget* budget;   /* null until decoding starts */
    /* The rows counted so far, of which scan, and where the whole scans end. */
    int countedScan;
    JDIMENSION countedInputRows, countedOutputRows;
    size_t wholeScansEnd;
};

static void Fail(SnapvaneJpeg* jpeg, SnapvaneJpegFailure failure) {
    jpeg->failure = failure;
    longjmp(jpeg->failed, 1);
}

/* libjpeg's fatal errors. Virtual arrays beyond max_memory_to_use ask for a
 * backing store, which this build has none of: the memory the file needs is
 * refused before it is taken. */
static void GiveUp(j_common_ptr common) {
    SnapvaneJpeg* jpeg = (SnapvaneJpeg*)common->client_data;
    const int code = common->err->msg_code;
    Fail(jpeg, code == JERR_NO_BACKING_STORE || code == JERR_OUT_OF_MEMORY ? SNAPVANE_JPEG_TOO_MUCH_MEMORY
                                                                           : SNAPVANE_JPEG_UNREADABLE);
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

/* Blocks in one iMCU row of the scan being read: an interleaved scan's
 * MCUs, or the block rows of its one component. An arithmetic-coded AC scan
 * decodes each coefficient of its band bit by bit, data or none (a
 * refinement scan of no data costs about five Huffman blocks a block under
 * Wine): its blocks count once more for every eight coefficients. */
static double ScanRowBlocks(j_decompress_ptr decoder) {
    double blocks = 0;
    if (decoder->comps_in_scan > 1) blocks = (double)decoder->MCUs_per_row * decoder->blocks_in_MCU;
    else if (decoder->comps_in_scan == 1)
        blocks = (double)decoder->cur_comp_info[0]->width_in_blocks * decoder->cur_comp_info[0]->v_samp_factor;
    if (decoder->arith_code && decoder->Ss > 0 && decoder->Se >= decoder->Ss)
        blocks *= 1 + (decoder->Se - decoder->Ss + 1) / 8;
    return blocks;
}

/* Blocks in one iMCU row of the whole picture, as it is turned into pixels. */
static double PictureRowBlocks(j_decompress_ptr decoder) {
    double blocks = 0;
    int k;
    for (k = 0; k < decoder->num_components; ++k)
        blocks += (double)decoder->comp_info[k].width_in_blocks * decoder->comp_info[k].v_samp_factor;
    return blocks;
}

/* Where the scan just completed ends: the entropy decoder may have read the
 * marker after it, and fill bytes before that, which a cut leaves out. */
static void NoteWholeScan(SnapvaneJpeg* jpeg) {
    j_decompress_ptr decoder = &jpeg->decoder;
    const unsigned char* at = decoder->src->next_input_byte;
    size_t end;
    if (at < jpeg->bytes || at > jpeg->bytes + jpeg->size) return;  /* past the end: libjpeg's own end marker */
    end = (size_t)(at - jpeg->bytes);
    if (decoder->unread_marker && end >= 2 && jpeg->bytes[end - 1] == decoder->unread_marker &&
        jpeg->bytes[end - 2] == 0xFF)
        end -= 2;
    while (end > 0 && jpeg->bytes[end - 1] == 0xFF) --end;
    jpeg->wholeScansEnd = end;
}

/* libjpeg's progress monitor, called before each iMCU row it reads or turns
 * into pixels: the rows done since the last call are charged to the budget,
 * which ends the decoding when it runs out. */
static void CountWork(j_common_ptr common) {
    SnapvaneJpeg* jpeg = (SnapvaneJpeg*)common->client_data;
    j_decompress_ptr decoder = (j_decompress_ptr)common;
    SnapvaneJpegBudget* budget = jpeg->budget;
    if (!common->is_decompressor || !budget) return;
    if (decoder->input_scan_number != jpeg->countedScan) {
        jpeg->countedScan = decoder->input_scan_number;
        jpeg->countedInputRows = 0;
    }
    if (decoder->input_iMCU_row > jpeg->countedInputRows) {
        budget->blocksLeft -= ScanRowBlocks(decoder) * (decoder->input_iMCU_row - jpeg->countedInputRows);
        jpeg->countedInputRows = decoder->input_iMCU_row;
        if (decoder->input_iMCU_row >= decoder->total_iMCU_rows) NoteWholeScan(jpeg);
    }
    if (decoder->output_iMCU_row < jpeg->countedOutputRows) jpeg->countedOutputRows = 0;  /* a new output pass */
    budget->blocksLeft -= PictureRowBlocks(decoder) * (decoder->output_iMCU_row - jpeg->countedOutputRows);
    jpeg->countedOutputRows = decoder->output_iMCU_row;
    if (budget->blocksLeft < 0 || decoder->input_scan_number > SCAN_LIMIT || budget->timeIsUp(budget->clock))
        Fail(jpeg, SNAPVANE_JPEG_TOO_MUCH_WORK);
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
    jpeg->progress.progress_monitor = CountWork;
    jpeg->decoder.progress = &jpeg->progress;
    return jpeg;
}

int SnapvaneJpegEndedEarly(const SnapvaneJpeg* jpeg) { return jpeg->endedEarly; }
SnapvaneJpegFailure SnapvaneJpegFailed(const SnapvaneJpeg* jpeg) { return jpeg->failure; }
size_t SnapvaneJpegWholeScansEnd(const SnapvaneJpeg* jpeg) { return jpeg->wholeScansEnd; }

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

int SnapvaneJpegStart(SnapvaneJpeg* jpeg, unsigned eighths, SnapvaneJpegBudget* budget, unsigned* width,
                      unsigned* height, unsigned* bytesPerPixel) {
    j_decompress_ptr decoder = &jpeg->decoder;
    int cmyk = decoder->jpeg_color_space == JCS_CMYK || decoder->jpeg_color_space == JCS_YCCK;
    if (setjmp(jpeg->failed)) return 0;
    jpeg->budget = budget;
    /* libjpeg compares it with all it holds when it makes the coefficient
     * arrays of a progressive file (max_memory_to_use is a long). */
    decoder->mem->max_memory_to_use = budget->bytes == 0 ? 1 : budget->bytes < LONG_MAX ? (long)budget->bytes : LONG_MAX;
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
