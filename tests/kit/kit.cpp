#include "kit.h"

#include <shellapi.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>

namespace kit {

namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

struct BoxSearch {
    DWORD process_id;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_box(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<BoxSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process_id || !IsWindowVisible(window))
        return TRUE;
    wchar_t class_name[16] = {};
    wchar_t title[16] = {};
    GetClassNameW(window, class_name, 16);
    GetWindowTextW(window, title, 16);
    if (std::wstring_view(class_name) == L"#32770" && std::wstring_view(title) == L"Error")
        search->found.push_back(window);
    return TRUE;
}

std::wstring box_text(HWND box)
{
    std::wstring text(8192, L'\0');
    int length = GetDlgItemTextW(box, 0xFFFF, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(length, 0)));
    return text;
}

std::wstring environment_block(const std::vector<std::wstring>& entries)
{
    std::wstring block;
    for (const auto& entry : entries) {
        block += entry;
        block.push_back(L'\0');
    }
    if (entries.empty())
        block.push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

bool same_name(std::wstring_view entry, std::wstring_view name)
{
    return entry.size() > name.size() && entry[name.size()] == L'=' &&
           CompareStringOrdinal(entry.data(), static_cast<int>(name.size()), name.data(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// The registry view of a place below SOFTWARE; HKEY_CURRENT_USER's Software is in both.
REGSAM view_of(Software where)
{
    switch (where) {
    case Software::machine64:
        return KEY_WOW64_64KEY;
    case Software::machine32:
        return KEY_WOW64_32KEY;
    case Software::user:
        break;
    }
    return 0;
}

Software machine(View view)
{
    return view == View::bits64 ? Software::machine64 : Software::machine32;
}

HKEY open_software(Software where)
{
    HKEY key = nullptr;
    bool user = where == Software::user;
    if (RegOpenKeyExW(user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, user ? L"Software" : L"SOFTWARE", 0,
                      KEY_ALL_ACCESS | view_of(where), &key) != ERROR_SUCCESS)
        fail(user ? "cannot open HKCU\\Software" : "cannot open HKLM\\SOFTWARE");
    return key;
}

// Removes a key that the tests share with others only when nothing is left in it.
void remove_if_empty(HKEY software, const wchar_t* subkey, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(software, subkey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    DWORD subkeys = 1;
    DWORD values = 1;
    LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                      nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS && subkeys == 0 && values == 0)
        RegDeleteKeyExW(software, subkey, view, 0);
}

std::wstring javasoft_path(std::wstring_view subkey)
{
    std::wstring path = L"JavaSoft";
    if (!subkey.empty())
        path += L"\\" + std::wstring(subkey);
    return path;
}

// Deletes a folder and everything below it; the \\?\ form lifts the length limit of paths.
void remove_tree(const std::wstring& dir)
{
    std::wstring long_dir = dir.rfind(L"\\\\?\\", 0) == 0 ? dir : L"\\\\?\\" + dir;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((long_dir + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring path = long_dir + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            remove_tree(path);
        } else {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    RemoveDirectoryW(long_dir.c_str());
}

RunResult run_once(const RunOptions& options)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    bool redirect = !options.output_file.empty() || !options.error_file.empty();
    if (redirect) {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        auto open = [&](const std::wstring& path) {
            return path.empty() ? nullptr
                                : CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = open(options.output_file);
        startup.hStdError = open(options.error_file);
    }
    PROCESS_INFORMATION process = {};
    std::wstring command = options.command_line;
    std::wstring block;
    if (options.environment)
        block = environment_block(*options.environment);
    // Wine now and then refuses a start with an internal error (1359) under load; the programs
    // started here always exist, so a second and third try tell a real failure from that.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(options.program.empty() ? nullptr : options.program.c_str(), command.data(), nullptr,
                           nullptr, redirect, CREATE_UNICODE_ENVIRONMENT, options.environment ? block.data() : nullptr,
                           options.folder.empty() ? nullptr : options.folder.c_str(), &startup, &process))
            break;
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3)
            fail("cannot start " + utf8(options.program.empty() ? options.command_line : options.program));
        command = options.command_line;
        Sleep(200);
    }
    CloseHandle(process.hThread);
    for (HANDLE file : {startup.hStdOutput, startup.hStdError}) {
        if (file != nullptr && file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }

    RunResult result;
    std::set<HWND> answered;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD state = WaitForSingleObject(process.hProcess, 20);
        if (state == WAIT_OBJECT_0) {
            result.finished = true;
            break;
        }
        BoxSearch search{process.dwProcessId, {}};
        EnumWindows(collect_box, reinterpret_cast<LPARAM>(&search));
        for (HWND box : search.found) {
            if (answered.count(box) != 0)
                continue;
            answered.insert(box);
            result.boxes.push_back(box_text(box));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        if (GetTickCount() - start > options.timeout_ms) {
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
    }
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hProcess);
    // A run that showed a box or had to be ended says so, with its exit code, in the test's
    // output: where a test fails over such a run, the lines before the failure explain it.
    if (!result.boxes.empty() || !result.finished) {
        std::string line = "kit: " + utf8(options.program.empty() ? options.command_line : options.program) +
                           (result.finished ? " ended with exit code " + std::to_string(result.exit_code)
                                            : " did not end within " + std::to_string(options.timeout_ms) + " ms");
        for (const std::wstring& box : result.boxes)
            line += "\n  \"Error\" box: " + utf8(box);
        printf("%s\n", line.c_str());
        fflush(stdout);
    }
    return result;
}

// Wine's refusal of a start under load (see run_once), met by a launcher starting Java: its
// box says so, and Java never ran.
bool start_refused_by_wine(const RunResult& result)
{
    return result.finished && result.boxes.size() == 1 && result.boxes[0].starts_with(L"Cannot execute command\n") &&
           result.boxes[0].ends_with(L"(error 1359)");
}

}  // namespace

RunResult run_program(const RunOptions& options)
{
    for (int attempt = 1;; ++attempt) {
        RunResult result = run_once(options);
        // The same run again tells that condition from a real failure; nothing else is run again.
        if (attempt == 3 || !start_refused_by_wine(result))
            return result;
        printf("kit: Wine refused the start of Java (error 1359, a Wine condition under load): running it again\n");
        fflush(stdout);
    }
}

std::vector<std::wstring> current_environment()
{
    std::vector<std::wstring> entries;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1)
        entries.emplace_back(p);
    FreeEnvironmentStringsW(block);
    return entries;
}

void set_variable(std::vector<std::wstring>& environment, std::wstring_view name, std::wstring_view value)
{
    remove_variable(environment, name);
    environment.push_back(std::wstring(name) + L"=" + std::wstring(value));
}

void remove_variable(std::vector<std::wstring>& environment, std::wstring_view name)
{
    std::erase_if(environment, [&](const std::wstring& entry) { return same_name(entry, name); });
}

std::wstring bin_dir()
{
    std::wstring path(4096, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring bin_path(std::wstring_view name)
{
    return bin_dir() + L"\\" + std::wstring(name);
}

std::wstring scratch_dir(std::wstring_view name)
{
    std::wstring relative = bin_dir() + L"\\..\\scratch\\" + std::wstring(name);
    std::wstring dir(4096, L'\0');
    dir.resize(GetFullPathNameW(relative.c_str(), static_cast<DWORD>(dir.size()), dir.data(), nullptr));
    // Start from nothing: earlier runs leave their files behind.
    remove_tree(dir);
    create_folders(dir);
    return dir;
}

void create_folders(const std::wstring& path)
{
    for (size_t at = path.find(L'\\', 3); ; at = path.find(L'\\', at + 1)) {
        std::wstring part = path.substr(0, at);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            fail("cannot create folder " + utf8(part));
        if (at == std::wstring::npos)
            break;
    }
}

std::vector<std::wstring> shell_split(const std::wstring& command)
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(command.c_str(), &count);
    std::vector<std::wstring> out;
    if (args != nullptr)
        out.assign(args, args + count);
    LocalFree(args);
    return out;
}

std::map<ULONG, DWORD> handles_by_process()
{
    struct Entry {
        ULONG process_id;
        UCHAR type;
        UCHAR flags;
        USHORT value;
        PVOID object;
        ACCESS_MASK access;
    };
    struct List {
        ULONG count;
        Entry entries[1];
    };
    constexpr auto handle_information = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    constexpr NTSTATUS length_mismatch = static_cast<NTSTATUS>(0xC0000004L);
    std::vector<char> buffer(1 << 20);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(handle_information, buffer.data(), static_cast<ULONG>(buffer.size()),
                                              nullptr)) == length_mismatch)
        buffer.resize(buffer.size() * 2);
    std::map<ULONG, DWORD> counts;
    if (status != 0)
        return counts;
    const auto* list = reinterpret_cast<const List*>(buffer.data());
    for (ULONG i = 0; i < list->count; ++i)
        ++counts[list->entries[i].process_id];
    return counts;
}

