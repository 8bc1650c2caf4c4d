// The outside report viewer, known only by its class and interface
// identifiers. Its methods follow directly on those of IUnknown; the report
// uses the second (given true) and the seventh (the whole report text).
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace snapvane {

// {40ACCBDA-720A-4B17-980B-B173F791958E}
constexpr CLSID CLSID_CallStackViewer = {0x40ACCBDA, 0x720A, 0x4B17, {0x98, 0x0B, 0xB1, 0x73, 0xF7, 0x91, 0x95, 0x8E}};

MIDL_INTERFACE("546F3CE0-FC9F-4CF4-9093-86B71AB661DE")
ICallStackViewer : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Reserved1() = 0;
    virtual HRESULT STDMETHODCALLTYPE Show(VARIANT_BOOL show) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetText(BSTR text) = 0;
};

} // namespace snapvane

__CRT_UUID_DECL(snapvane::ICallStackViewer, 0x546F3CE0, 0xFC9F, 0x4CF4, 0x90, 0x93, 0x86, 0xB7, 0x1A, 0xB6, 0x61, 0xDE)
