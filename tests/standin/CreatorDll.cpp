// Creates a COM object from another module than the one that registered its
// class object.
#include <objbase.h>

extern "C" __declspec(dllexport) HRESULT CreateFromOtherModule(REFCLSID clsid, REFIID iid, void** object) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
}
