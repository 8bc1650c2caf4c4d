// Writes the pictures the tests craft byte by byte into a folder, as seeds for
// the fuzzers of the pictures room (scripts/fuzz.sh):
//
//   picture_seed_writer FOLDER
#include "CraftedPictures.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

using namespace snapvane::test;

namespace {

std::vector<std::pair<std::string, std::string>> SeedPictures() {
    std::vector<std::pair<std::string, std::string>> seeds;
    MetafileRecords shapes;
    shapes.Window(64, 64, RGB(0, 128, 0)).Add(META_RECTANGLE, {60, 60, 4, 4}).Add(META_ELLIPSE, {50, 50, 10, 10});
    shapes.Add(META_POLYGON, PolygonParams(Zigzag(12, 64, 64))).Add(META_SAVEDC, {}).Add(META_SETMAPMODE, {MM_ANISOTROPIC});
    shapes.Add(META_SETVIEWPORTEXT, {32, 32}).Add(META_RESTOREDC, {0xFFFF}).Add(META_MOVETO, {0, 0}).Add(META_LINETO, {64, 64});
    shapes.Add(META_CREATEFONTINDIRECT, std::vector<std::uint16_t>(9 + 16, 0)).Add(META_TEXTOUT, {2, 'a' | ('b' << 8), 10, 10});
    seeds.emplace_back("shapes.wmf", shapes.Placeable(64, 64));
    seeds.emplace_back("counted-header.wmf", shapes.Placeable(64, 64, 96, true));
    seeds.emplace_back("plain-window.wmf", PlainMetafileWithWindow());
    seeds.emplace_back("plain-bounds.wmf", PlainMetafileByBounds());
    seeds.emplace_back("old-bitmaps.wmf", MetafileWithOldBitmaps());
    seeds.emplace_back("enhanced.emf", EnhancedMetafile(RGB(0, 0, 255)));
    seeds.emplace_back("wrapped.wmf", StreamWrapped(shapes.Placeable(64, 64)));
    seeds.emplace_back("no-colour-table.gif", GifWithoutColourTable());
    seeds.emplace_back("colours.png", PngPicture(24, 16, RGB(200, 0, 0), RGB(0, 0, 200)));
    for (std::uint32_t header : {12u, 16u, 40u, 56u, 108u, 124u})
        for (int bits : {16, 24, 32})
            if (header != 12 || bits == 24)
                seeds.emplace_back("bitmap-" + std::to_string(header) + "-" + std::to_string(bits) + ".bmp",
                                   BitmapVariant(header, bits, RGB(200, 100, 50)));
    seeds.emplace_back("bitfields.bmp", BitmapVariant(40, 16, RGB(10, 200, 30), {0xF800, 0x07E0, 0x001F}));
    return seeds;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: picture_seed_writer FOLDER\n");
        return 2;
    }
    for (const auto& [name, bytes] : SeedPictures()) {
        std::ofstream file(std::string(argv[1]) + "/" + name, std::ios::binary);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!file) return 1;
    }
    return 0;
}
