// The class factory, object creation through COM, and the unload rule.
#include "ComponentSupport.h"

#include "HostGis.h"
#include "support/SnapvaneDll.h"


namespace snapvane::test {
namespace {

ComPtr<IUnknown> CreateByClsid() {
    ComPtr<IUnknown> object;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_MyIcommand, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(object.GetAddressOf())));
    return object;
}

ComPtr<IUnknown> IdentityOf(IUnknown* object, REFIID iid) {
    ComPtr<IUnknown> asked, identity;
    EXPECT_EQ(S_OK, object->QueryInterface(iid, reinterpret_cast<void**>(asked.GetAddressOf())));
    if (asked) asked->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf()));
    return identity;
}

using ComponentServer = RegisteredComponent;

TEST_F(ComponentServer, ProgIdNamesTheClassOfMyIcommand) {
    CLSID clsid = {};
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"Project1.MyIcommand", &clsid));
    EXPECT_EQ(GuidText(CLSID_MyIcommand), GuidText(clsid));

    ComPtr<ICommand> command;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ICommand,
                                     reinterpret_cast<void**>(command.GetAddressOf())));
    Bstr name;
    ASSERT_EQ(S_OK, command->get_Name(name.out()));
    EXPECT_EQ(L"PictureDisplay", name.str());
}

TEST_F(ComponentServer, ObjectOffersItsInterfacesWithOneIdentity) {
    ComPtr<IUnknown> object = CreateByClsid();
    ASSERT_TRUE(object);
    for (const IID* iid : {&IID_ICommand, &IID_ITool, &IID__MyIcommand, &IID_IDispatch}) {
        SCOPED_TRACE(GuidText(*iid));
        EXPECT_EQ(object.Get(), IdentityOf(object.Get(), *iid).Get());
    }
}

TEST_F(ComponentServer, FinalReleaseReturnsZero) {
    ComPtr<IUnknown> object = CreateByClsid();
    ASSERT_TRUE(object);
    {
        ComPtr<ITool> tool;
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(S_OK, object.As(&tool));
        ASSERT_EQ(S_OK, object.As(&dispatch));
    }
    EXPECT_EQ(0u, object.Detach()->Release());
}

TEST_F(ComponentServer, FindLayerResolvesByNameToItsDispatchIdentifier) {
    ComPtr<IUnknown> object = CreateByClsid();
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, object.As(&dispatch));
    LPOLESTR name = const_cast<LPOLESTR>(L"FindLayer");
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(0x6003001A, id);
}

// ---- The class factory and DllCanUnloadNow, on the DLL loaded directly ----

class ComponentClassFactory : public testing::Test {
protected:
    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, component.GetClassObject(CLSID_MyIcommand, IID_IClassFactory,
                                                 reinterpret_cast<void**>(factory.GetAddressOf())));
        return factory;
    }
    LoadedComponent component;
};

TEST_F(ComponentClassFactory, RefusesOtherClassesAndAggregation) {
    ASSERT_TRUE(component.Loaded());
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, component.GetClassObject(IID_ITool, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);

    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    object = reinterpret_cast<void*>(1);
    ComPtr<IUnknown> outer = CreateByClsid();
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.Get(), IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
}

TEST_F(ComponentClassFactory, CanUnloadOnlyWhenNoFactoryObjectOrLockRemains) {
    ASSERT_TRUE(component.Loaded());
    EXPECT_EQ(S_OK, component.CanUnloadNow());

    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(S_FALSE, component.CanUnloadNow()) << "a live class factory";

    ComPtr<ICommand> command;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ICommand, reinterpret_cast<void**>(command.GetAddressOf())));
    ASSERT_TRUE(command);
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    command.Reset();
    EXPECT_EQ(S_FALSE, component.CanUnloadNow()) << "a server lock";

    factory = Factory();
    ASSERT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(E_UNEXPECTED, factory->LockServer(FALSE)) << "an unlock without a lock";
    factory.Reset();
    EXPECT_EQ(S_OK, component.CanUnloadNow());

    factory = Factory();
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ICommand, reinterpret_cast<void**>(command.GetAddressOf())));
    factory.Reset();
    EXPECT_EQ(S_FALSE, component.CanUnloadNow()) << "a live object";
    command.Reset();
    EXPECT_EQ(S_OK, component.CanUnloadNow());
}

// The viewer window's procedure lives in the DLL: while the window exists the
// DLL must stay, and the window goes with the host thread that made it.
struct ApartmentWork {
    const LoadedComponent* component;
    HRESULT deactivated = E_FAIL;
    HRESULT whileWindowLives = E_FAIL;
};

DWORD WINAPI DeactivateOnItsOwnThread(void* parameter) {
    auto& work = *static_cast<ApartmentWork*>(parameter);
    OleInitialize(nullptr);
    {
        ComPtr<IClassFactory> factory;
        ComPtr<ITool> tool;
        work.component->GetClassObject(CLSID_MyIcommand, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
        if (factory) factory->CreateInstance(nullptr, IID_ITool, reinterpret_cast<void**>(tool.GetAddressOf()));
        VARIANT_BOOL complete = VARIANT_FALSE;
        if (tool) work.deactivated = tool->Deactivate(&complete);
    }
    work.whileWindowLives = work.component->CanUnloadNow();
    OleUninitialize();
    return 0;
}

// The viewer of a thread that ends is released with the thread, and with it
// the module usage its window held.
TEST_F(ComponentClassFactory, ViewerWindowKeepsTheDllUntilItsThreadEnds) {
    ASSERT_TRUE(component.Loaded());
    ApartmentWork work{&component};
    unique_handle thread(CreateThread(nullptr, 0, DeactivateOnItsOwnThread, &work, 0, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 60000));
    EXPECT_EQ(S_OK, work.deactivated);
    EXPECT_EQ(S_FALSE, work.whileWindowLives);
    EXPECT_EQ(S_OK, component.CanUnloadNow());
}

// Unloading the DLL takes the thread's viewer window with it: a window whose
// procedure is gone would crash the process at its next message.
TEST(ComponentUnload, FreeingTheDllDestroysTheViewerWindowOfTheThread) {
    {
        LoadedComponent component;
        ASSERT_TRUE(component.Loaded());
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, component.GetClassObject(CLSID_MyIcommand, IID_IClassFactory,
                                                 reinterpret_cast<void**>(factory.GetAddressOf())));
        ComPtr<ITool> tool;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ITool, reinterpret_cast<void**>(tool.GetAddressOf())));
        VARIANT_BOOL complete = VARIANT_FALSE;
        ASSERT_EQ(S_OK, tool->Deactivate(&complete));
        ASSERT_NE(nullptr, FindOwnWindow(L"SnapvaneDisplayPicture")) << "the viewer exists, hidden";
    }
    EXPECT_EQ(nullptr, GetModuleHandleW(L"Snapvane.dll"));
    EXPECT_EQ(nullptr, FindOwnWindow(L"SnapvaneDisplayPicture"));
}

} // namespace
} // namespace snapvane::test
