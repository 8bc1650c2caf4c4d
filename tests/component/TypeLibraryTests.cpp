// The type library Project1, read back from the DLL's own TYPELIB resource.
#include "ComponentSupport.h"

#include "HostGis.h"

namespace snapvane::test {
namespace {

// {866AE5D3-530C-11D2-A2BD-0000F8774FB5}: the host's library.
constexpr GUID kHostLibrary = {0x866AE5D3, 0x530C, 0x11D2, {0xA2, 0xBD, 0x00, 0x00, 0xF8, 0x77, 0x4F, 0xB5}};

class ComponentTypeLibrary : public RegisteredComponent {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, LoadTypeLibEx(ComponentPath().c_str(), REGKIND_NONE, library.GetAddressOf()));
    }
    ComPtr<ITypeInfo> TypeOf(REFGUID guid) {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(S_OK, library->GetTypeInfoOfGuid(guid, info.GetAddressOf()));
        return info;
    }
    ComPtr<ITypeLib> library;
};

// Releases what GetTypeAttr, GetLibAttr and GetFuncDesc hand out.
struct TypeAttr {
    TypeAttr(ITypeInfo* info) : info(info) { EXPECT_EQ(S_OK, info->GetTypeAttr(&attr)); }
    ~TypeAttr() { if (attr) info->ReleaseTypeAttr(attr); }
    const TYPEATTR* operator->() const { return attr; }
    ITypeInfo* info;
    TYPEATTR* attr = nullptr;
};
struct FuncDesc {
    FuncDesc(ITypeInfo* info, UINT index) : info(info) { EXPECT_EQ(S_OK, info->GetFuncDesc(index, &desc)); }
    ~FuncDesc() { if (desc) info->ReleaseFuncDesc(desc); }
    const FUNCDESC* operator->() const { return desc; }
    ITypeInfo* info;
    FUNCDESC* desc = nullptr;
};

std::wstring NameOf(ITypeInfo* info) {
    Bstr name;
    info->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr);
    return name.str();
}

// The interface a parameter of type "pointer to pointer to interface" names,
// and the library it comes from.
ComPtr<ITypeInfo> PointedInterface(ITypeInfo* info, const TYPEDESC& type, int pointerLevels) {
    const TYPEDESC* described = &type;
    for (int level = 0; level < pointerLevels; ++level) {
        EXPECT_EQ(VT_PTR, described->vt);
        if (described->vt != VT_PTR) return nullptr;
        described = described->lptdesc;
    }
    EXPECT_EQ(VT_USERDEFINED, described->vt);
    ComPtr<ITypeInfo> target;
    if (described->vt == VT_USERDEFINED) info->GetRefTypeInfo(described->hreftype, target.GetAddressOf());
    return target;
}

GUID LibraryOf(ITypeInfo* info) {
    ComPtr<ITypeLib> owner;
    UINT index = 0;
    GUID guid = GUID_NULL;
    if (SUCCEEDED(info->GetContainingTypeLib(owner.GetAddressOf(), &index))) {
        TLIBATTR* attr = nullptr;
        if (SUCCEEDED(owner->GetLibAttr(&attr))) {
            guid = attr->guid;
            owner->ReleaseTLibAttr(attr);
        }
    }
    return guid;
}

TEST_F(ComponentTypeLibrary, LibraryIsProject1Version97WithNeutralLocaleAndNoHelp) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attr));
    EXPECT_EQ(GuidText(LIBID_Project1), GuidText(attr->guid));
    EXPECT_EQ(L"{24E0AFA0-2039-4C8D-BF1A-624C70FB7B40}", GuidText(attr->guid));
    EXPECT_EQ(0x61, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0u, attr->lcid);
    EXPECT_EQ(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, attr->syskind);
    library->ReleaseTLibAttr(attr);

    Bstr name, doc, helpFile;
    DWORD helpContext = 1;
    ASSERT_EQ(S_OK, library->GetDocumentation(-1, name.out(), doc.out(), &helpContext, helpFile.out()));
    EXPECT_EQ(L"Project1", name.str());
    EXPECT_EQ(L"", doc.str());
    EXPECT_EQ(0u, helpContext);
    EXPECT_EQ(L"", helpFile.str());
}

TEST_F(ComponentTypeLibrary, MyIcommandInterfaceIsHiddenDualNonextensibleAndAutomationCompatible) {
    ComPtr<ITypeInfo> dispatchInfo = TypeOf(IID__MyIcommand);
    ASSERT_TRUE(dispatchInfo);
    EXPECT_EQ(L"_MyIcommand", NameOf(dispatchInfo.Get()));
    const WORD always = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
    {
        TypeAttr attr(dispatchInfo.Get());
        ASSERT_TRUE(attr.attr);
        EXPECT_EQ(L"{78E3D0EA-58D6-4084-BD2D-B451A0AB371F}", GuidText(attr->guid));
        EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
        EXPECT_EQ(always, attr->wTypeFlags & always) << std::hex << attr->wTypeFlags;
        EXPECT_EQ(1, attr->wMajorVerNum);
        EXPECT_EQ(0, attr->wMinorVerNum);
    }
    // The interface half of the dual interface carries the automation flag.
    HREFTYPE vtableRef = 0;
    ComPtr<ITypeInfo> vtableInfo;
    ASSERT_EQ(S_OK, dispatchInfo->GetRefTypeOfImplType(-1, &vtableRef));
    ASSERT_EQ(S_OK, dispatchInfo->GetRefTypeInfo(vtableRef, vtableInfo.GetAddressOf()));
    TypeAttr attr(vtableInfo.Get());
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    const WORD wanted = always | TYPEFLAG_FOLEAUTOMATION;
    EXPECT_EQ(wanted, attr->wTypeFlags & wanted) << std::hex << attr->wTypeFlags;
}

