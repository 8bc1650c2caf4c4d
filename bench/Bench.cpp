// Benchmarks of the click-to-picture road, run by scripts/bench.sh:
//   (a) a press on a feature until its picture is on screen, through the real
//       DLL on the stand-in host, beside the fastest bare platform decode of
//       the same file into the picture box's size;
//   (b) one repaint of the picture box once the picture is shown;
//   (c) memory: kept while the picture is shown, peak while loading, after Exit;
//   (d) a press on a map of many layers of many features: the whole click
//       beside the host's own share of it.
//
//   snapvane_bench.exe PICTURE-FOLDER [DJPEG-TIMES-FILE]
//
// SNAPVANE_BENCH_RUNS (default 5) sets the repetitions of each timing;
// SNAPVANE_BENCH_LAYERS and SNAPVANE_BENCH_FEATURES (default 200 and 10000)
// size the large map. SNAPVANE_BENCH_PICTURES (names separated by commas)
// measures those pictures alone; SNAPVANE_BENCH_MAP=0 leaves out the map.
#include "hardening/ProcessResources.h"
#include "standin/ClassRegistration.h"
#include "standin/Probe.h"
#include "standin/ProbeHooks.h"
#include "standin/StandIn.h"
#include "support/SnapvaneDll.h"
#include "viewer/DisplayPicture.h"
#include "pictures/JpegPicture.h"
#include "pictures/LoadPicture.h"
#include "win32/Handles.h"

#include <objbase.h>
#include <ole2.h>
#include <olectl.h>
#include <shellapi.h>
#include <intrin.h>
#include <wincodec.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace snapvane;
using namespace snapvane::test;
using standin::FieldType;
using standin::Shape;

namespace {

constexpr SIZE kBox{683, 512};  // the picture box at 96 DPI: 512 x 384 points

long Setting(const char* name, long fallback) {
    const char* text = std::getenv(name);
    long value = text ? std::atol(text) : 0;
    return value > 0 ? value : fallback;
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Whether SNAPVANE_BENCH_PICTURES, when set, names the picture.
bool Chosen(const wchar_t* name) {
    const char* chosen = std::getenv("SNAPVANE_BENCH_PICTURES");
    if (!chosen || !*chosen) return true;
    std::string narrow;
    for (const wchar_t* c = name; *c; ++c) narrow += static_cast<char>(*c);
    const std::string list = "," + std::string(chosen) + ",";
    return list.find("," + narrow + ",") != std::string::npos;
}

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Fastest(const std::vector<double>& values) {
    return values.empty() ? -1 : *std::min_element(values.begin(), values.end());
}

double MbDelta(SIZE_T after, SIZE_T before) {
    return (static_cast<double>(after) - static_cast<double>(before)) / (1024.0 * 1024.0);
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// ---- Bare platform decodes into the box's size ------------------------------

SIZE Fit(UINT width, UINT height) {
    double scale = std::min(static_cast<double>(kBox.cx) / width, static_cast<double>(kBox.cy) / height);
    return {std::max(1L, std::lround(width * scale)), std::max(1L, std::lround(height * scale))};
}

// WIC decoder, then its scaler (nearest neighbour, the fastest mode), copied out.
double WicDecode(IWICImagingFactory* factory, const std::wstring& path) {
    double start = Now();
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  decoder.GetAddressOf())))
        return -1;
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    if (FAILED(decoder->GetFrame(0, frame.GetAddressOf())) || FAILED(frame->GetSize(&width, &height))) return -1;
    SIZE fit = Fit(width, height);
    ComPtr<IWICBitmapScaler> scaler;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateBitmapScaler(scaler.GetAddressOf())) ||
        FAILED(scaler->Initialize(frame.Get(), fit.cx, fit.cy, WICBitmapInterpolationModeNearestNeighbor)) ||
        FAILED(factory->CreateFormatConverter(converter.GetAddressOf())) ||
        FAILED(converter->Initialize(scaler.Get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)))
        return -1;
    std::vector<BYTE> pixels(static_cast<size_t>(fit.cx) * fit.cy * 4);
    if (FAILED(converter->CopyPixels(nullptr, fit.cx * 4, static_cast<UINT>(pixels.size()), pixels.data()))) return -1;
    return Now() - start;
}

// OLE's picture loader from memory, rendered once into a box-sized bitmap
// with the cheapest stretch mode.
double OleDecode(const std::wstring& path) {
    double start = Now();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD size = GetFileSize(file, nullptr), read = 0;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    ReadFile(file, GlobalLock(memory), size, &read, nullptr);
    GlobalUnlock(memory);
    CloseHandle(file);
    ComPtr<IStream> stream;
    CreateStreamOnHGlobal(memory, TRUE, stream.GetAddressOf());
    ComPtr<IPicture> picture;
    if (FAILED(OleLoadPicture(stream.Get(), static_cast<LONG>(size), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(picture.GetAddressOf()))))
        return -1;
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture->get_Width(&width);
    picture->get_Height(&height);
    SIZE fit = Fit(static_cast<UINT>(width), static_cast<UINT>(height));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kBox.cx, -kBox.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ before = SelectObject(dc, bitmap);
    SetStretchBltMode(dc, COLORONCOLOR);
    picture->Render(dc, 0, 0, fit.cx, fit.cy, 0, height, width, -height, nullptr);
    GdiFlush();
    SelectObject(dc, before);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return Now() - start;
}

