// Thin wrappers over the registry calls that self-registration needs. Every
// function returns the result as an HRESULT; a key that is already gone counts
// as deleted.
#pragma once

#include "win32/Handles.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace snapvane {

// Creates (or opens) root\path for writing.
HRESULT CreateRegistryKey(HKEY root, const std::wstring& path, unique_hkey& key) noexcept;

// Sets a string value; an empty name sets the key's default value.
HRESULT SetRegistryString(HKEY key, const wchar_t* name, const std::wstring& value) noexcept;

// Creates root\path and sets its default value.
HRESULT SetRegistryDefault(HKEY root, const std::wstring& path, const std::wstring& value) noexcept;

// Deletes root\path with everything below it.
HRESULT DeleteRegistryTree(HKEY root, const std::wstring& path) noexcept;

// Deletes root\path if it has neither subkeys nor values.
HRESULT DeleteRegistryKeyIfEmpty(HKEY root, const std::wstring& path) noexcept;

// A copy in memory of one key with its values and subkeys, or of its absence.
struct RegistryTree {
    struct Value {
        std::wstring name;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    bool exists = false;
    std::vector<Value> values;
    std::vector<std::pair<std::wstring, RegistryTree>> subkeys;
};

// Copies root\path; a missing key gives a tree that does not exist.
HRESULT ReadRegistryTree(HKEY root, const std::wstring& path, RegistryTree& tree);

// Puts root\path back as the copy shows it: deleted if it did not exist,
// otherwise replaced by exactly the copied values and subkeys.
HRESULT WriteRegistryTree(HKEY root, const std::wstring& path, const RegistryTree& tree);

} // namespace snapvane
