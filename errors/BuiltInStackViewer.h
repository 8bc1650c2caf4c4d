// The component's own report viewer, used when no outside viewer of that
// identity is registered: a window that shows the whole report, read-only,
// selectable and scrollable, with a button to close it.
#pragma once

#include "errors/CallStackViewer.h"
#include "win32/ComTypes.h"

namespace snapvane {

constexpr wchar_t kReportWindowClass[] = L"SnapvaneCallStackReport";
constexpr int kReportTextId = 101;

ComPtr<ICallStackViewer> CreateBuiltInStackViewer();

} // namespace snapvane
