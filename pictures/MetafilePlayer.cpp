#include "pictures/MetafilePlayer.h"

#include "pictures/LittleEndian.h"
#include "pictures/MetafileCheck.h"
#include "pictures/WindowsFormats.h"
#include "win32/Handles.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace snapvane {

namespace {

constexpr size_t kMetafileHeaderBytes = 18;

// The records up to the end-of-file record or the end of the data, as the
// check walked them: the last one is the callback's cue to clean up.
std::uint64_t CountRecords(const Byte* records, size_t size) {
    std::uint64_t count = 0;
    for (size_t at = kMetafileHeaderBytes; size - at >= 6;) {
        const std::uint64_t bytes = 2 * std::uint64_t{Little32(records + at)};
        if (Little16(records + at + 4) == 0 || bytes < 6 || bytes > size - at) break;
        ++count;
        at += static_cast<size_t>(bytes);
    }
    return count;
}

// The objects of the device context before the first record: they are
// selected again before the records' own are deleted.
struct SelectedObjects {
    explicit SelectedObjects(HDC dc)
        : pen(GetCurrentObject(dc, OBJ_PEN)), brush(GetCurrentObject(dc, OBJ_BRUSH)),
          font(GetCurrentObject(dc, OBJ_FONT)), palette(GetCurrentObject(dc, OBJ_PAL)) {}
    void SelectInto(HDC dc) const {
        SelectObject(dc, pen);
        SelectObject(dc, brush);
        SelectObject(dc, font);
        SelectPalette(dc, static_cast<HPALETTE>(palette), FALSE);
    }
    HGDIOBJ pen, brush, font, palette;
};

struct Playing {
    PictureBudget& budget;
    SelectedObjects before;
    std::uint64_t recordsLeft;
    bool finished = false;
};

// Deletes the objects the records made. Players differ on whether the
// handle table's objects outlive an enumeration stopped early, so they go
// here, and the table is left empty for a player that deletes them too.
void DeleteRecordObjects(HDC dc, HANDLETABLE* table, int objects, const SelectedObjects& before) {
    before.SelectInto(dc);
    for (int k = 0; k < objects; ++k) {
        if (table->objectHandle[k]) DeleteObject(table->objectHandle[k]);
        table->objectHandle[k] = nullptr;
    }
}

// A device bitmap as CreateBitmap takes it: rows of whole words, however far
// apart the record's rows are.
unique_hbitmap DeviceBitmap(const Byte* params, const OldBitmapTransfer& t) {
    const size_t gdiRowBytes = (static_cast<size_t>(t.width) * t.bitsPerPixel + 15) / 16 * 2;
    const Byte* rows = params + t.bitsAt;
    if (gdiRowBytes == t.rowBytes) return unique_hbitmap(CreateBitmap(t.width, t.height, 1, t.bitsPerPixel, rows));
    std::vector<Byte> packed(gdiRowBytes * t.height);
    for (size_t y = 0; y < t.height; ++y) std::memcpy(&packed[y * gdiRowBytes], rows + y * t.rowBytes, gdiRowBytes);
    return unique_hbitmap(CreateBitmap(t.width, t.height, 1, t.bitsPerPixel, packed.data()));
}

unique_hbitmap IndependentBitmap(HDC dc, const Byte* params, const OldBitmapTransfer& t) {
    const auto* info = reinterpret_cast<const BITMAPINFO*>(params + t.infoAt);
    return unique_hbitmap(CreateDIBitmap(dc, &info->bmiHeader, CBM_INIT, params + t.bitsAt, info, DIB_RGB_COLORS));
}

// An old bitmap record, from the bitmap the check measured: its source made
// as a bitmap of its own, then copied as the record says.
void PlayOldBitmapRecord(HDC dc, const METARECORD* record) {
    const auto* params = reinterpret_cast<const Byte*>(record->rdParm);
    OldBitmapTransfer t;
    if (record->rdSize < 3 || !ReadOldBitmapTransfer(record->rdFunction, params, 2 * (record->rdSize - 3), t)) return;
    if (t.source == OldBitmapTransfer::Source::None) {
        PatBlt(dc, t.destX, t.destY, t.destWidth, t.destHeight, t.rasterOperation);
        return;
    }
    unique_hbitmap bitmap = t.source == OldBitmapTransfer::Source::DeviceBitmap ? DeviceBitmap(params, t)
                                                                               : IndependentBitmap(dc, params, t);
    unique_hdc source(CreateCompatibleDC(dc));
    if (!bitmap || !source) return;
    SelectObjectScope selected(source.get(), bitmap.get());
    StretchBlt(dc, t.destX, t.destY, t.destWidth, t.destHeight, source.get(), t.sourceX, t.sourceY, t.sourceWidth,
               t.sourceHeight, t.rasterOperation);
}

void PlayRecord(HDC dc, HANDLETABLE* table, METARECORD* record, int objects) {
    if (record->rdFunction == wmf::kBitBlt || record->rdFunction == wmf::kStretchBlt) PlayOldBitmapRecord(dc, record);
    else PlayMetaFileRecord(dc, table, record, static_cast<UINT>(objects));
}

// Called by GDI for each record: no exception may leave it.
int CALLBACK PlayEnumeratedRecord(HDC dc, HANDLETABLE* table, METARECORD* record, int objects, LPARAM data) noexcept {
    Playing& playing = *reinterpret_cast<Playing*>(data);
    if (playing.budget.TimeIsUp()) {
        DeleteRecordObjects(dc, table, objects, playing.before);
        return 0;
    }
    try {
        PlayRecord(dc, table, record, objects);
    } catch (...) {
        // Memory for an old bitmap's rows: the record is left undrawn, as GDI
        // leaves one it has no memory for.
    }
    if (--playing.recordsLeft == 0) {
        DeleteRecordObjects(dc, table, objects, playing.before);
        playing.finished = true;
    }
    return 1;
}

} // namespace

MetafilePlay PlayCheckedMetafile(HDC dc, const Byte* records, size_t size, RECT place, RECT window,
                                 PictureBudget& budget) {
    if (size < kMetafileHeaderBytes) return MetafilePlay::NotTaken;
    unique_hmetafile metafile(SetMetaFileBitsEx(static_cast<UINT>(size), records));
    if (!metafile) return MetafilePlay::NotTaken;
    Playing playing{budget, SelectedObjects(dc), CountRecords(records, size)};
    if (playing.recordsLeft == 0) return MetafilePlay::Finished;
    // The logical window onto the place, its origin left at 0 for the
    // records' own: the viewport's origin moves instead.
    const int windowWidth = window.right - window.left, windowHeight = window.bottom - window.top;
    const int placeWidth = place.right - place.left, placeHeight = place.bottom - place.top;
    if (windowWidth == 0 || windowHeight == 0) return MetafilePlay::NotTaken;
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, windowWidth, windowHeight, nullptr);
    SetViewportOrgEx(dc, place.left - MulDiv(window.left, placeWidth, windowWidth),
                     place.top - MulDiv(window.top, placeHeight, windowHeight), nullptr);
    SetViewportExtEx(dc, placeWidth, placeHeight, nullptr);
    EnumMetaFile(dc, metafile.get(), PlayEnumeratedRecord, reinterpret_cast<LPARAM>(&playing));
    return playing.finished ? MetafilePlay::Finished : MetafilePlay::OutOfTime;
}

} // namespace snapvane
