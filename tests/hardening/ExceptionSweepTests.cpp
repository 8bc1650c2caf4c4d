// No C++ exception ever leaves the component, whichever allocation of its code
// fails: every allocation of a click, of a trapped member and of the viewer's
// handlers fails in turn, once with std::bad_alloc and once with an exception
// of a type nobody in the component names.
//
// The tool and the viewer are linked into this program, whose operator new is
// the injector below; with the runtime linked statically it serves every
// allocation of the component's code, and of the stand-in host's as well (the
// host turns its own failures into failing calls with error information).
// Only the test thread is armed: gtest and the modal watcher allocate on
// threads of their own, at times of their own.
#include "tool/StandInFixture.h"

#include "errors/BuiltInStackViewer.h"
#include "errors/ErrorHandling.h"
#include "support/ModalWatcher.h"
#include "support/PictureFiles.h"
#include "support/RecordingStackViewer.h"
#include "support/SnapvaneDll.h"
#include "tool/Icommand.h"
#include "viewer/DisplayPicture.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

enum class Fault { BadAlloc, Foreign };

// What a fault in a library or the runtime might throw: no std::exception.
struct Unexpected {};

// Constant-initialised: operator new runs long before main.
struct Injector {
    std::atomic<DWORD> thread{0};  // the armed thread, 0 when none is
    long count = 0;                // its allocations since it was armed
    long failAt = 0;               // the one that fails; 0 only counts
    bool fired = false;
    Fault fault = Fault::BadAlloc;
};
Injector injector;

bool FailsNow() noexcept {
    if (injector.thread.load(std::memory_order_relaxed) != GetCurrentThreadId()) return false;
    if (++injector.count != injector.failAt) return false;
    injector.fired = true;
    return true;
}

void* Allocate(std::size_t size) {
    if (FailsNow()) {
        if (injector.fault == Fault::Foreign) throw Unexpected{};
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

void* AllocateOrNull(std::size_t size) noexcept {
    if (FailsNow()) return nullptr;
    return std::malloc(size ? size : 1);
}

} // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace snapvane::test {
namespace {

// What one armed run of an action came to.
struct Outcome {
    long allocations = 0;
    bool fired = false;    // the chosen allocation was reached and failed
    bool escaped = false;  // an exception came out of the action
};

// The action must not allocate in the test's own code: whatever it does
// while armed belongs to the component or the host.
Outcome Armed(long failAt, Fault fault, const std::function<void()>& action) {
    injector.count = 0;
    injector.failAt = failAt;
    injector.fired = false;
    injector.fault = fault;
    injector.thread = GetCurrentThreadId();
    Outcome run;
    try {
        action();
    } catch (...) {
        run.escaped = true;
    }
    injector.thread = 0;
    run.allocations = injector.count;
    run.fired = injector.fired;
    return run;
}

const char* NameOf(Fault fault) { return fault == Fault::BadAlloc ? "bad_alloc" : "unexpected exception"; }

// The run-time error the component makes of the fault.
long ErrorNumberOf(Fault fault) { return fault == Fault::BadAlloc ? 7 : 51; }
std::wstring DescriptionOf(Fault fault) { return fault == Fault::BadAlloc ? L"Out of memory" : L"Internal error"; }
std::wstring UnhandledMessage(Fault fault) {
    return L"Run-time error '" + std::to_wstring(ErrorNumberOf(fault)) + L"':\r\n\r\n" + DescriptionOf(fault);
}

// A failing click hands back the component's run-time error, or the failure
// of the host call whose allocation failed inside the host.
bool AcceptableFailure(Fault fault, HRESULT hr, const std::wstring& description) {
    if (hr == static_cast<HRESULT>(0x800A0000 + ErrorNumberOf(fault))) return description == DescriptionOf(fault);
    if (description.empty()) return false;
    if (fault == Fault::BadAlloc) return hr == E_OUTOFMEMORY;
    return hr == E_UNEXPECTED || hr == E_OUTOFMEMORY;  // the host's class objects say E_OUTOFMEMORY to anything
}

// Visible windows the component may have left on the test thread: the
// viewer, message boxes, reports.
BOOL CALLBACK CountComponentWindow(HWND window, LPARAM count) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (IsWindowVisible(window) &&
        (wcscmp(name, kDisplayPictureClass) == 0 || wcscmp(name, L"#32770") == 0 ||
         wcscmp(name, kReportWindowClass) == 0))
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int VisibleComponentWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountComponentWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// The watcher's last reads of a viewer that has just gone may still be on
// their way to this thread: it is stopped while this thread answers them.
std::vector<SeenWindow> StopWatching(std::unique_ptr<ModalWatcher> watcher) {
    std::vector<SeenWindow> seen = watcher->Seen();
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        watcher.reset();
        stopped = true;
    });
    MSG message;
    while (!stopped) {
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_SENDMESSAGE);
    }
    stopper.join();
    return seen;
}

