// Self-registration, checked in a private registry tree that stands in for
// HKEY_CLASSES_ROOT in this process only, so that other test programs, which
// use the component registered in the prefix, are not disturbed.
#include "ComponentSupport.h"

#include "HostGis.h"

#include <vector>

namespace snapvane::test {
namespace {

class ComponentRegistration : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(component.Loaded());
        rootPath_ = L"Software\\Snapvane tests\\classes-" + std::to_wstring(GetCurrentProcessId());
        HKEY root = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, rootPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &root, nullptr));
        root_.reset(root);
        ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, root_.get()));
    }
    void TearDown() override {
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        root_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Snapvane tests");
    }

    // The default value (or the named value) of a key below the private root;
    // "<none>" when the key or value does not exist.
    std::wstring Value(const std::wstring& path, const wchar_t* name = nullptr) const {
        wchar_t text[1024] = {};
        DWORD bytes = sizeof(text);
        if (RegGetValueW(root_.get(), path.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
            return L"<none>";
        return text;
    }
    // Every key two levels below the root ("CLSID\\{...}"); registration
    // writes nothing else at the top level but its ProgID.
    std::vector<std::wstring> Entries() const {
        std::vector<std::wstring> entries;
        for (const std::wstring& top : SubkeysOf(root_.get(), L"")) {
            for (const std::wstring& below : SubkeysOf(root_.get(), top)) entries.push_back(top + L"\\" + below);
            if (top.find(L'.') != std::wstring::npos) entries.push_back(top);
        }
        return entries;
    }
    static std::vector<std::wstring> SubkeysOf(HKEY root, const std::wstring& path) {
        std::vector<std::wstring> names;
        HKEY opened = nullptr;
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return names;
        unique_hkey key(opened);
        wchar_t name[256];
        for (DWORD index = 0;; ++index) {
            DWORD length = ARRAYSIZE(name);
            if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.push_back(name);
        }
        return names;
    }
    void SetValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(root_.get(), path.c_str(), name, REG_SZ, value.c_str(),
                                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    }
    bool Exists(const std::wstring& path) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root_.get(), path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

    LoadedComponent component;
    std::wstring rootPath_;
    unique_hkey root_;
};

TEST_F(ComponentRegistration, WritesProgIdClassAndTypeLibrary) {
    ASSERT_EQ(S_OK, component.RegisterServer());
    const std::wstring clsid = GuidText(CLSID_MyIcommand);
    EXPECT_EQ(clsid, Value(L"Project1.MyIcommand\\CLSID"));
    EXPECT_EQ(L"Project1.MyIcommand", Value(L"CLSID\\" + clsid + L"\\ProgID"));
    EXPECT_EQ(ComponentPath(), Value(L"CLSID\\" + clsid + L"\\InprocServer32"));
    EXPECT_EQ(L"Apartment", Value(L"CLSID\\" + clsid + L"\\InprocServer32", L"ThreadingModel"));

    const std::wstring library = L"TypeLib\\" + GuidText(LIBID_Project1) + L"\\61.0";
    EXPECT_EQ(L"Project1", Value(library));
    EXPECT_EQ(ComponentPath(), Value(library + (sizeof(void*) == 8 ? L"\\0\\win64" : L"\\0\\win32")));
    const std::wstring iface = L"Interface\\" + GuidText(IID__MyIcommand);
    EXPECT_EQ(L"_MyIcommand", Value(iface));
    EXPECT_EQ(GuidText(LIBID_Project1), Value(iface + L"\\TypeLib"));
}

TEST_F(ComponentRegistration, UnregisteringLeavesNothingBehindAndBothAreRepeatable) {
    ASSERT_EQ(S_OK, component.RegisterServer());
    ASSERT_EQ(S_OK, component.RegisterServer());
    ASSERT_EQ(S_OK, component.UnregisterServer());
    EXPECT_FALSE(Exists(L"Project1.MyIcommand"));
    EXPECT_FALSE(Exists(L"CLSID\\" + GuidText(CLSID_MyIcommand)));
    EXPECT_FALSE(Exists(L"Interface\\" + GuidText(IID__MyIcommand)));
    EXPECT_FALSE(Exists(L"TypeLib\\" + GuidText(LIBID_Project1)));

    EXPECT_EQ(S_OK, component.UnregisterServer()) << "nothing left to remove";
    EXPECT_EQ(std::vector<std::wstring>{}, Entries());
}

// Project1 carries copies of the host's ICommand and ITool; registering and
// unregistering the component must leave the host's registration of those
// interfaces as it was.
TEST_F(ComponentRegistration, LeavesTheHostsInterfaceRegistrationAsItWas) {
    const std::wstring hostLibrary = L"{866AE5D3-530C-11D2-A2BD-0000F8774FB5}";
    const std::wstring command = L"Interface\\" + GuidText(IID_ICommand);
    SetValue(command, nullptr, L"ICommand");
    SetValue(command + L"\\TypeLib", nullptr, hostLibrary);
    SetValue(command + L"\\TypeLib", L"Version", L"1.0");
    SetValue(command + L"\\ProxyStubClsid32", nullptr, L"{00020424-0000-0000-C000-000000000046}");

    ASSERT_EQ(S_OK, component.RegisterServer());
    EXPECT_EQ(hostLibrary, Value(command + L"\\TypeLib"));
    EXPECT_EQ(L"1.0", Value(command + L"\\TypeLib", L"Version"));
    EXPECT_FALSE(Exists(L"Interface\\" + GuidText(IID_ITool))) << "the host never registered it";

    ASSERT_EQ(S_OK, component.UnregisterServer());
    EXPECT_EQ(L"ICommand", Value(command));
    EXPECT_EQ(hostLibrary, Value(command + L"\\TypeLib"));
    EXPECT_EQ(L"{00020424-0000-0000-C000-000000000046}", Value(command + L"\\ProxyStubClsid32"));
    EXPECT_EQ(std::vector<std::wstring>{L"Interface\\" + GuidText(IID_ICommand)}, Entries());
}

} // namespace
} // namespace snapvane::test
