// The numbers that Windows picture files store, as their formats define them:
// metafile record functions, bitmap compressions, mapping modes. The core
// reads files with these and needs no platform header to do it.
#pragma once

#include <cstdint>

namespace snapvane::wmf {

// Record functions of a Windows metafile.
constexpr std::uint32_t kAnimatePalette = 0x0436;
constexpr std::uint32_t kArc = 0x0817;
constexpr std::uint32_t kBitBlt = 0x0922;
constexpr std::uint32_t kChord = 0x0830;
constexpr std::uint32_t kCreateBrushIndirect = 0x02fc;
constexpr std::uint32_t kCreateFontIndirect = 0x02fb;
constexpr std::uint32_t kCreatePalette = 0x00f7;
constexpr std::uint32_t kCreatePatternBrush = 0x01f9;
constexpr std::uint32_t kCreatePenIndirect = 0x02fa;
constexpr std::uint32_t kCreateRegion = 0x06ff;
constexpr std::uint32_t kDIBBitBlt = 0x0940;
constexpr std::uint32_t kDIBCreatePatternBrush = 0x0142;
constexpr std::uint32_t kDIBStretchBlt = 0x0b41;
constexpr std::uint32_t kDeleteObject = 0x01f0;
constexpr std::uint32_t kEllipse = 0x0418;
constexpr std::uint32_t kEscape = 0x0626;
constexpr std::uint32_t kExcludeClipRect = 0x0415;
constexpr std::uint32_t kExtFloodFill = 0x0548;
constexpr std::uint32_t kExtTextOut = 0x0a32;
constexpr std::uint32_t kFillRegion = 0x0228;
constexpr std::uint32_t kFloodFill = 0x0419;
constexpr std::uint32_t kFrameRegion = 0x0429;
constexpr std::uint32_t kIntersectClipRect = 0x0416;
constexpr std::uint32_t kInvertRegion = 0x012a;
constexpr std::uint32_t kLineTo = 0x0213;
constexpr std::uint32_t kMoveTo = 0x0214;
constexpr std::uint32_t kOffsetClipRgn = 0x0220;
constexpr std::uint32_t kOffsetViewportOrg = 0x0211;
constexpr std::uint32_t kOffsetWindowOrg = 0x020f;
constexpr std::uint32_t kPaintRegion = 0x012b;
constexpr std::uint32_t kPatBlt = 0x061d;
constexpr std::uint32_t kPie = 0x081a;
constexpr std::uint32_t kPolyPolygon = 0x0538;
constexpr std::uint32_t kPolygon = 0x0324;
constexpr std::uint32_t kPolyline = 0x0325;
constexpr std::uint32_t kRectangle = 0x041b;
constexpr std::uint32_t kRestoreDC = 0x0127;
constexpr std::uint32_t kRoundRect = 0x061c;
constexpr std::uint32_t kSaveDC = 0x001e;
constexpr std::uint32_t kScaleViewportExt = 0x0412;
constexpr std::uint32_t kScaleWindowExt = 0x0410;
constexpr std::uint32_t kSelectClipRegion = 0x012c;
constexpr std::uint32_t kSelectObject = 0x012d;
constexpr std::uint32_t kSelectPalette = 0x0234;
constexpr std::uint32_t kSetBkColor = 0x0201;
constexpr std::uint32_t kSetBkMode = 0x0102;
constexpr std::uint32_t kSetDIBToDev = 0x0d33;
constexpr std::uint32_t kSetMapMode = 0x0103;
constexpr std::uint32_t kSetMapperFlags = 0x0231;
constexpr std::uint32_t kSetPalEntries = 0x0037;
constexpr std::uint32_t kSetPixel = 0x041f;
constexpr std::uint32_t kResizePalette = 0x0139;
constexpr std::uint32_t kSetPolyFillMode = 0x0106;
constexpr std::uint32_t kSetRop2 = 0x0104;
constexpr std::uint32_t kSetRelAbs = 0x0105;
constexpr std::uint32_t kSetStretchBltMode = 0x0107;
constexpr std::uint32_t kSetTextAlign = 0x012e;
constexpr std::uint32_t kSetTextCharExtra = 0x0108;
constexpr std::uint32_t kSetTextColor = 0x0209;
constexpr std::uint32_t kSetTextJustification = 0x020a;
constexpr std::uint32_t kSetViewportExt = 0x020e;
constexpr std::uint32_t kSetViewportOrg = 0x020d;
constexpr std::uint32_t kSetWindowExt = 0x020c;
constexpr std::uint32_t kSetWindowOrg = 0x020b;
constexpr std::uint32_t kStretchBlt = 0x0b23;
constexpr std::uint32_t kStretchDIB = 0x0f43;
constexpr std::uint32_t kTextOut = 0x0521;

// Mapping modes a metafile may set.
constexpr int kMapModeText = 1;
constexpr int kMapModeIsotropic = 7;
constexpr int kMapModeAnisotropic = 8;

// Text output options that put a rectangle into the record.
constexpr std::uint32_t kTextOpaque = 0x0002;
constexpr std::uint32_t kTextClipped = 0x0004;

// Brush styles of a pattern brush record.
constexpr std::uint32_t kBrushPattern = 3;
constexpr std::uint32_t kBrushDibPattern = 5;

// The characters of a font's face name.
constexpr std::uint64_t kFaceNameChars = 32;

} // namespace snapvane::wmf

namespace snapvane::dib {

// How a bitmap's pixels are stored.
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kBitFields = 3;

// Colour tables of palette indices (two bytes an entry) or of colours.
constexpr std::uint32_t kRgbColours = 0;
constexpr std::uint32_t kPaletteColours = 1;

// Header sizes: the old core header and the information header.
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr std::uint32_t kInfoHeaderBytes = 40;

} // namespace snapvane::dib