class ExceptionSweep : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        ReleaseStackViewer();
        ReleaseDisplayPicture();
        host->SetSearchTolerance(1);
        folder = TestFolder(L"snapvane-exceptions");
        ASSERT_TRUE(WriteBitmapFile(folder + L"photo.bmp", 8, 8, RGB(0, 128, 0)));
        // A picture under a file type nothing opens.
        ASSERT_TRUE(WriteBitmapFile(folder + L"plan.svxq", 8, 8, RGB(0, 0, 128)));
        started_ = std::chrono::steady_clock::now();
    }
    void TearDown() override {
        ReleaseDisplayPicture();
        ReleaseStackViewer();
        if (hostWindow) DestroyWindow(hostWindow);
        std::printf("  run time: %.1f s\n",
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count());
        StandInTest::TearDown();
    }

    // The host's main window, visible and enabled on the test thread, as the
    // viewer finds it when it is shown modally.
    void OpenHostWindow() {
        hostWindow = CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                     nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(hostWindow);
    }

    // After a run that failed, the next starts as a clean one would.
    void Recover() {
        if (hostWindow) EnableWindow(hostWindow, TRUE);
        if (DisplayPicture* viewer = DisplayPicture::ExistingInstance()) {
            if (IsWindowVisible(viewer->Window())) ShowWindow(viewer->Window(), SW_HIDE);
        }
    }

    ComPtr<ICommand> CreateTool() {
        ComPtr<ICommand> tool;
        EXPECT_EQ(CreateMyIcommand(IID_ICommand, reinterpret_cast<void**>(tool.GetAddressOf())), S_OK);
        return tool;
    }

    // Counts the action's allocations in a clean run, then fails each in
    // turn. Above cap allocations only every stride-th fails, to keep the
    // program's run time in bounds; the two kinds of fault then take
    // alternate allocations, so that together they still meet every one.
    // once(failAt, fault) runs and judges one run. Returns the faults injected.
    long Sweep(const std::string& scenario, Fault fault, long cap,
               const std::function<Outcome(long failAt, Fault fault)>& once) {
        once(0, fault);  // what is made once per thread or process is made here
        const Outcome clean = once(0, fault);
        EXPECT_FALSE(clean.fired);
        const long total = clean.allocations;
        const long stride = total > cap ? (total + cap - 1) / cap : 1;
        const long first = 1 + (fault == Fault::Foreign ? 1 : 0) % stride;
        long injected = 0;
        int failedRuns = 0;
        for (long k = first; k <= total; k += stride) {
            const int failuresBefore = testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
            Outcome run;
            {
                SCOPED_TRACE(scenario + ", " + NameOf(fault) + " at allocation " + std::to_string(k));
                run = once(k, fault);
            }
            if (run.fired) ++injected;
            if (testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() != failuresBefore &&
                ++failedRuns == 5) {
                ADD_FAILURE() << "sweep stopped after five failing runs";
                break;
            }
        }
        std::printf("  %s, %s: %ld allocations, every %ld from %ld, %ld faults injected\n", scenario.c_str(),
                    NameOf(fault), total, stride, first, injected);
        RecordProperty(scenario + " " + NameOf(fault) + " faults", static_cast<int>(injected));
        return injected;
    }

    // One press at (50, 50) with a new tool, whose release must give back
    // every host object.
    Outcome Click(long failAt, Fault fault, const std::vector<Answer>& answers, bool findsPictures) {
        reportViewer.record().reports.clear();
        const long live = standin::Probe::LiveObjects();
        ComPtr<ICommand> tool = CreateTool();
        ComPtr<ITool> mapTool = Query<ITool>(tool);
        if (!mapTool) return {};
        EXPECT_EQ(tool->OnCreate(host->Hook().Get()), S_OK);
        SetErrorInfo(0, nullptr);
        HRESULT hr = E_FAIL;
        Outcome run;
        std::wstring description;
        std::vector<SeenWindow> seen;
        auto watcher = std::make_unique<ModalWatcher>(answers);
        run = Armed(failAt, fault, [&] { hr = mapTool->OnMouseDown(1, 0, DeviceX(50), DeviceY(50)); });
        description = LastErrorDescription();
        seen = StopWatching(std::move(watcher));
        EXPECT_FALSE(run.escaped) << "an exception left OnMouseDown";
        if (!run.fired) {
            EXPECT_EQ(hr, S_OK);
            bool viewerShown = false, boxShown = false;
            for (const SeenWindow& window : seen) {
                viewerShown |= window.kind == SeenWindow::Kind::Viewer;
                boxShown |= window.kind == SeenWindow::Kind::MessageBox;
                EXPECT_FALSE(window.unexpected);
            }
            EXPECT_EQ(viewerShown, findsPictures);
            EXPECT_EQ(boxShown, !findsPictures);
        } else if (FAILED(hr)) {
            EXPECT_TRUE(AcceptableFailure(fault, hr, description))
                << std::hex << "0x" << hr << " with description \"" << std::string(description.begin(), description.end())
                << "\"";
        } else {
            // Only a handler of the shown viewer traps; the user is told.
            bool told = false;
            for (const SeenWindow& window : seen) told |= window.text == UnhandledMessage(fault);
            EXPECT_TRUE(told) << "a fault vanished from a click that succeeded";
        }
        EXPECT_TRUE(reportViewer.record().reports.empty()) << "a click never shows a report";
        EXPECT_EQ(VisibleComponentWindows(), 0);
        if (hostWindow) {
            EXPECT_TRUE(IsWindowEnabled(hostWindow)) << "the host's window was left disabled";
        }
        Recover();
        mapTool.Reset();
        tool.Reset();
        EXPECT_EQ(standin::Probe::LiveObjects(), live) << "a host object was not released";
        return run;
    }

    std::wstring folder;
    RecordingStackViewerRegistration reportViewer;
    HWND hostWindow = nullptr;

