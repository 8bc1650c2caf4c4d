#include "component/Registry.h"

namespace snapvane {

namespace {
bool IsGone(LSTATUS status) noexcept { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }
}

HRESULT CreateRegistryKey(HKEY root, const std::wstring& path, unique_hkey& key) noexcept {
    HKEY created = nullptr;
    LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_READ | KEY_WRITE, nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    key.reset(created);
    return S_OK;
}

HRESULT SetRegistryString(HKEY key, const wchar_t* name, const std::wstring& value) noexcept {
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    LSTATUS status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    return HRESULT_FROM_WIN32(status);
}

HRESULT SetRegistryDefault(HKEY root, const std::wstring& path, const std::wstring& value) noexcept {
    unique_hkey key;
    HRESULT hr = CreateRegistryKey(root, path, key);
    if (FAILED(hr)) return hr;
    return SetRegistryString(key.get(), nullptr, value);
}

HRESULT DeleteRegistryTree(HKEY root, const std::wstring& path) noexcept {
    LSTATUS status = RegDeleteTreeW(root, path.c_str());
    if (status == ERROR_SUCCESS || IsGone(status)) return S_OK;
    return HRESULT_FROM_WIN32(status);
}

HRESULT DeleteRegistryKeyIfEmpty(HKEY root, const std::wstring& path) noexcept {
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &opened);
    if (IsGone(status)) return S_OK;
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    unique_hkey key(opened);
    DWORD subkeys = 0, values = 0;
    status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                              nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    key.reset();
    if (subkeys || values) return S_OK;
    status = RegDeleteKeyW(root, path.c_str());
    if (status == ERROR_SUCCESS || IsGone(status)) return S_OK;
    return HRESULT_FROM_WIN32(status);
}

} // namespace snapvane

namespace snapvane {

HRESULT ReadRegistryTree(HKEY root, const std::wstring& path, RegistryTree& tree) {
    tree = RegistryTree();
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &opened);
    if (IsGone(status)) return S_OK;
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    unique_hkey key(opened);
    tree.exists = true;

    DWORD subkeyCount = 0, longestSubkey = 0, valueCount = 0, longestName = 0, largestData = 0;
    status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeyCount, &longestSubkey, nullptr, &valueCount,
                              &longestName, &largestData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);

    for (DWORD index = 0; index < valueCount; ++index) {
        std::wstring name(longestName + 1, L'\0');
        std::vector<BYTE> data(largestData);
        DWORD nameLength = longestName + 1, type = 0, size = largestData;
        status = RegEnumValueW(key.get(), index, &name[0], &nameLength, nullptr, &type, data.data(), &size);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        name.resize(nameLength);
        data.resize(size);
        tree.values.push_back({name, type, data});
    }
    for (DWORD index = 0; index < subkeyCount; ++index) {
        std::wstring name(longestSubkey + 1, L'\0');
        DWORD nameLength = longestSubkey + 1;
        status = RegEnumKeyExW(key.get(), index, &name[0], &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        name.resize(nameLength);
        tree.subkeys.emplace_back(name, RegistryTree());
    }
    for (auto& subkey : tree.subkeys) {
        HRESULT hr = ReadRegistryTree(key.get(), subkey.first, subkey.second);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

namespace {

HRESULT WriteRegistryContent(HKEY root, const std::wstring& path, const RegistryTree& tree) {
    unique_hkey key;
    HRESULT hr = CreateRegistryKey(root, path, key);
    if (FAILED(hr)) return hr;
    for (const RegistryTree::Value& value : tree.values) {
        LSTATUS status = RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                                        static_cast<DWORD>(value.data.size()));
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    for (const auto& subkey : tree.subkeys) {
        hr = WriteRegistryContent(key.get(), subkey.first, subkey.second);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

} // namespace

HRESULT WriteRegistryTree(HKEY root, const std::wstring& path, const RegistryTree& tree) {
    HRESULT hr = DeleteRegistryTree(root, path);
    if (FAILED(hr) || !tree.exists) return hr;
    return WriteRegistryContent(root, path, tree);
}

} // namespace snapvane
