// Turns a trapped error into a call-stack report and hands it to the report
// viewer. Traps nothing itself: a viewer that cannot be created, or that fails
// one of its two calls, raises a new run-time error out of ReportError.
#pragma once

#include <string>

namespace snapvane {

constexpr wchar_t kReportHeading[] = L"Record Call Stack Sequence - Bottom line is error line.";

// The error detail block: an empty line, the number and the description.
std::wstring ErrorDetails(long number, const std::wstring& description);

// The whole report text as the viewer receives it.
std::wstring CallStackReport(const std::wstring& entry, const std::wstring& details);

void ReportError(const std::wstring& entry, long number, const std::wstring& description);
void ShowCallStack(const std::wstring& entry, const std::wstring& details);

// Releases this thread's report viewer (thread end or module unload).
void ReleaseStackViewer() noexcept;

} // namespace snapvane
