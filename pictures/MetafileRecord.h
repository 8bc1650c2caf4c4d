// Inside the core: one record of a Windows metafile as GDI's players take it,
// and the walk over the records that the check, the cost and the frame share.
// Every record a walk hands on has been found playable first.
#pragma once

#include "pictures/Bytes.h"
#include "pictures/LittleEndian.h"

#include <cstddef>
#include <cstdint>

namespace snapvane::metafile {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableHeaderBytes = 22;
constexpr size_t kMetafileHeaderBytes = 18;
constexpr std::uint32_t kEndOfFileRecord = 0x0000;

inline std::int32_t SignedWord(const Byte* at) { return static_cast<std::int16_t>(Little16(at)); }

// One record as GDI plays it: its parameter words, and the bytes from its
// first parameter to the end of the file, which is as far as a read may go.
struct Record {
    std::uint32_t function;
    const Byte* params;
    std::uint64_t paramWords;  // inside the record
    std::uint64_t reachable;   // bytes up to the end of the file
    std::uint32_t objects;     // the object table's size, from the header

    std::uint32_t Param(std::uint64_t k) const { return k < paramWords ? Little16(params + 2 * k) : 0; }
    std::int32_t SignedParam(std::uint64_t k) const { return k < paramWords ? SignedWord(params + 2 * k) : 0; }
    bool Reads(std::uint64_t words) const { return words <= paramWords && 2 * words <= reachable; }
    bool ReadsBytes(std::uint64_t bytes) const { return bytes <= reachable; }
    bool NamesObject(std::uint64_t k) const { return k < paramWords && Param(k) < objects; }
};

// True when playing the record reads nothing beyond the file and names only
// declared objects (MetafileCheck.cpp).
bool RecordIsPlayable(const Record& record);

enum class Walk { Finished, Unsafe, Stopped };

// The metafile's header and where its records start; false for no metafile.
struct Layout {
    size_t start = 0;  // of the metafile header: after the placeable header, if any
    std::uint32_t objects = 0;
    bool declaresPlaceableHeaderToo = false;
};

inline bool ReadLayout(const Byte* bytes, size_t size, Layout& layout) {
    layout.start = size >= 4 && Little32(bytes) == kPlaceableKey ? kPlaceableHeaderBytes : 0;
    if (size < layout.start + kMetafileHeaderBytes) return false;
    const Byte* header = bytes + layout.start;
    const std::uint32_t kind = Little16(header), headerWords = Little16(header + 2);
    layout.objects = Little16(header + 10);
    const std::uint64_t declaredBytes = 2 * std::uint64_t{Little32(header + 6)};
    const std::uint64_t dataBytes = size - layout.start;
    // Writers more than one count the placeable header into the declared size.
    layout.declaresPlaceableHeaderToo =
        layout.start != 0 && declaredBytes > dataBytes && declaredBytes <= dataBytes + kPlaceableHeaderBytes + 1;
    return (kind == 1 || kind == 2) && headerWords == kMetafileHeaderBytes / 2 &&
           (declaredBytes <= dataBytes || layout.declaresPlaceableHeaderToo) && declaredBytes >= kMetafileHeaderBytes;
}

// Walks the records as the player does; each playable one goes to visit,
// which says whether to go on. Unsafe when a record is not playable.
//
// Players differ on where the records end: at the declared size, or at the
// end of the data (Wine's takes the data's size for the declared one). So
// the declared size must lie inside the file, and every record up to the
// end-of-file record or the file's end is checked. A declared size that
// counts the placeable header reaches past the data: the records must then
// end with the end-of-file record.
template <class Visit>
Walk WalkRecords(const Byte* bytes, size_t size, Visit visit) {
    Layout layout;
    if (!ReadLayout(bytes, size, layout)) return Walk::Unsafe;
    const size_t end = size;
    size_t at = layout.start + kMetafileHeaderBytes;
    while (at < end) {
        if (end - at < 6) return Walk::Unsafe;
        const std::uint64_t recordWords = Little32(bytes + at);
        if (recordWords < 3 || recordWords > (end - at) / 2) return Walk::Unsafe;
        const Record record{Little16(bytes + at + 4), bytes + at + 6, recordWords - 3, size - (at + 6), layout.objects};
        if (record.function == kEndOfFileRecord) return Walk::Finished;
        if (!RecordIsPlayable(record)) return Walk::Unsafe;
        if (!visit(record)) return Walk::Stopped;
        at += static_cast<size_t>(2 * recordWords);
    }
    return layout.declaresPlaceableHeaderToo ? Walk::Unsafe : Walk::Finished;
}

} // namespace snapvane::metafile