// ---- A person in front of the screen, with a stopwatch ------------------------

// Watches the main thread's windows from a thread of its own: stamps the
// moment the viewer (or a message box) is up and its modal loop answers,
// samples memory meanwhile, optionally times repaints, then leaves.
class Stopwatch {
public:
    Stopwatch(DWORD thread, bool timeRepaint, const wchar_t* windowClass = kDisplayPictureClass)
        : thread_(thread), timeRepaint_(timeRepaint), windowClass_(windowClass) {
        worker_ = std::thread([this] { Watch(); });
        // A new thread's start (every loaded library is told of it) is no
        // part of what is timed: the timing starts once the watch is on.
        while (!watching_) Sleep(0);
    }
    ~Stopwatch() {
        stop_ = true;
        worker_.join();
    }

    double shownAt = -1;           // Now() when the window was up
    SIZE_T privateShown = 0;
    SIZE_T privatePeak = 0;
    std::vector<double> repaints;  // ms per repaint of the picture box
    double roundTrip = -1;         // ms of an empty message to the viewer
    std::wstring message;          // a message box's text, if one came

private:
    struct Search {
        const wchar_t* name;
        HWND found;
    };
    static BOOL CALLBACK MatchVisible(HWND window, LPARAM data) {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (lstrcmpW(name, s->name) == 0 && IsWindowVisible(window)) {
            s->found = window;
            return FALSE;
        }
        return TRUE;
    }
    static HWND VisibleOf(DWORD thread, const wchar_t* className) {
        Search search{className, nullptr};
        EnumThreadWindows(thread, MatchVisible, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    void Watch() {
        watching_ = true;
        while (!stop_) {
            privatePeak = std::max(privatePeak, PrivateBytes());
            if (HWND box = VisibleOf(thread_, L"#32770")) {
                if (shownAt < 0) shownAt = Now();
                wchar_t text[512] = {};
                GetDlgItemTextW(box, 0xFFFF, text, 512);
                message = text;
                PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
                Sleep(20);
                continue;
            }
            HWND viewer = VisibleOf(thread_, windowClass_);
            if (viewer && IsWindowEnabled(viewer)) {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(viewer, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
                if (shownAt < 0) shownAt = Now();
                privateShown = PrivateBytes();
                privatePeak = std::max(privatePeak, privateShown);
                if (timeRepaint_) TimeRepaints(viewer);
                HWND exitButton = GetDlgItem(viewer, DisplayPictureControl::ExitButton);
                PostMessageW(viewer, WM_COMMAND, MAKEWPARAM(DisplayPictureControl::ExitButton, BN_CLICKED),
                             reinterpret_cast<LPARAM>(exitButton));
                while (!stop_ && IsWindowVisible(viewer)) Sleep(1);
                continue;
            }
            Sleep(1);
        }
    }

    // The picture box is invalidated and painted by its own thread; an
    // empty message to the same thread gives the cost of the hand-over.
    void TimeRepaints(HWND viewer) {
        HWND image = GetDlgItem(viewer, DisplayPictureControl::Image);
        DWORD_PTR ignored = 0;
        std::vector<double> trips;
        for (int k = 0; k < 30; ++k) {
            double start = Now();
            SendMessageTimeoutW(image, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
            trips.push_back(Now() - start);
            InvalidateRect(image, nullptr, FALSE);
            start = Now();
            SendMessageTimeoutW(image, WM_PAINT, 0, 0, SMTO_NORMAL, 5000, &ignored);
            repaints.push_back(Now() - start);
        }
        roundTrip = Median(trips);
    }

    DWORD thread_;
    bool timeRepaint_;
    const wchar_t* windowClass_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> watching_{false};
    std::thread worker_;
};

// ---- The metafile the benchmark draws for itself ------------------------------

// With `placeable`, the placeable header comes first; without, the file is
// the records alone and the viewer frames it by their window.
void WriteLargeMetafile(const std::wstring& path, int shapes, bool placeable = true) {
    HDC meta = CreateMetaFileW(nullptr);
    SetWindowOrgEx(meta, 0, 0, nullptr);
    SetWindowExtEx(meta, 4000, 3000, nullptr);
    unsigned state = 12345;
    auto next = [&] { return state = state * 1103515245u + 12345u, (state >> 8) & 0xFFFF; };
    for (int k = 0; k < shapes; ++k) {
        HBRUSH brush = CreateSolidBrush(RGB(next() & 255, next() & 255, next() & 255));
        HGDIOBJ old = SelectObject(meta, brush);
        int x = next() % 4000, y = next() % 3000;
        Ellipse(meta, x, y, x + 20 + next() % 200, y + 20 + next() % 150);
        SelectObject(meta, old);
        DeleteObject(brush);
    }
    HMETAFILE metafile = CloseMetaFile(meta);
    UINT size = GetMetaFileBitsEx(metafile, 0, nullptr);
    std::string records(size, '\0');
    GetMetaFileBitsEx(metafile, size, records.data());
    DeleteMetaFile(metafile);
    WORD header[11] = {0xCDD7, 0x9AC6, 0, 0, 0, 4000, 3000, 400, 0, 0, 0};
    for (int i = 0; i < 10; ++i) header[10] ^= header[i];
    std::ofstream file(std::filesystem::path(path), std::ios::binary);
    if (placeable) file.write(reinterpret_cast<const char*>(header), sizeof header);
    file.write(records.data(), static_cast<std::streamsize>(records.size()));
}

// ---- (a) to (c): one picture -------------------------------------------------------

// ---- A bare window made like the viewer -------------------------------------

constexpr wchar_t kBareWindowClass[] = L"SnapvaneBenchBareWindow";

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == DisplayPictureControl::ExitButton) {
        ShowWindow(window, SW_HIDE);
        return 0;
    }
    if (message == WM_CLOSE) {
        ShowWindow(window, SW_HIDE);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A plain top-level window made like the viewer: the same size, styles,
// controls, texts and fonts, read from the viewer window itself; controls of
// the viewer's own classes become plain static controls.
HWND BareCopyOf(HWND viewer) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = BareWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kBareWindowClass;
    RegisterClassExW(&windowClass);
    RECT frame;
    GetWindowRect(viewer, &frame);
    HWND bare = CreateWindowExW(static_cast<DWORD>(GetWindowLongPtrW(viewer, GWL_EXSTYLE)), kBareWindowClass,
                                L"Display Picture Attributes",
                                static_cast<DWORD>(GetWindowLongPtrW(viewer, GWL_STYLE)) & ~WS_VISIBLE, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    std::function<void(HWND, HWND)> copyChildren = [&](HWND from, HWND to) {
        for (HWND child = GetWindow(from, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t kind[64] = {}, text[256] = {};
            GetClassNameW(child, kind, 64);
            GetWindowTextW(child, text, 256);
            const bool system = !lstrcmpiW(kind, L"Button") || !lstrcmpiW(kind, L"ComboBox") ||
                                !lstrcmpiW(kind, L"Edit") || !lstrcmpiW(kind, L"Static");
            RECT place;
            GetWindowRect(child, &place);
            MapWindowPoints(nullptr, from, reinterpret_cast<POINT*>(&place), 2);
            if (!lstrcmpiW(kind, L"ComboBox")) place.bottom = place.top + 200;  // its dropped height
            HWND made = CreateWindowExW(static_cast<DWORD>(GetWindowLongPtrW(child, GWL_EXSTYLE)),
                                        system ? kind : L"Static", text,
                                        static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE)), place.left, place.top,
                                        place.right - place.left, place.bottom - place.top, to,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(GetDlgCtrlID(child))),
                                        GetModuleHandleW(nullptr), nullptr);
            SendMessageW(made, WM_SETFONT, SendMessageW(child, WM_GETFONT, 0, 0), FALSE);
            copyChildren(child, made);
        }
    };
    copyChildren(viewer, bare);
    return bare;
}

// The bare window shown with a box-sized picture as the viewer shows one,
// until the stopwatch sees it up and answering; then hidden again.
std::vector<double> BareWindowShows(HWND bare, long runs) {
    std::vector<double> times;
    HWND image = GetDlgItem(bare, DisplayPictureControl::Image);
    for (long run = 0; run < runs; ++run) {
        Stopwatch watch(GetCurrentThreadId(), false, kBareWindowClass);
        double start = Now();
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kBox.cx, -kBox.cy, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        std::memset(bits, 0x80, static_cast<size_t>((kBox.cx * 3 + 3) & ~3) * kBox.cy);
        SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
        ShowWindow(bare, SW_SHOWNORMAL);
        SetForegroundWindow(bare);
        SetFocus(GetNextDlgTabItem(bare, nullptr, FALSE));
        MSG message;
        while (IsWindowVisible(bare) && GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageW(bare, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, 0);
        DeleteObject(picture);
        if (watch.shownAt > 0) times.push_back(watch.shownAt - start);
    }
    return times;
}

struct PictureFigures {
    std::wstring name;
    double fileMb = 0;
    std::vector<double> clicks;
    std::vector<double> bareShows;  // a bare window made like the viewer, shown after each click
    double wic = -1, ole = -1, wicPeakMb = 0;
    double repaint = -1, roundTrip = -1;
    double keptMb = 0, peakMb = 0, afterExitMb = 0, heapAfterExitKb = 0;
    std::wstring failure;
};

PictureFigures MeasurePicture(const std::wstring& path, const std::wstring& name, long runs,
                              IWICImagingFactory* factory, bool withBareWindow = false) {
    PictureFigures figures;
    figures.name = name;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    figures.fileMb = static_cast<double>((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) / (1024.0 * 1024.0);

    standin::StandInHost host;
    host.SetView(100, 100, {0, 0, 100, 100});
    host.SetSearchTolerance(1);
    auto photos = host.NewFeatureClass(L"Photos", {{L"PHOTO", L"Photo", FieldType::Text}}, L"C:\\");
    photos.AddFeature(Shape::Point(50, 50), {path});
    host.AddFeatureLayer(L"Photos", photos);
    ComPtr<ICommand> tool = NewTool();
    tool->OnCreate(host.Hook().Get());
    ComPtr<ITool> mapTool;
    tool.As(&mapTool);

    HWND bare = nullptr;
    for (long run = 0; run < runs; ++run) {
        const bool last = run == runs - 1;
        const SIZE_T privateBefore = PrivateBytes();
        const SIZE_T heapBefore = last ? HeapBytesInUse() : 0;
        double start = 0;
        {
            Stopwatch watch(GetCurrentThreadId(), last);
            start = Now();
            HRESULT hr = mapTool->OnMouseDown(1, 0, 50, 50);
            if (FAILED(hr)) figures.failure = L"click failed";
            Sleep(5);
            if (!watch.message.empty()) figures.failure = watch.message;
            if (watch.shownAt > 0) figures.clicks.push_back(watch.shownAt - start);
            figures.keptMb = std::max(figures.keptMb, MbDelta(watch.privateShown, privateBefore));
            figures.peakMb = std::max(figures.peakMb, MbDelta(watch.privatePeak, privateBefore));
            if (last) {
                figures.repaint = Median(watch.repaints);
                figures.roundTrip = watch.roundTrip;
            }
        }
        if (last) {
            figures.afterExitMb = MbDelta(PrivateBytes(), privateBefore);
            figures.heapAfterExitKb = (static_cast<double>(HeapBytesInUse()) - static_cast<double>(heapBefore)) / 1024.0;
        }
        // The bare window right after each click, so that both see the
        // same load on a shared machine.
        HWND viewer = FindWindowExW(nullptr, nullptr, kDisplayPictureClass, nullptr);
        if (withBareWindow && viewer) {
            if (!bare) bare = BareCopyOf(viewer);
            for (double shown : BareWindowShows(bare, 1)) figures.bareShows.push_back(shown);
        }
    }
    if (bare) DestroyWindow(bare);
    std::vector<double> wic, ole;
    for (long run = 0; run < runs; ++run) {
        if (factory) {
            // What the platform's decode holds at its peak, as the viewer's
            // reading through WIC held before it read JPEGs with libjpeg.
            const SIZE_T before = PrivateBytes();
            Stopwatch watch(GetCurrentThreadId(), false);
            wic.push_back(WicDecode(factory, path));
            Sleep(2);
            figures.wicPeakMb = std::max(figures.wicPeakMb, MbDelta(watch.privatePeak, before));
        }
        ole.push_back(OleDecode(path));
    }
    if (!wic.empty() && *std::min_element(wic.begin(), wic.end()) >= 0) figures.wic = Median(wic);
    if (*std::min_element(ole.begin(), ole.end()) >= 0) figures.ole = Median(ole);
    return figures;
}

// ---- (d): the large map --------------------------------------------------------------

struct MapFigures {
    long layers = 0, features = 0;
    double buildMs = 0;
    std::vector<double> clicks;
    std::vector<double> searches;  // until the message box starts being made
    std::vector<double> hostWalks;
    std::vector<double> insideHost;   // ms inside the stand-in's host calls during the click
    std::vector<double> messageBoxes; // a bare message box, from its call until its window starts
    std::vector<double> creations;    // COM making the host's filter and UID objects
    long hostCalls = 0;
    long timedSpans = 0;
    std::wstring message;
};

// The processor's time-stamp ticks in a millisecond.
double TicksPerMs() {
    const unsigned long long ticks = __rdtsc();
    const double begin = Now();
    Sleep(50);
    return static_cast<double>(__rdtsc() - ticks) / (Now() - begin);
}

// What timing one span of the host costs inside the span itself.
double EmptyHostSpanTicks() {
    standin::Probe::TimeHostCalls(true);
    standin::Probe::Reset();
    for (int k = 0; k < 100000; ++k) standin::Probe::HostCallClock span;
    const double ticks = static_cast<double>(standin::Probe::HostCallTicks()) / standin::Probe::TimedHostSpans();
    standin::Probe::TimeHostCalls(false);
    return ticks;
}

// The host's share: the host calls of the click, made by hand on the same
// objects in the same order, with nothing of the tool in between.
double HostWalk(standin::StandInHost& host, long x, long y, double tolerance) {
    double start = Now();
    ComPtr<IMxDocument> document = host.Document();
    ComPtr<IMap> map;
    document->get_FocusMap(map.GetAddressOf());
    ComPtr<IActiveView> view;
    map.As(&view);
    ComPtr<IScreenDisplay> display;
    view->get_ScreenDisplay(display.GetAddressOf());
    ComPtr<IDisplayTransformation> transformation;
    display->get_DisplayTransformation(transformation.GetAddressOf());
    ComPtr<IPoint> point;
    transformation->ToMapPoint(x, y, point.GetAddressOf());
    ComPtr<IEnvelope> square;
    point->get_Envelope(square.GetAddressOf());
    square->Expand(tolerance, tolerance, VARIANT_FALSE);
    ComPtr<ISpatialFilter> filter;
    CoCreateInstance(CLSID_SpatialFilter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf()));
    ComPtr<IGeometry> geometry;
    square.As(&geometry);
    filter->putref_Geometry(geometry.Get());
    filter->put_SpatialRel(HOST_SPATIAL_REL_INTERSECTS);
    ComPtr<IQueryFilter> query;
    filter.As(&query);
    long count = 0;
    map->get_LayerCount(&count);
    for (long index = 0; index < count; ++index) {
        ComPtr<ILayer> layer;
        map->get_Layer(index, layer.GetAddressOf());
        ComPtr<IFeatureLayer> featureLayer;
        if (FAILED(layer.As(&featureLayer))) continue;
        ComPtr<IFeatureClass> featureClass;
        featureLayer->get_FeatureClass(featureClass.GetAddressOf());
        ComPtr<IFeatureCursor> cursor;
        featureClass->Search(query.Get(), VARIANT_FALSE, cursor.GetAddressOf());
        ComPtr<IFeature> feature;
        if (cursor) cursor->NextFeature(feature.GetAddressOf());
        if (!feature) continue;
        // What the picture discovery reads of each feature found.
        ComPtr<IFields> fields;
        ComPtr<IClass> featureClassAsClass;
        featureClass.As(&featureClassAsClass);
        featureClassAsClass->get_Fields(fields.GetAddressOf());
        long fieldCount = 0;
        fields->get_FieldCount(&fieldCount);
        for (long i = 1; i < fieldCount; ++i) {
            ComPtr<IField> field;
            fields->get_Field(i, field.GetAddressOf());
            long type = 0;
            field->get_Type(&type);
            if (type != HOST_FIELD_TYPE_STRING) continue;
            ComPtr<IRowBuffer> row;
            feature.As(&row);
            for (int marker = 0; marker < 4; ++marker) {
                VARIANT value;
                VariantInit(&value);
                row->get_Value(i, &value);
                VariantClear(&value);
            }
        }
    }
    return Now() - start;
}

// The moment the thread starts creating its first window: the end of the
// click's own work when all it shows is a message box.
double g_firstWindowAt = -1;

LRESULT CALLBACK FirstWindowHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_firstWindowAt < 0) g_firstWindowAt = Now();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

MapFigures MeasureLargeMap(long layers, long features, long runs) {
    MapFigures figures;
    figures.layers = layers;
    figures.features = features;
    double start = Now();
    standin::StandInHost host;
    host.SetView(1000, 1000, {0, 0, 1000, 1000});
    host.SetSearchTolerance(6);
    const long side = std::max(1L, static_cast<long>(std::ceil(std::sqrt(static_cast<double>(features)))));
    const double spacing = 1000.0 / side;
    for (long layer = 0; layer < layers; ++layer) {
        auto points = host.NewFeatureClass(L"Layer" + std::to_wstring(layer),
                                           {{L"NOTE", L"Note", FieldType::Text}, {L"ALT", L"Altitude", FieldType::Double}},
                                           L"C:\\data");
        for (long k = 0; k < features; ++k)
            points.AddFeature(Shape::Point((k % side) * spacing, (k / side) * spacing), {L"survey note", 410.0});
        host.AddFeatureLayer(L"Layer" + std::to_wstring(layer), points);
    }
    figures.buildMs = Now() - start;

    ComPtr<ICommand> tool = NewTool();
    tool->OnCreate(host.Hook().Get());
    ComPtr<ITool> mapTool;
    tool.As(&mapTool);
    // On a grid point: every layer yields a feature, and each is examined.
    const double x = (side / 2) * spacing + spacing * 0.05, y = (side / 2) * spacing;
    // First as it is; then again with the host timing its own side, the
    // cost of that timing taken off by a calibration of empty spans.
    const double ticksPerMs = TicksPerMs();
    const double emptySpanTicks = EmptyHostSpanTicks();
    for (int timed = 0; timed < 2; ++timed) {
        standin::Probe::TimeHostCalls(timed == 1);
        for (long run = 0; run < runs; ++run) {
            standin::Probe::Reset();
            Stopwatch watch(GetCurrentThreadId(), false);
            HHOOK hook = SetWindowsHookExW(WH_CBT, FirstWindowHook, nullptr, GetCurrentThreadId());
            g_firstWindowAt = -1;
            double begin = Now();
            mapTool->OnMouseDown(1, 0, std::lround(x), std::lround(1000 - y));
            if (hook) UnhookWindowsHookEx(hook);
            figures.message = watch.message;
            figures.hostCalls = standin::Probe::HostCalls();
            if (timed) {
                const double ticks = static_cast<double>(standin::Probe::HostCallTicks()) -
                                     emptySpanTicks * static_cast<double>(standin::Probe::TimedHostSpans());
                figures.insideHost.push_back(ticks / ticksPerMs);
                figures.timedSpans = standin::Probe::TimedHostSpans();
                continue;
            }
            if (watch.shownAt > 0) figures.clicks.push_back(watch.shownAt - begin);
            if (g_firstWindowAt > 0) figures.searches.push_back(g_firstWindowAt - begin);
        }
    }
    standin::Probe::TimeHostCalls(false);
    for (long run = 0; run < runs; ++run) figures.hostWalks.push_back(HostWalk(host, std::lround(x), std::lround(1000 - y), 6));
    // What COM spends making the two host objects a search makes.
    for (long run = 0; run < runs; ++run) {
        double begin = Now();
        ComPtr<IUnknown> filter, uid;
        CoCreateInstance(CLSID_SpatialFilter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf()));
        CoCreateInstance(CLSID_UID, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(uid.GetAddressOf()));
        figures.creations.push_back(Now() - begin);
    }
    // What the platform spends on a message box before its window is made,
    // which the click's figure includes.
    for (long run = 0; run < runs; ++run) {
        Stopwatch watch(GetCurrentThreadId(), false);
        HHOOK hook = SetWindowsHookExW(WH_CBT, FirstWindowHook, nullptr, GetCurrentThreadId());
        g_firstWindowAt = -1;
        double begin = Now();
        MessageBoxW(nullptr, L"No images found. Select another layer or feature.", L"Snapvane", MB_OK);
        if (hook) UnhookWindowsHookEx(hook);
        if (g_firstWindowAt > 0) figures.messageBoxes.push_back(g_firstWindowAt - begin);
    }

    return figures;
}

// ---- The viewer's JPEG decode alone, and a bare window beside the viewer ----------

// The viewer's own reading of a picture file into the box's bitmap, without
// its window: for a JPEG, libjpeg at the scale it chooses.
std::vector<double> ViewerDecodes(const std::wstring& path, long runs, unsigned& eighths) {
    std::vector<double> times;
    for (long run = 0; run < runs; ++run) {
        double start = Now();
        try {
            unique_hbitmap bitmap = LoadScaledPicture(path, kBox, GetSysColor(COLOR_BTNFACE));
        } catch (...) {
            return {};
        }
        times.push_back(Now() - start);
    }
    // The scale it chose, for djpeg's row: from the header through libjpeg.
    eighths = 0;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        std::vector<BYTE> bytes(GetFileSize(file, nullptr));
        DWORD read = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(file);
        JpegPicture picture;
        if (picture.Open(bytes.data(), read)) {
            const bool turned = picture.Orientation() >= 5;
            const UINT width = turned ? picture.Height() : picture.Width(), height = turned ? picture.Width() : picture.Height();
            const SIZE place = Fit(width, height);
            eighths = turned ? JpegPicture::ScaleFor(picture.Width(), picture.Height(), place.cy, place.cx)
                             : JpegPicture::ScaleFor(picture.Width(), picture.Height(), place.cx, place.cy);
        }
    }
    return times;
}

