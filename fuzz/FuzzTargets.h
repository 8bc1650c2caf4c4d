// One entry for each part of the pictures room that takes a file's bytes,
// called by a libFuzzer target of its own (native build) and by the tests
// that replay what fuzzing found (every build). Each bounds what an input may
// make it do, as the viewer does, so that a finding is a fault, not a slow file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace snapvane::fuzz {

using Entry = void (*)(const std::uint8_t* bytes, std::size_t size);

// Identification, and the check of a bitmap before the OLE loader gets it.
void IdentifyAndReadHeader(const std::uint8_t* bytes, std::size_t size);
// The record check of a metafile and the drawing it asks for.
void CheckAndCostMetafile(const std::uint8_t* bytes, std::size_t size);
// A GIF's first image found and decoded into a small box.
void DecodeGif(const std::uint8_t* bytes, std::size_t size);
// The orientation in an EXIF segment.
void ReadExif(const std::uint8_t* bytes, std::size_t size);
// A JPEG decoded into a small box.
void DecodeJpeg(const std::uint8_t* bytes, std::size_t size);
// A bitmap's headers checked and its rows read into a small box.
void ReadBitmap(const std::uint8_t* bytes, std::size_t size);

struct Target {
    const char* name;
    Entry entry;
};
// Every target, by the name its fuzzer and its regression folder carry.
extern const Target kTargets[];
extern const std::size_t kTargetCount;

} // namespace snapvane::fuzz
