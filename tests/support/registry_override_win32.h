// Values under a key of the current user's registry, changed for the length
// of a test: each value is put back as it was (or deleted when it did not
// exist) by restore() or, at the latest, by the destructor, so that a failed
// assertion leaves the prefix's settings as it found them.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace dormivel::test {

class RegistryOverride {
public:
    explicit RegistryOverride(const wchar_t* subKey) {
        if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    RegistryOverride(const RegistryOverride&) = delete;
    RegistryOverride& operator=(const RegistryOverride&) = delete;
    ~RegistryOverride() {
        restore();
        if (key_ != nullptr) RegCloseKey(key_);
    }

    bool isOpen() const { return key_ != nullptr; }

    // Sets a string value, keeping what was there before.
    bool setString(const wchar_t* name, const std::wstring& value) {
        if (key_ == nullptr) return false;
        Saved saved{name, false, REG_NONE, {}};
        DWORD size = 0;
        if (RegQueryValueExW(key_, name, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
            saved.data.resize(size);
            saved.existed =
                RegQueryValueExW(key_, name, nullptr, &saved.type, saved.data.data(), &size) == ERROR_SUCCESS;
            saved.data.resize(size);
        }
        saved_.push_back(std::move(saved));
        return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }

    // Puts every changed value back, the last change first.
    void restore() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->existed) {
                RegSetValueExW(key_, it->name.c_str(), 0, it->type, it->data.data(),
                               static_cast<DWORD>(it->data.size()));
            } else {
                RegDeleteValueW(key_, it->name.c_str());
            }
        }
        saved_.clear();
    }

private:
    struct Saved {
        std::wstring name;
        bool existed;
        DWORD type;
        std::vector<BYTE> data;
    };
    HKEY key_ = nullptr;
    std::vector<Saved> saved_;
};

}  // namespace dormivel::test
