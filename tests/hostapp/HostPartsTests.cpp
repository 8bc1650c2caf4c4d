// The parts the scripted runs rely on: reading a picture area from its
// pixels, and file associations that are put back when a run ends.
#include "hostapp/FileAssociations.h"
#include "hostapp/WindowReader.h"
#include "win32/Handles.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>

using namespace snapvane;
using namespace snapvane::hostapp;

namespace {

// A window that paints a grey background and, when asked, a red 100 x 50
// rectangle at (20, 30).
struct PaintedArea {
    static inline bool withPicture = false;
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_PAINT) {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT all;
            GetClientRect(window, &all);
            unique_hbrush grey(CreateSolidBrush(RGB(128, 128, 128)));
            FillRect(dc, &all, grey.get());
            if (withPicture) {
                unique_hbrush red(CreateSolidBrush(RGB(255, 0, 0)));
                RECT picture{20, 30, 120, 80};
                FillRect(dc, &picture, red.get());
            }
            EndPaint(window, &paint);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    PaintedArea() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"SnapvaneTestPaintedArea";
        RegisterClassW(&windowClass);
        window.reset(CreateWindowExW(WS_EX_TOOLWINDOW, L"SnapvaneTestPaintedArea", L"", WS_POPUP | WS_VISIBLE, 10, 10,
                                     300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    }
    unique_hwnd window;
};

TEST(PictureArea, ShowsTheDisplayedPicturesSizeAndCentreColour) {
    PaintedArea area;
    ASSERT_TRUE(area.window);
    PaintedArea::withPicture = true;
    Json picture = ReadPictureArea(area.window.get());
    EXPECT_EQ(picture["empty"], false);
    EXPECT_EQ(picture["width"], 100);
    EXPECT_EQ(picture["height"], 50);
    EXPECT_EQ(picture["centre"], "#ff0000");
    // Nothing but the background: empty.
    PaintedArea::withPicture = false;
    InvalidateRect(area.window.get(), nullptr, TRUE);
    EXPECT_EQ(ReadPictureArea(area.window.get())["empty"], true);
}

std::wstring DefaultValue(const wchar_t* key) {
    wchar_t text[512];
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"<none>";
    return text;
}

std::wstring ThisProgram() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    return std::wstring(path, length);
}

TEST(FileAssociationsOfARun, OpenWithTheProgramAndArePutBackAfterwards) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(ARRAYSIZE(folder), folder);
    const std::wstring file = std::wstring(folder) + L"picture.snapvanetest";
    unique_handle created(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    created.reset();
    // An extension that had a program before the run.
    RegSetValueW(HKEY_CLASSES_ROOT, L".snapvanekept", REG_SZ, L"Snapvane.TestKept", 0);
    {
        FileAssociations associations;
        associations.Associate(L".snapvanetest", ThisProgram());
        associations.Dissociate(L".snapvanekept");
        wchar_t program[MAX_PATH] = L"";
        HINSTANCE found = FindExecutableW(file.c_str(), nullptr, program);
        EXPECT_GT(reinterpret_cast<INT_PTR>(found), 32);
        EXPECT_EQ(CompareStringOrdinal(program, -1, ThisProgram().c_str(), -1, TRUE), CSTR_EQUAL) << program;
        EXPECT_EQ(DefaultValue(L".snapvanekept"), L"<none>");
    }
    EXPECT_EQ(DefaultValue(L".snapvanetest"), L"<none>");
    EXPECT_EQ(DefaultValue(L".snapvanekept"), L"Snapvane.TestKept");
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Snapvane.RecordedPicture", 0, KEY_READ, &key), ERROR_SUCCESS);
    if (key) RegCloseKey(key);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".snapvanekept");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".snapvanetest");
    DeleteFileW(file.c_str());
}

} // namespace