DWORD own_handles()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0)
        return count;
    return handles_by_process()[GetCurrentProcessId()];
}

SIZE_T private_bytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    // Wine leaves PrivateUsage at 0; its PagefileUsage is the same committed private memory.
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

void write_file_bytes(const std::wstring& path, std::string_view bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        fail("cannot create " + utf8(path));
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size())
        fail("cannot write " + utf8(path));
}

std::string read_file_bytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        fail("cannot open " + utf8(path));
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool file_present(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void copy_file(const std::wstring& from, const std::wstring& to)
{
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        fail("cannot copy " + utf8(from) + " to " + utf8(to));
}

std::string utf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring widen(std::string_view utf8_text)
{
    if (utf8_text.empty())
        return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(), static_cast<int>(utf8_text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(), static_cast<int>(utf8_text.size()), out.data(), size);
    return out;
}

std::optional<JavaRecord> read_java_record(const std::wstring& path)
{
    if (!file_present(path))
        return std::nullopt;
    std::string bytes = read_file_bytes(path);
    std::wstring text(bytes.size() / 2, L'\0');
    std::copy_n(bytes.data(), text.size() * 2, reinterpret_cast<char*>(text.data()));
    std::vector<std::wstring> fields;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(L'\0', at);
        if (end == std::wstring::npos)
            throw std::runtime_error("malformed java record");
        fields.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    JavaRecord record;
    size_t i = 0;
    auto next = [&]() -> const std::wstring& {
        if (i >= fields.size())
            throw std::runtime_error("short java record");
        return fields[i++];
    };
    auto list = [&](std::vector<std::wstring>& into) {
        size_t count = std::stoul(next());
        for (size_t k = 0; k < count; ++k)
            into.push_back(next());
    };
    record.raw = next();
    record.folder = next();
    record.process_id = std::stoul(next());
    list(record.shell_args);
    list(record.crt_args);
    list(record.parent_modules);
    return record;
}

ResourceModule::ResourceModule(const std::wstring& path)
    : handle(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
{
}

ResourceModule::~ResourceModule()
{
    if (handle != nullptr)
        FreeLibrary(handle);
}

std::string resource_bytes(HMODULE module, const wchar_t* name, const wchar_t* type)
{
    HRSRC found = FindResourceW(module, name, type);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    return data != nullptr ? std::string(static_cast<const char*>(data), SizeofResource(module, found)) : std::string();
}

void install_fake_java(const std::wstring& path)
{
    create_folders(path.substr(0, path.find_last_of(L'\\')));
    copy_file(bin_path(L"fake_java.exe"), path);
}

std::string dll_headers(WORD machine)
{
    std::string bytes(0x46, '\0');
    bytes.replace(0, 2, "MZ");
    bytes[0x3C] = 0x40;
    return bytes.replace(0x40, 6, std::string("PE\0\0", 4) + char(machine & 0xFF) + char(machine >> 8));
}

void install_hosted_runtime(const std::wstring& home)
{
    install_fake_java(home + L"\\bin\\javaw.exe");
    for (const wchar_t* folder : {L"\\bin\\server", L"\\lib"})
        create_folders(home + folder);
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"bin\\jli.dll", read_file_bytes(bin_path(L"fake_jli.dll"))},
        {L"bin\\java.dll", dll_headers(own_machine)},
        {L"bin\\server\\jvm.dll", read_file_bytes(bin_path(L"fake_jvm.dll"))},
        {L"lib\\jvm.cfg", "# the default VM first\r\n-server KNOWN\r\n-client IGNORE\r\n"},
        {L"release", "IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_VERSION=\"21.0.1\"\n"}};
    for (const auto& [file, bytes] : files)
        write_file_bytes(home + L"\\" + file, bytes);
}

