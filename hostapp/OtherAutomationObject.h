// An automation object that is not the host's application: what a careless
// caller might hand to ICommand::OnCreate. It offers IDispatch and nothing of
// the host.
#pragma once

#include "win32/ComTypes.h"

namespace snapvane::hostapp {

ComPtr<IDispatch> NewOtherAutomationObject();

} // namespace snapvane::hostapp