private:
    std::chrono::steady_clock::time_point started_;
};

TEST_F(ExceptionSweep, AClickThatFindsPicturesFailsCleanlyAtEveryAllocation) {
    AddTwoPictureLayers(folder, L"photo.bmp");
    OpenHostWindow();
    for (Fault fault : {Fault::BadAlloc, Fault::Foreign})
        // Some 550 allocations, each run well under 0.1 s: every other one
        // is failed by each kind of fault.
        Sweep("click with pictures", fault, 300, [&](long failAt, Fault fault) {
            return Click(failAt, fault, {Answer::Viewer({ViewerStep::Exit()})}, true);
        });
}

TEST_F(ExceptionSweep, AClickThatFindsNothingFailsCleanlyAtEveryAllocation) {
    auto sites = host->NewFeatureClass(L"Sites", {{L"NOTE", L"Note", FieldType::Text}}, folder);
    sites.AddFeature(Shape::Point(50, 50), {L"no picture here"});
    host->AddFeatureLayer(L"Sites", sites);
    for (Fault fault : {Fault::BadAlloc, Fault::Foreign})
        Sweep("click without pictures", fault, 400,
              [&](long failAt, Fault fault) { return Click(failAt, fault, {Answer::Ok()}, false); });
}

// A trapped member that meets a fault reports it once and returns success;
// one that meets none reports nothing.
TEST_F(ExceptionSweep, TrappedMembersReportEveryFaultOnceAndSucceed) {
    ComPtr<ICommand> tool = CreateTool();
    ComPtr<ITool> mapTool = Query<ITool>(tool);
    ASSERT_TRUE(mapTool);
    ASSERT_EQ(tool->OnCreate(host->Hook().Get()), S_OK);
    IDispatch* hook = host->Hook().Detach();  // held for the whole test, released below

    struct Member {
        const char* name;
        std::wstring entry;
        std::function<HRESULT()> call;
    };
    Bstr text;
    VARIANT_BOOL flag = 0;
    LONG number = 0;
    OLE_HANDLE handle = 0;
    const std::vector<Member> members = {
        {"OnCreate", L"ICommand_OnCreate ", [&] { return tool->OnCreate(hook); }},
        {"OnClick", L"ICommand_OnClick ", [&] { return tool->OnClick(); }},
        {"Enabled", L"ICommand_Enabled ", [&] { return tool->get_Enabled(&flag); }},
        {"Checked", L"ICommand_Checked ", [&] { return tool->get_Checked(&flag); }},
        {"Name", L"ICommand_Name ", [&] { return tool->get_Name(text.out()); }},
        {"Caption", L"ICommand_Caption ", [&] { return tool->get_Caption(text.out()); }},
        {"Tooltip", L"ICommand_Tooltip ", [&] { return tool->get_Tooltip(text.out()); }},
        {"Message", L"ICommand_Message ", [&] { return tool->get_Message(text.out()); }},
        {"HelpFile", L"ICommand_HelpFile ", [&] { return tool->get_HelpFile(text.out()); }},
        {"HelpContextID", L"ICommand_HelpContextID ", [&] { return tool->get_HelpContextID(&number); }},
        {"Bitmap", L"ICommand_Bitmap ", [&] { return tool->get_Bitmap(&handle); }},
        {"Category", L"ICommand_Category ", [&] { return tool->get_Category(text.out()); }},
        {"Cursor", L"ITool_Cursor ", [&] { return mapTool->get_Cursor(&handle); }},
        {"OnMouseMove", L"ITool_OnMouseMove ", [&] { return mapTool->OnMouseMove(1, 0, 5, 5); }},
        {"OnMouseUp", L"ITool_OnMouseUp ", [&] { return mapTool->OnMouseUp(1, 0, 5, 5); }},
        {"OnDblClick", L"ITool_OnDblClick ", [&] { return mapTool->OnDblClick(); }},
        {"OnKeyDown", L"ITool_OnKeyDown ", [&] { return mapTool->OnKeyDown(65, 0); }},
        {"OnKeyUp", L"ITool_OnKeyUp ", [&] { return mapTool->OnKeyUp(65, 0); }},
        {"OnContextMenu", L"ITool_OnContextMenu ", [&] { return mapTool->OnContextMenu(5, 5, &flag); }},
        {"Refresh", L"ITool_Refresh ", [&] { return mapTool->Refresh(0); }},
        // Before any click the viewer does not exist yet: Deactivate makes it.
        {"Deactivate", L"ITool_Deactivate ", [&] { return mapTool->Deactivate(&flag); }},
    };

    long allocations = 0;
    for (Fault fault : {Fault::BadAlloc, Fault::Foreign}) {
        long injected = 0;
        for (const Member& member : members) {
            auto once = [&](long failAt) {
                ReleaseDisplayPicture();
                reportViewer.record().reports.clear();
                text.reset();
                HRESULT hr = E_FAIL;
                Outcome run;
                std::vector<SeenWindow> seen;
                auto watcher = std::make_unique<ModalWatcher>();
                run = Armed(failAt, fault, [&] { hr = member.call(); });
                seen = StopWatching(std::move(watcher));
                SCOPED_TRACE(std::string(member.name) + ", " + NameOf(fault) + " at allocation " + std::to_string(failAt));
                EXPECT_FALSE(run.escaped);
                EXPECT_EQ(hr, S_OK);
                EXPECT_TRUE(seen.empty()) << "the report goes to the report viewer, nothing else appears";
                const auto& reports = reportViewer.record().reports;
                EXPECT_EQ(reports.size(), run.fired ? 1u : 0u);
                if (run.fired && reports.size() == 1) {
                    EXPECT_NE(reports[0].find(member.entry), std::wstring::npos);
                    EXPECT_NE(reports[0].find(L"\t" + std::to_wstring(ErrorNumberOf(fault)) + L"\r\n"), std::wstring::npos);
                    EXPECT_NE(reports[0].find(L"\t" + DescriptionOf(fault) + L"\r\n"), std::wstring::npos);
                }
                EXPECT_EQ(VisibleComponentWindows(), 0);
                return run;
            };
            once(0);
            const Outcome clean = once(0);
            if (fault == Fault::BadAlloc) allocations += clean.allocations;
            for (long k = 1; k <= clean.allocations; ++k)
                if (once(k).fired) ++injected;
        }
        std::printf("  trapped members, %s: %ld allocations in all members, %ld faults injected\n", NameOf(fault),
                    allocations, injected);
        RecordProperty(std::string("trapped members ") + NameOf(fault) + " faults", static_cast<int>(injected));
    }
    EXPECT_GT(allocations, 0) << "making the viewer allocates";
    hook->Release();
    text.reset();
}