TEST_F(ComponentTypeLibrary, FindLayerTakesFeatureAndMapInOutAndReturnsALayer) {
    ComPtr<ITypeInfo> dispatchInfo = TypeOf(IID__MyIcommand);
    ASSERT_TRUE(dispatchInfo);
    HREFTYPE vtableRef = 0;
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatchInfo->GetRefTypeOfImplType(-1, &vtableRef));
    ASSERT_EQ(S_OK, dispatchInfo->GetRefTypeInfo(vtableRef, info.GetAddressOf()));
    TypeAttr attr(info.Get());
    ASSERT_EQ(TKIND_INTERFACE, attr->typekind);
    ASSERT_EQ(1, attr->cFuncs);

    HREFTYPE baseRef = 0;
    ComPtr<ITypeInfo> base;
    ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(0, &baseRef));
    ASSERT_EQ(S_OK, info->GetRefTypeInfo(baseRef, base.GetAddressOf()));
    EXPECT_EQ(L"IDispatch", NameOf(base.Get()));

    FuncDesc function(info.Get(), 0);
    ASSERT_TRUE(function.desc);
    EXPECT_EQ(0x6003001A, function->memid);
    EXPECT_EQ(CC_STDCALL, function->callconv);
    EXPECT_EQ(INVOKE_FUNC, function->invkind);
    EXPECT_EQ(VT_HRESULT, function->elemdescFunc.tdesc.vt);
    ASSERT_EQ(3, function->cParams);

    BSTR names[4] = {};
    UINT count = 0;
    ASSERT_EQ(S_OK, info->GetNames(function->memid, names, 4, &count));
    Bstr owned[4];
    for (UINT i = 0; i < count; ++i) owned[i].reset(names[i]);
    EXPECT_EQ(L"FindLayer", owned[0].str());
    EXPECT_EQ(L"pFeature", owned[1].str());
    EXPECT_EQ(L"pMap", owned[2].str());

    const struct { const wchar_t* type; USHORT flags; } expected[] = {
        {L"IFeature", PARAMFLAG_FIN | PARAMFLAG_FOUT},
        {L"IMap", PARAMFLAG_FIN | PARAMFLAG_FOUT},
        {L"ILayer", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i].type);
        const ELEMDESC& parameter = function->lprgelemdescParam[i];
        EXPECT_EQ(expected[i].flags, parameter.paramdesc.wParamFlags);
        ComPtr<ITypeInfo> target = PointedInterface(info.Get(), parameter.tdesc, 2);
        ASSERT_TRUE(target);
        EXPECT_EQ(expected[i].type, NameOf(target.Get()));
        EXPECT_EQ(GuidText(kHostLibrary), GuidText(LibraryOf(target.Get())));
    }
}

TEST_F(ComponentTypeLibrary, MyIcommandCoclassImplementsItsDefaultInterfaceAndTheHostInterfaces) {
    ComPtr<ITypeInfo> info = TypeOf(CLSID_MyIcommand);
    ASSERT_TRUE(info);
    EXPECT_EQ(L"MyIcommand", NameOf(info.Get()));
    TypeAttr attr(info.Get());
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(1, attr->wMajorVerNum);
    ASSERT_EQ(3, attr->cImplTypes);

    // widl writes copies of the host's two interfaces into the library, so
    // only their identity is checked here.
    const struct { const IID* iid; const wchar_t* name; INT flags; } expected[] = {
        {&IID__MyIcommand, L"_MyIcommand", IMPLTYPEFLAG_FDEFAULT},
        {&IID_ICommand, L"ICommand", 0},
        {&IID_ITool, L"ITool", 0},
    };
    for (UINT i = 0; i < 3; ++i) {
        SCOPED_TRACE(GuidText(*expected[i].iid));
        INT flags = -1;
        EXPECT_EQ(S_OK, info->GetImplTypeFlags(i, &flags));
        EXPECT_EQ(expected[i].flags, flags);
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> implemented;
        ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(i, &ref));
        ASSERT_EQ(S_OK, info->GetRefTypeInfo(ref, implemented.GetAddressOf()));
        TypeAttr implementedAttr(implemented.Get());
        EXPECT_EQ(GuidText(*expected[i].iid), GuidText(implementedAttr->guid));
        EXPECT_EQ(expected[i].name, NameOf(implemented.Get()));
    }
}

} // namespace
} // namespace snapvane::test