// ---- djpeg figures measured outside Wine by the script ---------------------------

struct DjpegFigures {
    double full = -1, scaled = -1;
    std::string scale;
};

std::map<std::wstring, DjpegFigures> ReadDjpeg(const std::wstring& path) {
    std::map<std::wstring, DjpegFigures> figures;
    std::ifstream file{std::filesystem::path(path)};
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string name;
        DjpegFigures f;
        if (words >> name >> f.full >> f.scaled >> f.scale) figures[std::wstring(name.begin(), name.end())] = f;
    }
    return figures;
}

std::string Ms(double value) {
    if (value < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, value < 10 ? "%.2f" : "%.0f", value);
    return text;
}

// (d) printed: the large map's click and its parts.
void ReportLargeMap(long runs, int& status) {
    const long layers = Setting("SNAPVANE_BENCH_LAYERS", 200);
    const long features = Setting("SNAPVANE_BENCH_FEATURES", 10000);
    std::fflush(stdout);
    MapFigures m = MeasureLargeMap(layers, features, runs);
    std::printf("\nA press on a map of %ld layers x %ld features (built in %.0f ms); whole click median, parts fastest of %ld\n",
                m.layers, m.features, m.buildMs, runs);
    // Sub-millisecond parts are disturbed by the watching thread's polling:
    // the fastest of the runs is the part's own cost.
    double click = Median(m.clicks), search = Fastest(m.searches), inside = Fastest(m.insideHost),
           messageBox = Fastest(m.messageBoxes), creation = Fastest(m.creations),
           own = search - inside - messageBox - creation;
    std::printf("%-60s %10s\n", "whole click, until the box is up", Ms(click).c_str());
    std::printf("%-60s %10s\n", "click until its box starts being made", Ms(search).c_str());
    std::printf("%-60s %10s\n", "  inside the host (its calls, QueryInterface, AddRef, Release)", Ms(inside).c_str());
    std::printf("%-60s %10ld\n", "    spans of host code timed for it", m.timedSpans);
    std::printf("%-60s %10s\n", "  COM making the host's filter and UID objects", Ms(creation).c_str());
    std::printf("%-60s %10s\n", "  a bare message box until its window is made", Ms(messageBox).c_str());
    std::printf("%-60s %10s %5.1f %%\n", "  the tool's own time (the rest) and its share", Ms(own).c_str(),
                100.0 * own / search);
    std::printf("%-60s %10s\n", "the same host calls made directly by a program", Ms(Fastest(m.hostWalks)).c_str());
    std::printf("%-60s %10ld\n", "host calls made by the click", m.hostCalls);
    if (m.message != L"No images found. Select another layer or feature.") {
        std::printf("  unexpected message: %s\n", Narrow(m.message).c_str());
        status = 1;
    }
}

} // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count < 2) {
        std::fprintf(stderr, "usage: snapvane_bench PICTURE-FOLDER [DJPEG-TIMES-FILE]\n");
        return 2;
    }
    std::wstring folder = arguments[1];
    if (folder.back() != L'\\') folder += L'\\';
    auto djpeg = count > 2 ? ReadDjpeg(arguments[2]) : std::map<std::wstring, DjpegFigures>{};
    LocalFree(arguments);
    const long runs = Setting("SNAPVANE_BENCH_RUNS", 5);

    OleInitialize(nullptr);
    int status = 0;
    {
        standin::ClassRegistration classes;
        ComPtr<IWICImagingFactory> factory;
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.GetAddressOf()));
        if (GetFileAttributesW((folder + L"drawing.wmf").c_str()) == INVALID_FILE_ATTRIBUTES)
            WriteLargeMetafile(folder + L"drawing.wmf", 20000);
        if (GetFileAttributesW((folder + L"drawing-plain.wmf").c_str()) == INVALID_FILE_ATTRIBUTES)
            WriteLargeMetafile(folder + L"drawing-plain.wmf", 20000, false);

        const wchar_t* names[] = {L"tiny.bmp",       L"photo-2mp.jpg", L"photo-12mp.jpg", L"photo-24mp.jpg",
                                  L"photo-12mp-progressive.jpg", L"photo-12mp.bmp", L"large.gif", L"web-photo-png.jpg",
                                  L"drawing.wmf", L"drawing-plain.wmf"};
        std::printf("Click to picture on screen (%ld runs each, median ms; box %ld x %ld)\n", runs, kBox.cx, kBox.cy);
        std::printf("%-26s %8s %9s %9s %9s %9s %11s %10s %9s %9s %10s %10s %12s\n", "picture", "file MB", "click",
                    "click min", "WIC+scale", "OLE+Render", "djpeg full", "djpeg 1/N", "repaint", "msg trip",
                    "shown MB", "peak MB", "WIC peak MB");
        std::vector<PictureFigures> all;
        for (const wchar_t* name : names) {
            std::wstring path = folder + name;
            if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES || !Chosen(name)) continue;
            PictureFigures f = MeasurePicture(path, name, runs, factory.Get(), name == std::wstring(L"tiny.bmp"));
            DjpegFigures d = djpeg.count(name) ? djpeg[name] : DjpegFigures{};
            double fastest = f.clicks.empty() ? -1 : *std::min_element(f.clicks.begin(), f.clicks.end());
            std::printf("%-26s %8.1f %9s %9s %9s %9s %11s %10s %9s %9s %10.1f %10.1f %12.1f\n", Narrow(name).c_str(),
                        f.fileMb, Ms(Median(f.clicks)).c_str(), Ms(fastest).c_str(), Ms(f.wic).c_str(),
                        Ms(f.ole).c_str(), Ms(d.full).c_str(), d.scaled < 0 ? "-" : (Ms(d.scaled) + " " + d.scale).c_str(),
                        Ms(f.repaint).c_str(), Ms(f.roundTrip).c_str(), f.keptMb, f.peakMb, f.wicPeakMb);
            if (!f.failure.empty()) {
                std::printf("  %s: %s\n", Narrow(name).c_str(), Narrow(f.failure).c_str());
                status = 1;
            }
            all.push_back(f);
        }
        // The viewer's JPEG decode beside djpeg at the same scale, and the
        // click beyond what showing the viewer costs (the tiny bitmap's click).
        double tinyClick = -1;
        for (const PictureFigures& f : all)
            if (f.name == L"tiny.bmp") tinyClick = Median(f.clicks);
        std::printf("\nJPEG: the viewer's decode into the box alone, djpeg at the scale it chose (median ms)\n");
        std::printf("%-26s %7s %12s %12s %18s %16s\n", "picture", "scale", "viewer", "djpeg", "click - tiny click",
                    "(click-tiny)/djpeg");
        for (const PictureFigures& f : all) {
            if (IdentifyPictureFile((folder + f.name).c_str()) != PictureKind::Jpeg) continue;
            unsigned eighths = 0;
            const double decode = Median(ViewerDecodes(folder + f.name, runs, eighths));
            DjpegFigures d = djpeg.count(f.name) ? djpeg[f.name] : DjpegFigures{};
            const std::string chosen = eighths ? std::to_string(eighths) + "/8" : "-";
            const double beyond = tinyClick >= 0 && !f.clicks.empty() ? Median(f.clicks) - tinyClick : -1;
            char ratio[32] = "-";
            if (beyond >= 0 && d.scaled > 0) std::snprintf(ratio, sizeof ratio, "%.2f", beyond / d.scaled);
            std::printf("%-26s %7s %12s %12s %18s %16s\n", Narrow(f.name).c_str(), chosen.c_str(), Ms(decode).c_str(),
                        d.scaled < 0 ? "-" : (Ms(d.scaled) + " " + d.scale).c_str(), Ms(beyond).c_str(), ratio);
            if (eighths && d.scaled >= 0 && d.scale != chosen)
                std::printf("  %s: djpeg ran at %s, the viewer chose %s\n", Narrow(f.name).c_str(), d.scale.c_str(),
                            chosen.c_str());
        }
        // Bitmaps are read by the viewer's own reader: its reading alone, and
        // the click beyond what showing the viewer costs.
        std::printf("\nBitmaps: the viewer's reading into the box alone, the click beyond the tiny one (median ms)\n");
        std::printf("%-26s %12s %18s\n", "picture", "viewer", "click - tiny click");
        for (const PictureFigures& f : all) {
            if (IdentifyPictureFile((folder + f.name).c_str()) != PictureKind::Bitmap || f.name == L"tiny.bmp") continue;
            unsigned eighths = 0;
            const double decode = Median(ViewerDecodes(folder + f.name, runs, eighths));
            const double beyond = tinyClick >= 0 && !f.clicks.empty() ? Median(f.clicks) - tinyClick : -1;
            std::printf("%-26s %12s %18s\n", Narrow(f.name).c_str(), Ms(decode).c_str(), Ms(beyond).c_str());
        }
        // A bare window made like the viewer, shown and answering, beside the
        // tiny bitmap's whole click.
        for (const PictureFigures& f : all) {
            if (f.name != L"tiny.bmp" || f.bareShows.empty()) continue;
            const double shown = Median(f.bareShows);
            std::printf("\nShowing the viewer: the tiny bitmap's click beside a bare window of the same size and "
                        "controls shown (median ms)\n");
            std::printf("%-44s %10s\n", "tiny.bmp click, until the viewer is up", Ms(tinyClick).c_str());
            std::printf("%-44s %10s\n", "bare window, until it is up", Ms(shown).c_str());
            if (tinyClick > 0 && shown > 0) std::printf("%-44s %10.2f\n", "ratio", tinyClick / shown);
            // Each click over the bare window shown right after it.
            std::vector<double> pairs;
            for (size_t k = 0; k < f.clicks.size() && k < f.bareShows.size(); ++k)
                if (f.bareShows[k] > 0) pairs.push_back(f.clicks[k] / f.bareShows[k]);
            if (!pairs.empty()) std::printf("%-44s %10.2f\n", "ratio run by run (median)", Median(pairs));
        }
        std::printf("\nMemory after Exit, against before the click (last run)\n");
        std::printf("%-26s %12s %16s\n", "picture", "private MB", "heap in use KB");
        for (const PictureFigures& f : all)
            std::printf("%-26s %12.1f %16.1f\n", Narrow(f.name).c_str(), f.afterExitMb, f.heapAfterExitKb);

        const char* map = std::getenv("SNAPVANE_BENCH_MAP");
        if (!map || std::strcmp(map, "0") != 0) ReportLargeMap(runs, status);
    }
    OleUninitialize();
    return status;
}