// The shown viewer, filled as a click fills it: choosing an entry, Edit on a
// file type nothing opens, and Exit, each with its allocations failing in turn.
TEST_F(ExceptionSweep, ViewerHandlersTellTheUserOfEveryFaultAndKeepRunning) {
    OpenHostWindow();
    const std::vector<std::wstring> entries = {L"Photo: photo.bmp", L"Plan: plan.svxq"};
    auto once = [&](long failAt, Fault fault) {
        DisplayPicture& viewer = DisplayPicture::Instance();
        viewer.SetBasePath(folder);
        viewer.ChooserClear();
        for (const std::wstring& entry : entries) viewer.ChooserAddItem(entry);
        viewer.ChooserSetListIndex(0);
        viewer.ChooserSetEnabled(true);
        viewer.SetText(L"Display Picture Attributes");
        Outcome run;
        bool showFailed = false;
        std::vector<SeenWindow> seen;
        auto watcher = std::make_unique<ModalWatcher>(std::vector<Answer>{
            Answer::Viewer({ViewerStep::Choose(1), ViewerStep::Edit(), ViewerStep::Exit()}), Answer::Ok()});
        run = Armed(failAt, fault, [&] {
            // Show itself is no boundary: the click's boundary takes its errors.
            try {
                viewer.Show(1);
            } catch (...) {
                showFailed = true;
            }
        });
        seen = StopWatching(std::move(watcher));
        EXPECT_FALSE(run.escaped);
        int faultsTold = 0;
        std::vector<std::wstring> boxes;
        for (const SeenWindow& window : seen) {
            if (window.kind != SeenWindow::Kind::MessageBox) continue;
            if (window.text == UnhandledMessage(fault)) ++faultsTold;
            else boxes.push_back(window.text);
        }
        if (!run.fired) {
            EXPECT_FALSE(showFailed);
            EXPECT_EQ(boxes, std::vector<std::wstring>{L"No Application associated with this file type"});
        } else {
            EXPECT_EQ(faultsTold + (showFailed ? 1 : 0), 1) << "the fault is told exactly once";
        }
        EXPECT_EQ(VisibleComponentWindows(), 0);
        EXPECT_TRUE(IsWindowEnabled(hostWindow)) << "the host's window was left disabled";
        Recover();
        return run;
    };
    for (Fault fault : {Fault::BadAlloc, Fault::Foreign}) Sweep("viewer handlers", fault, 400, once);
}

} // namespace
} // namespace snapvane::test
