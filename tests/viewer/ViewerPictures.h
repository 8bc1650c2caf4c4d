// Pictures and folders that the viewer tests make for themselves, and what the
// picture box shows, read from the window.
#pragma once

#include <windows.h>

#include <string>

namespace snapvane::test {

// A new empty folder under the temporary folder, removed with its content
// when the object goes.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    // The folder's path, without a trailing separator.
    const std::wstring& Path() const { return path_; }
    // The path of a file or folder inside it.
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Single-colour pictures of the given pixel size in each format the viewer reads.
void WriteBmp(const std::wstring& path, int width, int height, COLORREF colour);
void WriteWmf(const std::wstring& path, int width, int height, COLORREF colour);
void WriteJpeg(const std::wstring& path, int width, int height, COLORREF colour);
void WriteGif(const std::wstring& path, int width, int height, COLORREF colour);
void WriteBytes(const std::wstring& path, const std::string& bytes);

// The folder of the JPEG test pictures that make-jpeg-pictures.sh makes
// beside the test programs at build time, ending in "\".
std::wstring JpegTestPictures();

// The colour the picture box shows at a point of the box (pixels from its
// top-left corner); CLR_INVALID when it shows no picture.
COLORREF PictureBoxColour(HWND viewer, int x, int y);
// The picture box's size in pixels.
SIZE PictureBoxSize(HWND viewer);

// True when two colours differ by at most tolerance in every component.
bool ColourNear(COLORREF actual, COLORREF expected, int tolerance = 12);

} // namespace snapvane::test
