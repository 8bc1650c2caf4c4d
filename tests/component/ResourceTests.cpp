// The DLL's resources: exactly the type library, the IID of _MyIcommand, the
// button image, the cursor and the version information.
#include "ComponentSupport.h"

#include <cstring>
#include <vector>

namespace snapvane::test {
namespace {

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

class ComponentResources : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(module_) << "cannot load " << ComponentPath().size(); }

    std::vector<BYTE> Data(const wchar_t* type, const wchar_t* name, WORD language) const {
        HRSRC found = FindResourceExW(module_.get(), type, name, language);
        if (!found) return {};
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module_.get(), found)));
        return std::vector<BYTE>(data, data + SizeofResource(module_.get(), found));
    }

    unique_hmodule module_{LoadLibraryExW(ComponentPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)};
};

std::wstring ResourceId(const wchar_t* id) {
    return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id)) : std::wstring(id);
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(ResourceId(type) + L" " + ResourceId(name) + L" " +
                                                                  std::to_wstring(language));
    return TRUE;
}
BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR list) {
    EnumResourceLanguagesW(module, type, name, AddLanguage, list);
    return TRUE;
}
BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR list) {
    EnumResourceNamesW(module, type, AddName, list);
    return TRUE;
}

TEST_F(ComponentResources, CarriesExactlyItsOwnResources) {
    std::vector<std::wstring> found;
    EnumResourceTypesW(module_.get(), AddType, reinterpret_cast<LONG_PTR>(&found));
    std::sort(found.begin(), found.end());
    std::vector<std::wstring> expected = {
        L"#1 #1 1033",                  // the cursor image
        L"#12 CURSOR_CAMERA 1033",      // its cursor group
        L"#16 #1 1033",                 // version information
        L"#2 BITMAP_CAMERA 1033",
        L"TYPELIB #1 0",
        L"_IID_MYICOMMAND #1 0",
        L"#10 THIRD_PARTY_NOTICES 0",  // the licence notices of the JPEG decoder inside
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, found);
}

TEST_F(ComponentResources, IidResourceHoldsLengthAndTheIidOfMyIcommand) {
    std::vector<BYTE> data = Data(L"_IID_MYICOMMAND", MAKEINTRESOURCEW(1), kNeutral);
    ASSERT_EQ(20u, data.size());
    const BYTE length[] = {16, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(data.data(), length, 4));
    EXPECT_EQ(0, std::memcmp(data.data() + 4, &IID__MyIcommand, 16));
}

TEST_F(ComponentResources, CarriesTheJpegDecodersLicenceNotices) {
    std::vector<BYTE> data = Data(RT_RCDATA, L"THIRD_PARTY_NOTICES", kNeutral);
    const std::string text(data.begin(), data.end());
    EXPECT_NE(std::string::npos, text.find("contains libjpeg-turbo"));
    EXPECT_NE(std::string::npos, text.find("based in part on the work of the Independent JPEG Group"));
    EXPECT_NE(std::string::npos, text.find("Redistributions in binary form must reproduce"));
}

// The camera on white: '.' white, 'b' blue body, '#' black.
const char* const kCameraButton[16] = {
    "..##............", "..##............", ".bbbbbbbbbbbbbb.", ".bbbbbbbbbbbbbb.",
    ".bbbbbb##bbbbbb.", ".bbbb######bbbb.", ".bbbb######bbbb.", ".bbb########bbb.",
    ".bbb########bbb.", ".bbbb######bbbb.", ".bbbb######bbbb.", ".bbbbbb##bbbbbb.",
    ".bbbbbbbbbbbbbb.", ".bbbbbbbbbbbbbb.", "................", "................",
};

TEST_F(ComponentResources, ButtonImageIsA16ColourCameraOnWhite) {
    std::vector<BYTE> data = Data(RT_BITMAP, L"BITMAP_CAMERA", kEnglishUs);
    ASSERT_EQ(sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD) + 16 * 8, data.size());
    BITMAPINFOHEADER header;
    std::memcpy(&header, data.data(), sizeof(header));
    EXPECT_EQ(16, header.biWidth);
    EXPECT_EQ(16, header.biHeight) << "bottom row first";
    EXPECT_EQ(4, header.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);
    EXPECT_EQ(3780, header.biXPelsPerMeter);
    EXPECT_EQ(3780, header.biYPelsPerMeter);

    const COLORREF palette[16] = {
        RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
        RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(128, 128, 128),
        RGB(192, 192, 192), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
        RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255),
    };
    const BYTE* colours = data.data() + sizeof(header);
    for (int i = 0; i < 16; ++i) {
        const BYTE* quad = colours + 4 * i;
        EXPECT_EQ(palette[i], RGB(quad[2], quad[1], quad[0])) << "palette entry " << i;
    }

    const BYTE* pixels = colours + 16 * sizeof(RGBQUAD);
    for (int row = 0; row < 16; ++row) {
        std::string drawn;
        for (int column = 0; column < 16; ++column) {
            BYTE pair = pixels[(15 - row) * 8 + column / 2];
            int index = column % 2 ? pair & 0x0F : pair >> 4;
            drawn += index == 15 ? '.' : index == 12 ? 'b' : index == 0 ? '#' : '?';
        }
        EXPECT_EQ(kCameraButton[row], drawn) << "row " << row;
    }
}

