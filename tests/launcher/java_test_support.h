// Helpers for the lookup and Java search tests: the trace log of the test program itself,
// environment variables set for one test, and the JavaSoft registry keys emptied around it.
#pragma once

#include "kit.h"
#include "system/diagnostics.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace java_test {

// The log beside the test program: tracing is switched on before the first entry of the
// process, so every entry of the launcher code lands in it.
inline std::wstring log_path()
{
    wchar_t module[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, length);
    path.replace(path.rfind(L'.'), std::wstring::npos, L".kelvo_log");
    return path;
}

inline void start_tracing()
{
    static const bool started = [] {
        _wputenv_s(L"VERBOSE_KELVO", L"1");
        trace_message(L"%s", L"test start");
        return true;
    }();
    (void)started;
}

// The entries written since construction, with the log's line ends as plain "\n".
class TraceLog {
public:
    TraceLog()
    {
        start_tracing();
        start_ = kit::read_file_bytes(log_path()).size();
    }
    std::string text() const
    {
        std::string all = kit::read_file_bytes(log_path());
        std::string text;
        for (size_t i = start_; i < all.size(); ++i) {
            if (all[i] != '\r')
                text.push_back(all[i]);
        }
        return text;
    }
    bool contains(const std::string& entry) const { return text().find(entry) != std::string::npos; }
    size_t count(const std::string& entry) const
    {
        std::string all = text();
        size_t found = 0;
        for (size_t at = all.find(entry); at != std::string::npos; at = all.find(entry, at + 1))
            ++found;
        return found;
    }

private:
    size_t start_ = 0;
};

// Sets (or, with nullopt, removes) variables in the C runtime's environment, which the launcher
// reads, and puts the old values back afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            put(it->first, it->second);
    }
    void set(const std::wstring& name, const std::optional<std::wstring>& value)
    {
        const wchar_t* old = _wgetenv(name.c_str());
        saved_.emplace_back(name, old == nullptr ? std::nullopt : std::optional<std::wstring>(old));
        put(name, value);
    }

private:
    static void put(const std::wstring& name, const std::optional<std::wstring>& value)
    {
        _wputenv_s(name.c_str(), value ? value->c_str() : L"");
    }
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved_;
};

// Every test that uses the JavaSoft keys starts and ends with none, in both views.
class JavaSoftTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kit::remove_javasoft(kit::View::bits64);
        kit::remove_javasoft(kit::View::bits32);
    }
    void TearDown() override
    {
        kit::remove_javasoft(kit::View::bits64);
        kit::remove_javasoft(kit::View::bits32);
    }
};

} // namespace java_test
