#include "pictures/MetafilePlayer.h"

#include "pictures/LittleEndian.h"
#include "win32/Handles.h"

#include <cstdint>

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
    const PictureBudget& budget;
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

// Called by GDI for each record: no exception may leave it.
int CALLBACK PlayRecord(HDC dc, HANDLETABLE* table, METARECORD* record, int objects, LPARAM data) {
    Playing& playing = *reinterpret_cast<Playing*>(data);
    if (playing.budget.TimeIsUp()) {
        DeleteRecordObjects(dc, table, objects, playing.before);
        return 0;
    }
    PlayMetaFileRecord(dc, table, record, static_cast<UINT>(objects));
    if (--playing.recordsLeft == 0) {
        DeleteRecordObjects(dc, table, objects, playing.before);
        playing.finished = true;
    }
    return 1;
}

} // namespace

MetafilePlay PlayCheckedMetafile(HDC dc, const Byte* records, size_t size, RECT place, SIZE logical,
                                 const PictureBudget& budget) {
    if (size < kMetafileHeaderBytes) return MetafilePlay::NotTaken;
    unique_hmetafile metafile(SetMetaFileBitsEx(static_cast<UINT>(size), records));
    if (!metafile) return MetafilePlay::NotTaken;
    Playing playing{budget, SelectedObjects(dc), CountRecords(records, size)};
    if (playing.recordsLeft == 0) return MetafilePlay::Finished;
    // The OLE picture's own mapping: the logical window onto the place.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, logical.cx, logical.cy, nullptr);
    SetViewportOrgEx(dc, place.left, place.top, nullptr);
    SetViewportExtEx(dc, place.right - place.left, place.bottom - place.top, nullptr);
    EnumMetaFile(dc, metafile.get(), PlayRecord, reinterpret_cast<LPARAM>(&playing));
    return playing.finished ? MetafilePlay::Finished : MetafilePlay::OutOfTime;
}

} // namespace snapvane
