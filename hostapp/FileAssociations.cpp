#include "hostapp/FileAssociations.h"

#include "errors/RuntimeError.h"
#include "win32/Handles.h"

#include <windows.h>

namespace snapvane::hostapp {

namespace {

constexpr wchar_t kRecorderClass[] = L"Snapvane.RecordedPicture";

unique_hkey CreateKey(const std::wstring& path) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                     &key, nullptr);
    if (status != ERROR_SUCCESS)
        throw RuntimeError(HRESULT_FROM_WIN32(status), L"Snapvane host", L"The registry key " + path + L" cannot be written.");
    return unique_hkey(key);
}

void SetDefault(HKEY key, const std::wstring& value) {
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool ReadDefault(HKEY key, std::wstring* value) {
    wchar_t text[1024];
    DWORD size = sizeof text - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    text[size / sizeof(wchar_t)] = L'\0';
    *value = text;
    return true;
}

} // namespace

FileAssociations::~FileAssociations() { Restore(); }

void FileAssociations::Save(const std::wstring& extension) {
    for (const Saved& saved : saved_)
        if (saved.extension == extension) return;
    unique_hkey key = CreateKey(extension);
    Saved saved{extension, false, {}};
    saved.hadValue = ReadDefault(key.get(), &saved.value);
    saved_.push_back(saved);
}

void FileAssociations::Associate(const std::wstring& extension, const std::wstring& program) {
    Save(extension);
    unique_hkey command = CreateKey(std::wstring(kRecorderClass) + L"\\shell\\open\\command");
    classCreated_ = true;
    SetDefault(command.get(), L"\"" + program + L"\" \"%1\"");
    SetDefault(CreateKey(extension).get(), kRecorderClass);
}

void FileAssociations::Dissociate(const std::wstring& extension) {
    Save(extension);
    RegDeleteValueW(CreateKey(extension).get(), nullptr);
}

void FileAssociations::Restore() noexcept {
    for (const Saved& saved : saved_) {
        HKEY raw = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, saved.extension.c_str(), 0, KEY_WRITE, &raw) != ERROR_SUCCESS) continue;
        unique_hkey key(raw);
        if (saved.hadValue) SetDefault(key.get(), saved.value);
        else RegDeleteValueW(key.get(), nullptr);
    }
    saved_.clear();
    if (classCreated_) RegDeleteTreeW(HKEY_CLASSES_ROOT, kRecorderClass);
    classCreated_ = false;
}

} // namespace snapvane::hostapp
