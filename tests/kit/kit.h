// End-to-end test kit: runs Windows programs as a user would, answers their "Error" boxes,
// reads what the stand-in Java executable received, and prepares files and registry keys.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kit {

struct RunResult {
    bool finished = false;            // false: the timeout ran out and the program was killed
    DWORD exit_code = 0;
    std::vector<std::wstring> boxes;  // text of every "Error" box, in the order shown
};

struct RunOptions {
    std::wstring program;                         // module to start; empty: taken from the command line
    std::wstring command_line;                    // passed as it stands
    std::optional<std::vector<std::wstring>> environment;  // "NAME=value" entries; none: inherited
    std::wstring folder;                          // empty: inherited
    DWORD timeout_ms = 30000;
    std::wstring output_file = {};                // standard output and error go to these files;
    std::wstring error_file = {};                 // both empty: inherited
};

RunResult run_program(const RunOptions& options);

// Environment entries of this process, to be changed and handed to run_program.
std::vector<std::wstring> current_environment();
void set_variable(std::vector<std::wstring>& environment, std::wstring_view name, std::wstring_view value);
void remove_variable(std::vector<std::wstring>& environment, std::wstring_view name);

// Folder of the running test program; every program of the build lies there.
std::wstring bin_dir();
std::wstring bin_path(std::wstring_view name);
// A new, empty folder for one test, under the build's scratch folder.
std::wstring scratch_dir(std::wstring_view name);

// The elements of a command line as CommandLineToArgvW splits it.
std::vector<std::wstring> shell_split(const std::wstring& command);

// What a process holds, measured so that it also works under Wine, which answers 0 to
// GetProcessHandleCount and to PrivateUsage: handles per process id from the system's list,
// this process's own handles, and its committed private memory.
std::map<ULONG, DWORD> handles_by_process();
DWORD own_handles();
SIZE_T private_bytes();

// A program file mapped for reading its resources, none of its code run.
struct ResourceModule {
    HMODULE handle;
    explicit ResourceModule(const std::wstring& path);
    ~ResourceModule();
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;
};
// The bytes of a resource, empty when it is missing.
std::string resource_bytes(HMODULE module, const wchar_t* name, const wchar_t* type);

void write_file_bytes(const std::wstring& path, std::string_view bytes);
std::string read_file_bytes(const std::wstring& path);
bool file_present(const std::wstring& path);
void copy_file(const std::wstring& from, const std::wstring& to);
std::string utf8(std::wstring_view text);
std::wstring widen(std::string_view utf8_text);

// What the stand-in Java executable recorded: its raw command line, its current folder,
// its process id, its arguments as CommandLineToArgvW and as the C runtime's wmain split them,
// and the modules (lower-case names) its parent process had loaded when it started.
struct JavaRecord {
    std::wstring raw;
    std::wstring folder;
    DWORD process_id = 0;
    std::vector<std::wstring> shell_args;
    std::vector<std::wstring> crt_args;
    std::vector<std::wstring> parent_modules;
};
// The stand-in reads these variables: where to record, how long to sleep, what to exit with,
// what to write to its standard output.
// After sleeping it creates "<record>.done".
constexpr wchar_t java_record_variable[] = L"KIT_JAVA_RECORD";
constexpr wchar_t java_sleep_variable[] = L"KIT_JAVA_SLEEP_MS";
constexpr wchar_t java_exit_variable[] = L"KIT_JAVA_EXIT";
constexpr wchar_t java_output_variable[] = L"KIT_JAVA_OUTPUT";  // ASCII only
std::optional<JavaRecord> read_java_record(const std::wstring& path);
// Copies the stand-in to path (e.g. "...\\bin\\javaw.exe"), creating missing folders.
void install_fake_java(const std::wstring& path);

// A DLL's headers, as far as the machine type: what the launcher reads of a runtime's DLLs.
std::string dll_headers(WORD machine);
#ifdef _WIN64
constexpr WORD own_machine = 0x8664, other_machine = 0x14C;
#else
constexpr WORD own_machine = 0x14C, other_machine = 0x8664;
#endif
// A Java 21 runtime at home that the launcher of this build can run in its process: the
// stand-in bin\javaw.exe, jli.dll (which records at KIT_JLI_RECORD) and server\jvm.dll,
// java.dll's headers, and a jvm.cfg naming the server virtual machine.
void install_hosted_runtime(const std::wstring& home);
// The fields of a record file, each ended by end; what follows the last end is left out.
std::vector<std::string> record_fields(const std::wstring& path, char end);
void create_folders(const std::wstring& path);

// Keys and values below SOFTWARE: in HKEY_LOCAL_MACHINE, in one registry view, or in
// HKEY_CURRENT_USER, which both views share.
enum class Software { machine64, machine32, user };
void set_software_value(Software where, std::wstring_view subkey, std::wstring_view name, DWORD type,
                        std::string_view bytes);
void set_software_string(Software where, std::wstring_view subkey, std::wstring_view name, std::wstring_view value);
// Removes the keys that the tests write for Java installers other than JavaSoft, everywhere,
// and nothing beside them: Microsoft\JDK and Microsoft\JRE, never Microsoft.
void remove_java_vendor_keys();

// Keys and values under HKEY_LOCAL_MACHINE\SOFTWARE\JavaSoft, in one registry view.
enum class View { bits64, bits32 };
void set_javasoft_value(View view, std::wstring_view subkey, std::wstring_view name, DWORD type,
                        std::string_view bytes);
void set_javasoft_string(View view, std::wstring_view subkey, std::wstring_view name, std::wstring_view value);
void remove_javasoft(View view);
std::optional<std::wstring> read_javasoft_string(View view, std::wstring_view subkey, std::wstring_view name);

}  // namespace kit
