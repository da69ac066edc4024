// Argument vectors for the command-line tests and fuzz targets, laid out as
// the platform hands them to wmain: argv[0] is the program's name and
// argv[argc] is null. The parser moves the pointers about; the strings stay
// where they are, so a test can tell which argument a pointer came from.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace dormivel::test {

class TestArgv {
public:
    TestArgv(std::initializer_list<std::wstring> args) : TestArgv(std::vector<std::wstring>(args)) {}
    // The arguments after the program's name.
    explicit TestArgv(const std::vector<std::wstring>& args) {
        storage_.emplace_back(L"dormivel.exe");
        storage_.insert(storage_.end(), args.begin(), args.end());
        for (auto& s : storage_)
            pointers_.push_back(s.data());
        pointers_.push_back(nullptr);
        // After the loop above; not a member initializer.
        original_ = pointers_;  // NOLINT(cppcoreguidelines-prefer-member-initializer)
    }
    TestArgv(const TestArgv&) = delete;
    TestArgv& operator=(const TestArgv&) = delete;
    ~TestArgv() = default;

    int argc() const { return static_cast<int>(storage_.size()); }
    wchar_t** argv() { return pointers_.data(); }

    // The texts now at argv[from..to).
    std::vector<std::wstring> texts(int from, int to) const {
        std::vector<std::wstring> out;
        for (int i = from; i < to; ++i)
            out.emplace_back(pointers_[i]);
        return out;
    }

    // True when `p` points into one of the argument strings (terminator
    // included).
    bool pointsIntoArgs(const wchar_t* p) const {
        return std::any_of(storage_.begin(), storage_.end(),
                           [p](const std::wstring& s) { return p >= s.data() && p <= s.data() + s.size(); });
    }

    // Where the pointer `p` stood before parsing (argc() + 1 when it was
    // none of them).
    int originalIndex(const wchar_t* p) const {
        return static_cast<int>(std::find(original_.begin(), original_.end(), p) - original_.begin());
    }

    const std::vector<wchar_t*>& original() const { return original_; }
    const std::vector<wchar_t*>& current() const { return pointers_; }

private:
    std::vector<std::wstring> storage_;
    std::vector<wchar_t*> pointers_;
    std::vector<wchar_t*> original_;
};

// A text option as the parser leaves it: null (absent) or its text.
inline std::optional<std::wstring> optionalText(const wchar_t* p) {
    return p == nullptr ? std::nullopt : std::optional<std::wstring>(p);
}

}  // namespace dormivel::test