TEST_F(ComponentResources, CursorIsOne32By32TwoColourImageWithItsHotSpotTopLeft) {
    std::vector<BYTE> group = Data(RT_GROUP_CURSOR, L"CURSOR_CAMERA", kEnglishUs);
    ASSERT_EQ(6u + 14u, group.size()) << "one image in the group";
    WORD width, doubledHeight, bitCount, id;
    std::memcpy(&width, &group[6], 2);
    std::memcpy(&doubledHeight, &group[8], 2);
    std::memcpy(&bitCount, &group[12], 2);
    std::memcpy(&id, &group[18], 2);
    EXPECT_EQ(32, width);
    EXPECT_EQ(64, doubledHeight);
    EXPECT_EQ(1, bitCount);

    std::vector<BYTE> image = Data(RT_CURSOR, MAKEINTRESOURCEW(id), kEnglishUs);
    ASSERT_GE(image.size(), 4u + sizeof(BITMAPINFOHEADER) + 8 + 256);
    WORD hotSpot[2];
    std::memcpy(hotSpot, image.data(), 4);
    EXPECT_EQ(0, hotSpot[0]);
    EXPECT_EQ(0, hotSpot[1]);
    BITMAPINFOHEADER header;
    std::memcpy(&header, image.data() + 4, sizeof(header));
    EXPECT_EQ(32, header.biWidth);
    EXPECT_EQ(64, header.biHeight);
    EXPECT_EQ(1, header.biBitCount);

    // Masks, bottom row first: AND 1 with XOR 0 is transparent, AND 0 with
    // XOR 0 black, AND 0 with XOR 1 white.
    const BYTE* xorMask = image.data() + 4 + sizeof(header) + 8;
    const BYTE* andMask = xorMask + 128;
    auto pixel = [&](int x, int y) {
        int offset = (31 - y) * 4 + x / 8, bit = 0x80 >> (x % 8);
        if (andMask[offset] & bit) return xorMask[offset] & bit ? '?' : ' ';
        return xorMask[offset] & bit ? 'w' : 'k';
    };
    EXPECT_EQ('k', pixel(0, 0)) << "the arrow's tip is the hot spot";
    EXPECT_EQ('k', pixel(13, 13)) << "the end of the arrow's shaft";
    EXPECT_EQ('w', pixel(31, 0)) << "the white square";
    EXPECT_EQ('k', pixel(18, 1)) << "the camera's button";
    EXPECT_EQ('k', pixel(17, 3)) << "the camera's outline";
    for (int y = 16; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(' ', pixel(x, y)) << "lower half at " << x << "," << y;
}

// ---- Version information ---------------------------------------------------

// One node of a version resource: its key, its value and its children.
struct VersionNode {
    std::wstring key;
    std::vector<BYTE> value;
    WORD valueLength = 0;
    WORD type = 0;
    std::vector<VersionNode> children;
    std::wstring Text() const {
        std::wstring text(reinterpret_cast<const wchar_t*>(value.data()), value.size() / 2);
        return text.substr(0, text.find(L'\0'));
    }
};

const BYTE* Aligned(const BYTE* base, const BYTE* at) { return base + ((at - base + 3) & ~3); }

VersionNode ParseVersionNode(const BYTE* base, const BYTE* at) {
    VersionNode node;
    WORD length;
    std::memcpy(&length, at, 2);
    std::memcpy(&node.valueLength, at + 2, 2);
    std::memcpy(&node.type, at + 4, 2);
    const BYTE* end = at + length;
    const wchar_t* key = reinterpret_cast<const wchar_t*>(at + 6);
    node.key = key;
    const BYTE* value = Aligned(base, at + 6 + (node.key.size() + 1) * 2);
    size_t valueBytes = node.type == 1 ? node.valueLength * 2u : node.valueLength;
    if (value + valueBytes > end) valueBytes = end - value;
    node.value.assign(value, value + valueBytes);
    for (const BYTE* child = Aligned(base, value + valueBytes); child + 6 <= end;) {
        WORD childLength;
        std::memcpy(&childLength, child, 2);
        if (childLength == 0) break;
        node.children.push_back(ParseVersionNode(base, child));
        child = Aligned(base, child + childLength);
    }
    return node;
}

TEST_F(ComponentResources, VersionInformationIsVersion1WithExactlyItsStrings) {
    const std::wstring path = ComponentPath();
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ(0u, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileSubtype);
    EXPECT_EQ(0u, fixed->dwFileDateMS);
    EXPECT_EQ(0u, fixed->dwFileDateLS);

    VersionNode root = ParseVersionNode(block.data(), block.data());
    EXPECT_EQ(L"VS_VERSION_INFO", root.key);
    ASSERT_EQ(2u, root.children.size());
    const VersionNode& strings = root.children[0];
    EXPECT_EQ(L"StringFileInfo", strings.key);
    ASSERT_EQ(1u, strings.children.size());
    EXPECT_EQ(L"040904B0", strings.children[0].key);
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    for (const VersionNode& entry : strings.children[0].children) entries.emplace_back(entry.key, entry.Text());
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"ProductName", L"Snapvane"},       {L"FileVersion", L"1.00"},
        {L"ProductVersion", L"1.00"},        {L"InternalName", L"Snapvane"},
        {L"OriginalFilename", L"Snapvane.dll"}, {L"OLESelfRegister", L""},
    };
    EXPECT_EQ(expected, entries);

    const VersionNode& variables = root.children[1];
    EXPECT_EQ(L"VarFileInfo", variables.key);
    ASSERT_EQ(1u, variables.children.size());
    EXPECT_EQ(L"Translation", variables.children[0].key);
    const std::vector<BYTE> translation = {0x09, 0x04, 0xB0, 0x04};
    EXPECT_EQ(translation, variables.children[0].value);
}

} // namespace
} // namespace snapvane::test
