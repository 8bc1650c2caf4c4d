// A checked metafile played record by record, so that its drawing stops
// between two records once the picture's time is up: GDI's own player takes
// all records in one call and cannot be stopped.
#pragma once

#include "pictures/Bytes.h"
#include "pictures/PictureBudget.h"

#include <windows.h>

#include <cstddef>

namespace snapvane {

// Plays the records of a metafile that CheckMetafile found playable (its
// bytes after the placeable header, if any) into the place on the device
// context, the logical window of its frame (MetafileFrame) filling the
// place. The old bitmap records are played from the check's own reading of
// them (ReadOldBitmapTransfer), the others by GDI. The objects its records
// made are deleted however it ends.
enum class MetafilePlay { Finished, OutOfTime, NotTaken };
MetafilePlay PlayCheckedMetafile(HDC dc, const Byte* records, size_t size, RECT place, RECT window,
                                 PictureBudget& budget);

} // namespace snapvane
