// The call-stack report: its exact text, the per-thread viewer, and where a
// report's own failure goes.
#include "errors/Boundary.h"
#include "errors/ErrorHandling.h"
#include "support/RecordingStackViewer.h"

#include <gtest/gtest.h>

using namespace snapvane;
using snapvane::test::RecordingStackViewerRegistration;

namespace {

class ErrorReport : public testing::Test {
protected:
    void SetUp() override { ReleaseStackViewer(); }
    void TearDown() override { ReleaseStackViewer(); }
    RecordingStackViewerRegistration viewer;
};

TEST_F(ErrorReport, TrappedErrorGivesTheWholeReportAndSuccess) {
    HRESULT hr = TrappedMember(L"ICommand_OnCreate ", [] { Raise(ErrorNumber::TypeMismatch); });
    EXPECT_EQ(hr, S_OK);
    ASSERT_EQ(viewer.record().reports.size(), 1u);
    EXPECT_EQ(viewer.record().reports[0],
              L"Record Call Stack Sequence - Bottom line is error line.\r\n"
              L"\r\n"
              L"\tICommand_OnCreate C:\\GIS\\Source\\Snapvane\\Icommand \r\n"
              L"\r\n"
              L"Error Number \r\n"
              L"\t13\r\n"
              L"Description\r\n"
              L"\tType mismatch\r\n"
              L"\r\n");
    EXPECT_EQ(viewer.record().showCalls, 1);
}

TEST_F(ErrorReport, NumberZeroNegativeNumbersAndEmptyDescriptionsAreWrittenPlainly) {
    TrappedMember(L"ITool_Refresh ", [] { throw RuntimeError(0, L"x", L""); });
    TrappedMember(L"ITool_Refresh ", [] { throw RuntimeError(-2147467259, L"x", L"Unspecified error"); });
    ASSERT_EQ(viewer.record().reports.size(), 2u);
    EXPECT_NE(viewer.record().reports[0].find(L"Error Number \r\n\t0\r\nDescription\r\n\t\r\n\r\n"), std::wstring::npos);
    EXPECT_NE(viewer.record().reports[1].find(L"\t-2147467259\r\n"), std::wstring::npos);
}

TEST_F(ErrorReport, LaterReportsReuseTheFirstViewerAndEachShowsOneEntry) {
    TrappedMember(L"ITool_OnKeyUp ", [] { Raise(ErrorNumber::Overflow); });
    TrappedMember(L"ITool_OnKeyDown ", [] { Raise(ErrorNumber::SubscriptOutOfRange); });
    EXPECT_EQ(viewer.record().instancesCreated, 1);
    ASSERT_EQ(viewer.record().reports.size(), 2u);
    EXPECT_EQ(viewer.record().reports[1].find(L"ITool_OnKeyUp"), std::wstring::npos);
    EXPECT_NE(viewer.record().reports[1].find(L"\tITool_OnKeyDown C:\\GIS\\Source\\Snapvane\\Icommand \r\n"),
              std::wstring::npos);
}

TEST_F(ErrorReport, AFailingReportReachesTheCallerAsTheMembersFailure) {
    viewer.record().failSetText = E_ACCESSDENIED;
    HRESULT hr = TrappedMember(L"ICommand_Bitmap ", [] { Raise(ErrorNumber::TypeMismatch); });
    EXPECT_EQ(hr, E_ACCESSDENIED);
}

TEST_F(ErrorReport, UnexpectedExceptionsAreTrappedToo) {
    EXPECT_EQ(TrappedMember(L"ICommand_Enabled ", [] { throw std::bad_alloc(); }), S_OK);
    EXPECT_EQ(TrappedMember(L"ICommand_Enabled ", [] { throw 42; }), S_OK);
    ASSERT_EQ(viewer.record().reports.size(), 2u);
    EXPECT_NE(viewer.record().reports[0].find(L"\t7\r\nDescription\r\n\tOut of memory"), std::wstring::npos);
    EXPECT_NE(viewer.record().reports[1].find(L"\t51\r\n"), std::wstring::npos);
}

TEST(ComBoundaryTest, OwnErrorsCrossAsAutomationCodesWithErrorInfo) {
    HRESULT hr = ComBoundary([] { Raise(ErrorNumber::TypeMismatch); });
    EXPECT_EQ(hr, static_cast<HRESULT>(0x800A000D));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.GetAddressOf()), S_OK);
    Bstr description;
    info->GetDescription(description.out());
    EXPECT_EQ(description.str(), L"Type mismatch");
}

TEST(ComBoundaryTest, HostFailuresKeepTheirOwnCodeAndDescription) {
    HRESULT hr = ComBoundary([] {
        ComPtr<ICreateErrorInfo> create;
        CreateErrorInfo(create.GetAddressOf());
        create->SetDescription(const_cast<LPOLESTR>(L"The layer is locked"));
        ComPtr<IErrorInfo> info;
        create.As(&info);
        SetErrorInfo(0, info.Get());
        Check(static_cast<HRESULT>(0x80040210));
    });
    EXPECT_EQ(hr, static_cast<HRESULT>(0x80040210));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.GetAddressOf()), S_OK);
    Bstr description;
    info->GetDescription(description.out());
    EXPECT_EQ(description.str(), L"The layer is locked");
}

} // namespace
