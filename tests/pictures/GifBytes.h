// GIFs made here, byte by byte, for the tests of the GIF reader: an LZW
// encoder as GIF encoders write one (a clear code when the table is full),
// one for a single colour that costs nothing per pixel, and the blocks
// around them. Portable: no platform header.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace snapvane::test {

namespace gif {

inline void Word(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

class CodeWriter {
public:
    void Put(unsigned code, unsigned width) {
        bits_ |= static_cast<std::uint64_t>(code) << count_;
        count_ += width;
        while (count_ >= 8) {
            out_ += static_cast<char>(bits_ & 0xFF);
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    std::string Finish() {
        if (count_ > 0) out_ += static_cast<char>(bits_ & 0xFF);
        return std::move(out_);
    }

private:
    std::string out_;
    std::uint64_t bits_ = 0;
    unsigned count_ = 0;
};

// The width a decoder reads the next code in, when the encoder's table
// would take its next entry at `next` (the decoder's is one behind).
inline unsigned Width(unsigned next, unsigned minimumCodeSize) {
    unsigned bits = 0;
    for (unsigned n = next; n; n >>= 1) ++bits;
    return std::clamp(bits, minimumCodeSize + 1, 12u);
}

} // namespace gif

// The LZW codes of the pixels, packed, without the sub-block framing.
inline std::string Lzw(const std::vector<std::uint8_t>& pixels, unsigned minimumCodeSize) {
    const unsigned clear = 1u << minimumCodeSize, end = clear + 1;
    gif::CodeWriter out;
    std::map<std::pair<unsigned, std::uint8_t>, unsigned> table;
    unsigned next = clear + 2;
    out.Put(clear, minimumCodeSize + 1);
    if (pixels.empty()) {
        out.Put(end, minimumCodeSize + 1);
        return out.Finish();
    }
    unsigned current = pixels[0];
    for (size_t k = 1; k < pixels.size(); ++k) {
        auto found = table.find({current, pixels[k]});
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        out.Put(current, gif::Width(next - 1, minimumCodeSize));
        if (next < 4096) {
            table[{current, pixels[k]}] = next++;
        } else {
            out.Put(clear, 12);
            table.clear();
            next = clear + 2;
        }
        current = pixels[k];
    }
    out.Put(current, gif::Width(next - 1, minimumCodeSize));
    out.Put(end, gif::Width(next, minimumCodeSize));
    return out.Finish();
}

// What Lzw makes of `count` pixels of one colour, made in time proportional
// to the codes: after each clear the k-th code covers k + 1 pixels.
inline std::string LzwOneColour(std::uint64_t count, std::uint8_t colour, unsigned minimumCodeSize) {
    const unsigned clear = 1u << minimumCodeSize, end = clear + 1;
    gif::CodeWriter out;
    out.Put(clear, minimumCodeSize + 1);
    unsigned next = clear + 2, k = 0;
    while (count > 0) {
        const std::uint64_t covers = std::min<std::uint64_t>(k + 1, count);
        out.Put(covers == 1 ? colour : clear + 2 + static_cast<unsigned>(covers) - 2, gif::Width(next - 1, minimumCodeSize));
        count -= covers;
        if (count == 0) break;
        if (next < 4096) {
            ++next;
            ++k;
        } else {
            out.Put(clear, 12);
            next = clear + 2;
            k = 0;
        }
    }
    out.Put(end, gif::Width(next, minimumCodeSize));
    return out.Finish();
}

// The data in sub-blocks of up to 255 bytes, and the terminator.
inline std::string SubBlocks(const std::string& data) {
    std::string out;
    for (size_t at = 0; at < data.size(); at += 255) {
        const std::string block = data.substr(at, 255);
        out += static_cast<char>(block.size());
        out += block;
    }
    out += '\0';
    return out;
}

// A header with a global table of the colours (red, green, blue; a power of
// two of entries, at least 2), or none when empty.
inline std::string GifHeader(unsigned width, unsigned height, const std::string& colours) {
    std::string out = "GIF89a";
    gif::Word(out, width);
    gif::Word(out, height);
    unsigned bits = 0;
    while ((2u << bits) * 3 < colours.size()) ++bits;
    out += static_cast<char>(colours.empty() ? 0 : 0x80 | 0x70 | bits);
    out += '\0';
    out += '\0';
    return out + colours;
}

// A graphic control extension making `index` transparent.
inline std::string Transparent(std::uint8_t index) {
    return std::string("\x21\xF9\x04\x01\x00\x00", 6) + static_cast<char>(index) + '\0';
}

// An image descriptor and its data, already LZW-coded.
inline std::string GifImageBlock(unsigned width, unsigned height, const std::string& lzw, unsigned minimumCodeSize,
                                 bool interlaced = false, const std::string& localColours = "") {
    std::string out = ",";
    gif::Word(out, 0);
    gif::Word(out, 0);
    gif::Word(out, width);
    gif::Word(out, height);
    unsigned bits = 0;
    while ((2u << bits) * 3 < localColours.size()) ++bits;
    out += static_cast<char>((interlaced ? 0x40 : 0) | (localColours.empty() ? 0 : 0x80 | bits));
    out += localColours;
    out += static_cast<char>(minimumCodeSize);
    return out + SubBlocks(lzw);
}

// The rows of an image in the order an interlaced GIF stores them.
inline std::vector<std::uint8_t> Interlace(const std::vector<std::uint8_t>& pixels, unsigned width, unsigned height) {
    std::vector<std::uint8_t> out;
    const unsigned start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (unsigned y = start[pass]; y < height; y += step[pass])
            out.insert(out.end(), pixels.begin() + static_cast<std::ptrdiff_t>(y * width),
                       pixels.begin() + static_cast<std::ptrdiff_t>((y + 1) * width));
    return out;
}

// An animation whose first image is 1 x 1 and whose later frames are
// `frames` frames of `side` x `side` pixels of one colour: a small file that
// asks a decoder of every frame for gigabytes.
inline std::string HugeLaterFrames(int frames, unsigned side) {
    const std::string colours("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12);  // red, green, blue, white
    std::string out = GifHeader(1, 1, colours);
    out += GifImageBlock(1, 1, Lzw({0}, 2), 2);  // red
    const std::string later = LzwOneColour(static_cast<std::uint64_t>(side) * side, 1, 2);
    for (int k = 0; k < frames; ++k) out += GifImageBlock(side, side, later, 2);
    return out + ";";
}

} // namespace snapvane::test
