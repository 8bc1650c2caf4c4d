// What the host reads from the tool, and the traps of its members.
#include "ToolFixture.h"

#include "viewer/DisplayPicture.h"

namespace snapvane::test {
namespace {

using ToolMembers = ToolTest;

std::wstring Text(HRESULT (STDMETHODCALLTYPE ICommand::*member)(BSTR*), ICommand* tool, bool* isNull = nullptr) {
    Bstr text;
    EXPECT_EQ((tool->*member)(text.out()), S_OK);
    if (isNull) *isNull = text.get() == nullptr;
    return text.str();
}

TEST_F(ToolMembers, IdentityIsFixedAndBooleansAreMinusOneAndZero) {
    EXPECT_EQ(Text(&ICommand::get_Name, tool.Get()), L"PictureDisplay");
    EXPECT_EQ(Text(&ICommand::get_Caption, tool.Get()), L"Picture Display");
    EXPECT_EQ(Text(&ICommand::get_Category, tool.Get()), L"Tellurix");
    EXPECT_EQ(Text(&ICommand::get_Tooltip, tool.Get()), L"Displays all pictures associated with the selected feature.");
    bool isNull = false;
    EXPECT_EQ(Text(&ICommand::get_Message, tool.Get(), &isNull), L"");
    EXPECT_TRUE(isNull);
    EXPECT_EQ(Text(&ICommand::get_HelpFile, tool.Get(), &isNull), L"");
    EXPECT_TRUE(isNull);

    VARIANT_BOOL flag = 1;
    EXPECT_EQ(tool->get_Enabled(&flag), S_OK);
    EXPECT_EQ(flag, -1) << "enabled without any document or map";
    flag = 1;
    EXPECT_EQ(tool->get_Checked(&flag), S_OK);
    EXPECT_EQ(flag, 0);
    flag = 1;
    EXPECT_EQ(mapTool->OnContextMenu(5, 5, &flag), S_OK);
    EXPECT_EQ(flag, 0);
    LONG help = 7;
    EXPECT_EQ(tool->get_HelpContextID(&help), S_OK);
    EXPECT_EQ(help, 0);
}

TEST_F(ToolMembers, BitmapAndCursorAreTheSameLiveHandlesOnEveryCall) {
    OLE_HANDLE bitmap1 = 0, bitmap2 = 0, cursor1 = 0, cursor2 = 0;
    ASSERT_EQ(tool->get_Bitmap(&bitmap1), S_OK);
    ASSERT_EQ(tool->get_Bitmap(&bitmap2), S_OK);
    ASSERT_EQ(mapTool->get_Cursor(&cursor1), S_OK);
    ASSERT_EQ(mapTool->get_Cursor(&cursor2), S_OK);
    EXPECT_NE(bitmap1, 0u);
    EXPECT_EQ(bitmap1, bitmap2);
    EXPECT_EQ(cursor1, cursor2);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(ULongToHandle(bitmap1), sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 16);
    EXPECT_EQ(info.bmHeight, 16);
    ICONINFO icon{};
    ASSERT_TRUE(GetIconInfo(static_cast<HICON>(ULongToHandle(cursor1)), &icon));
    EXPECT_FALSE(icon.fIcon);
    EXPECT_EQ(icon.xHotspot, 0u);
    EXPECT_EQ(icon.yHotspot, 0u);
    if (icon.hbmMask) DeleteObject(icon.hbmMask);
    if (icon.hbmColor) DeleteObject(icon.hbmColor);
}

TEST_F(ToolMembers, EventsWithoutWorkChangeNothingAndReportNothing) {
    EXPECT_EQ(mapTool->OnMouseMove(1, 0, 3, 4), S_OK);
    EXPECT_EQ(mapTool->OnMouseUp(1, 0, 3, 4), S_OK);
    EXPECT_EQ(mapTool->OnDblClick(), S_OK);
    EXPECT_EQ(mapTool->OnKeyDown(65, 0), S_OK);
    EXPECT_EQ(mapTool->OnKeyUp(65, 0), S_OK);
    EXPECT_EQ(mapTool->Refresh(0), S_OK);
    EXPECT_EQ(tool->OnClick(), S_OK);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(standin::Probe::HostCalls(), 0);
}

TEST_F(ToolMembers, DeactivateBeforeAnyClickCreatesTheViewerHidden) {
    VARIANT_BOOL complete = 0;
    EXPECT_EQ(mapTool->Deactivate(&complete), S_OK);
    EXPECT_EQ(complete, -1);
    HWND viewer = FindOwnWindow(kDisplayPictureClass);
    ASSERT_NE(viewer, nullptr);
    EXPECT_FALSE(IsWindowVisible(viewer));
}

// An automation object that is not the host's application.
class NotAnApplication final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    ULONG references = 1;
};

TEST_F(ToolMembers, OnCreateWithSomethingElseReportsOnceAndTheToolStaysWithoutApplication) {
    NotAnApplication hook;
    EXPECT_EQ(tool->OnCreate(&hook), S_OK);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0],
              L"Record Call Stack Sequence - Bottom line is error line.\r\n\r\n"
              L"\tICommand_OnCreate C:\\GIS\\Source\\Snapvane\\Icommand \r\n\r\n"
              L"Error Number \r\n\t13\r\nDescription\r\n\tType mismatch\r\n\r\n");
    EXPECT_EQ(hook.references, 1u) << "the hook must not be kept";

    ModalWatcher watcher;
    EXPECT_EQ(PressAt(50, 50), static_cast<HRESULT>(0x800A005B));
    EXPECT_EQ(LastErrorDescription(), L"Object variable or With block variable not set");
    EXPECT_EQ(Reports().size(), 1u) << "a failing click shows no report";
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(ToolMembers, ALaterOnCreateReplacesTheApplication) {
    Connect();
    standin::StandInHost second;
    second.SetView(100, 100, {0, 0, 100, 100});
    auto sites = second.NewFeatureClass(L"Sites", {{L"PHOTO", L"Photo", FieldType::Text}}, L"C:\\nowhere");
    sites.AddFeature(Shape::Point(50, 50), {L"a.jpg"});
    second.AddFeatureLayer(L"Sites", sites);
    ASSERT_EQ(tool->OnCreate(second.Hook().Get()), S_OK);

    ModalWatcher watcher({Answer::Ok(), Answer::Viewer({ViewerStep::Exit()})});
    EXPECT_EQ(PressAt(50, 50), S_OK);
    ASSERT_EQ(watcher.MessageTexts().size(), 1u);
    EXPECT_EQ(watcher.MessageTexts()[0], L"File Name a.jpg not found. Base Path is C:\\nowhere\\");
    tool.Reset();
    mapTool.Reset();
}

} // namespace
} // namespace snapvane::test
