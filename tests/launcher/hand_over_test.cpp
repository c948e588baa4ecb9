// The instance's pipe name, made by hand from the user's SID.
#include "in_process/hand_over.h"

#include <windows.h>

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

// Two installations, users or sessions never meet; a path typed in another case is the same.
TEST(InstancePipe, OneNamePerInstallationUserAndSession)
{
    std::vector<unsigned char> sid = own_sid(), other_sid = sid;
    ASSERT_EQ(sid_size(sid.data()), sid.size());
    other_sid.back() ^= 1;
    auto name = [](unsigned long session, const wchar_t* path, const std::vector<unsigned char>& user) {
        wchar_t text[pipe_name_capacity];
        instance_pipe_name(text, session, path, user.data());
        return std::wstring(text);
    };
    std::wstring base = name(1, L"C:\\Program Files\\App\\App.exe", sid);
    EXPECT_EQ(base.rfind(L"\\\\.\\pipe\\kelvo-1-", 0), 0u);
    EXPECT_EQ(name(1, L"c:\\program files\\app\\APP.exe", sid), base);
    EXPECT_NE(name(1, L"C:\\Program Files\\App2\\App.exe", sid), base);
    EXPECT_NE(name(2, L"C:\\Program Files\\App\\App.exe", sid), base);
    EXPECT_NE(name(1, L"C:\\Program Files\\App\\App.exe", other_sid), base);
}

}  // namespace
