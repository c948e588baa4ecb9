// The instance's pipe, made by hand from the user's SID: its security descriptor and its name.
#include "hand_over.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> own_sid()
{
    HANDLE token = nullptr;
    DWORD buffer[64];
    DWORD size = sizeof buffer;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    EXPECT_TRUE(GetTokenInformation(token, TokenUser, buffer, size, &size));
    CloseHandle(token);
    auto* sid = static_cast<unsigned char*>(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    return {sid, sid + GetLengthSid(sid)};
}

// A descriptor that grants more than the user and the system, or that Windows reads otherwise
// than it was meant, would open the pipe to others.
TEST(InstancePipe, OnlyTheUserAndTheSystemMayOpenIt)
{
    std::vector<unsigned char> sid = own_sid();
    ASSERT_EQ(sid_size(sid.data()), sid.size());
    unsigned char descriptor[pipe_security_capacity];
    size_t size = pipe_security(descriptor, sid.data());
    ASSERT_TRUE(IsValidSecurityDescriptor(descriptor));
    EXPECT_EQ(GetSecurityDescriptorLength(descriptor), size);
    wchar_t* text = nullptr;
    wchar_t* user = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &text, nullptr));
    ASSERT_TRUE(ConvertSidToStringSidW(sid.data(), &user));
    EXPECT_EQ(std::wstring(text), L"D:P(A;;FA;;;" + std::wstring(user) + L")(A;;FA;;;SY)");
    LocalFree(text);
    LocalFree(user);
}

// Two installations, users or sessions never meet; a path typed in another case is the same.
TEST(InstancePipe, OneNamePerInstallationUserAndSession)
{
    std::vector<unsigned char> sid = own_sid();
    std::vector<unsigned char> other_sid = sid;
    other_sid.back() ^= 1;
    struct Case {
        const char* name;
        unsigned long session;
        const wchar_t* path;
        const std::vector<unsigned char>* sid;
        bool same;
    };
    const Case cases[] = {
        {"path in other case", 1, L"c:\\program files\\app\\APP.exe", &sid, true},
        {"other installation", 1, L"C:\\Program Files\\App2\\App.exe", &sid, false},
        {"other session", 2, L"C:\\Program Files\\App\\App.exe", &sid, false},
        {"other user", 1, L"C:\\Program Files\\App\\App.exe", &other_sid, false},
    };
    wchar_t base[pipe_name_capacity];
    instance_pipe_name(base, 1, L"C:\\Program Files\\App\\App.exe", sid.data());
    EXPECT_EQ(std::wstring(base).rfind(L"\\\\.\\pipe\\kelvo-1-", 0), 0u) << base;
    for (const Case& c : cases) {
        wchar_t name[pipe_name_capacity];
        instance_pipe_name(name, c.session, c.path, c.sid->data());
        EXPECT_EQ(std::wstring(name) == base, c.same) << c.name;
    }
}

}  // namespace