std::vector<std::string> record_fields(const std::wstring& path, char end)
{
    std::vector<std::string> fields;
    std::string bytes = read_file_bytes(path);
    for (size_t at = 0, next; (next = bytes.find(end, at)) != std::string::npos; at = next + 1)
        fields.push_back(bytes.substr(at, next - at));
    return fields;
}

void set_software_value(Software where, std::wstring_view subkey, std::wstring_view name, DWORD type,
                        std::string_view bytes)
{
    HKEY software = open_software(where);
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(software, std::wstring(subkey).c_str(), 0, nullptr, 0,
                                     KEY_ALL_ACCESS | view_of(where), nullptr, &key, nullptr);
    RegCloseKey(software);
    if (status != ERROR_SUCCESS)
        fail("cannot create key " + utf8(subkey));
    std::wstring value_name(name);
    status = RegSetValueExW(key, value_name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        fail("cannot set value " + utf8(name) + " of " + utf8(subkey));
}

void set_software_string(Software where, std::wstring_view subkey, std::wstring_view name, std::wstring_view value)
{
    std::wstring terminated(value);
    terminated.push_back(L'\0');
    set_software_value(where, subkey, name, REG_SZ,
                       std::string_view(reinterpret_cast<const char*>(terminated.data()), terminated.size() * 2));
}

void remove_java_vendor_keys()
{
    // The installers' own keys below each vendor, then the vendors' keys if the tests made them.
    const wchar_t* own_keys[] = {L"Eclipse Adoptium\\JDK", L"Eclipse Adoptium\\JRE", L"AdoptOpenJDK\\JDK",
                                 L"AdoptOpenJDK\\JRE", L"Eclipse Foundation\\JDK", L"Eclipse Foundation\\JRE",
                                 L"Microsoft\\JDK", L"Microsoft\\JRE", L"Semeru\\JDK", L"Semeru\\JRE",
                                 L"Azul Systems\\Zulu", L"BellSoft\\Liberica"};
    const wchar_t* vendors[] = {L"Eclipse Adoptium", L"AdoptOpenJDK", L"Eclipse Foundation", L"Semeru",
                                L"Azul Systems", L"BellSoft"};
    for (Software where : {Software::machine64, Software::machine32, Software::user}) {
        HKEY software = open_software(where);
        for (const wchar_t* key : own_keys)
            RegDeleteTreeW(software, key);
        for (const wchar_t* vendor : vendors)
            remove_if_empty(software, vendor, view_of(where));
        RegCloseKey(software);
    }
}

void set_javasoft_value(View view, std::wstring_view subkey, std::wstring_view name, DWORD type,
                        std::string_view bytes)
{
    set_software_value(machine(view), javasoft_path(subkey), name, type, bytes);
}

void set_javasoft_string(View view, std::wstring_view subkey, std::wstring_view name, std::wstring_view value)
{
    set_software_string(machine(view), javasoft_path(subkey), name, value);
}

void remove_javasoft(View view)
{
    HKEY software = open_software(machine(view));
    RegDeleteTreeW(software, L"JavaSoft");
    RegCloseKey(software);
}

std::optional<std::wstring> read_javasoft_string(View view, std::wstring_view subkey, std::wstring_view name)
{
    HKEY software = open_software(machine(view));
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(software, javasoft_path(subkey).c_str(), 0,
                                   KEY_READ | view_of(machine(view)), &key);
    RegCloseKey(software);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    std::wstring value_name(name);
    status = RegQueryValueExW(key, value_name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

}  // namespace kit
