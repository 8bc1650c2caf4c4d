// Progressive JPEGs written segment by segment, with scans that bring no
// data: libjpeg decodes every block of each such scan all the same, so a
// few hundred bytes ask for as much work as the frame's size allows.
#pragma once

#include <string>
#include <vector>

namespace snapvane::test {

struct CraftedScan {
    std::vector<int> components;  // 1 luma, 2 and 3 colour
    int ss, se, ah, al;           // spectral band and successive approximation
};

// The scans libjpeg's own encoder writes for a progressive colour file.
inline std::vector<CraftedScan> OrdinaryProgression() {
    return {{{1, 2, 3}, 0, 0, 0, 1}, {{1}, 1, 5, 0, 2},  {{3}, 1, 63, 0, 1}, {{2}, 1, 63, 0, 1},
            {{1}, 6, 63, 0, 2},      {{1}, 1, 63, 2, 1}, {{1, 2, 3}, 0, 0, 1, 0}, {{3}, 1, 63, 1, 0},
            {{2}, 1, 63, 1, 0},      {{1}, 1, 63, 1, 0}};
}

struct CraftedJpeg {
    unsigned width = 7000, height = 7000;
    bool arithmetic = true;
    bool halfSizeColour = true;  // 4:2:0; else every component at full size
    std::vector<CraftedScan> scans = OrdinaryProgression();
    // A Huffman-table segment at the end, cut short, whose symbols hold this
    // many FF C4 pairs: what a search backwards for a segment start finds.
    int cutTablePairs = 4;

    std::string Bytes() const {
        std::string out = "\xFF\xD8";
        auto segment = [&](int marker, const std::string& body) {
            const size_t length = body.size() + 2;
            out += '\xFF';
            out += static_cast<char>(marker);
            out += static_cast<char>(length >> 8);
            out += static_cast<char>(length & 0xFF);
            out += body;
        };
        segment(0xDB, std::string(1, '\0') + std::string(64, '\1'));
        segment(0xDB, std::string(1, '\1') + std::string(64, '\1'));
        std::string frame = {8, static_cast<char>(height >> 8), static_cast<char>(height & 0xFF),
                             static_cast<char>(width >> 8), static_cast<char>(width & 0xFF), 3};
        for (char id : {1, 2, 3}) frame += {id, static_cast<char>(id == 1 && halfSizeColour ? 0x22 : 0x11), id == 1 ? '\0' : '\1'};
        segment(arithmetic ? 0xCA : 0xC2, frame);
        if (!arithmetic) {
            // One DC and one AC table for each class of component, twelve
            // and fifteen symbols of lengths 2 to 13 and 2 to 16.
            std::string dc(16, '\0'), ac(16, '\0');
            for (int k = 1; k < 12; ++k) dc[k] = 1;
            dc[12] = 1;
            for (int k = 1; k < 16; ++k) ac[k] = 1;
            for (int k = 0; k < 12; ++k) dc += static_cast<char>(k);
            for (int k = 0; k < 14; ++k) ac += static_cast<char>(k);
            ac += '\xF0';
            for (char table : {0x00, 0x01}) segment(0xC4, std::string(1, table) + dc);
            for (char table : {0x10, 0x11}) segment(0xC4, std::string(1, table) + ac);
        }
        for (const CraftedScan& scan : scans) {
            std::string body(1, static_cast<char>(scan.components.size()));
            for (int id : scan.components) body += {static_cast<char>(id), static_cast<char>(id == 1 ? 0x00 : 0x11)};
            body += {static_cast<char>(scan.ss), static_cast<char>(scan.se), static_cast<char>((scan.ah << 4) | scan.al)};
            segment(0xDA, body);
        }
        if (cutTablePairs > 0) {
            // Declares 200 symbols and ten bytes more than they take.
            const size_t length = 2 + 1 + 16 + 200 + 10;
            out += "\xFF\xC4";
            out += static_cast<char>(length >> 8);
            out += static_cast<char>(length & 0xFF);
            out += '\x10';
            out += std::string(15, '\0') + static_cast<char>(200);
            for (int k = 0; k < cutTablePairs; ++k) out += "\xFF\xC4";
        }
        return out;
    }
};

} // namespace snapvane::test
