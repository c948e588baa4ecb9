#include "folder.h"

#include "failure.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace pack {

fs::path path_of(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string text_of(const fs::path& path)
{
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::optional<std::string> read_bytes(const fs::path& path, size_t limit)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string bytes;
    char chunk[65536];
    while (bytes.size() < limit && file) {
        file.read(chunk, sizeof chunk);
        bytes.append(chunk, std::min(static_cast<size_t>(file.gcount()), limit - bytes.size()));
    }
    if (file.bad() || fs::is_directory(path))
        return std::nullopt;
    return bytes;
}

void write_bytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file)
        throw Failure(text_of(path) + ": cannot write it");
}

std::vector<std::string> files_below(const fs::path& root)
{
    std::vector<std::string> files;
    std::error_code error;
    // A linked folder is copied as the folder it stands for, as a linked file is.
    fs::recursive_directory_iterator entries(root, fs::directory_options::follow_directory_symlink, error);
    for (; !error && entries != fs::recursive_directory_iterator(); entries.increment(error)) {
        const fs::directory_entry& entry = *entries;
        if (entry.is_directory())
            continue;
        if (!entry.is_regular_file())
            throw Failure(text_of(entry.path()) + ": neither a file nor a folder");
        files.push_back(text_of(entry.path().lexically_relative(root).generic_u8string()));
    }
    if (error)
        throw Failure(text_of(root) + ": cannot read the folder: " + error.message());
    std::sort(files.begin(), files.end());
    return files;
}

void copy_files(const fs::path& from, const fs::path& to, const std::vector<std::string>& files)
{
    for (const std::string& file : files) {
        fs::path target = to / path_of(file);
        fs::create_directories(target.parent_path());
        std::error_code error;
        fs::copy_file(from / path_of(file), target, error);
        if (error)
            throw Failure(text_of(from / path_of(file)) + ": cannot copy it: " + error.message());
    }
}

namespace {

void set_folder_time(const fs::path& folder, int64_t seconds)
{
#ifdef _WIN32
    // The C runtime's time setting opens files only; a folder needs backup semantics.
    HANDLE handle = CreateFileW(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    uint64_t ticks = (static_cast<uint64_t>(seconds) + 11644473600u) * 10000000u;  // 100 ns since 1601
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    bool set = handle != INVALID_HANDLE_VALUE && SetFileTime(handle, nullptr, nullptr, &time);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (!set)
        throw Failure(text_of(folder) + ": cannot set its time");
#else
    fs::last_write_time(folder, std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds))));
#endif
}

}  // namespace

void set_times(const fs::path& root, int64_t seconds)
{
    auto time = std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds)));
    // Folders last, the deepest first: writing into a folder would change its time again.
    std::vector<fs::path> folders{root};
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory())
            folders.push_back(entry.path());
        else
            fs::last_write_time(entry.path(), time);
    }
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        set_folder_time(*folder, seconds);
}

fs::path own_folder()
{
#ifdef _WIN32
    std::wstring name(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    name.resize(length);
    return fs::path(name).parent_path();
#else
    return fs::read_symlink("/proc/self/exe").parent_path();
#endif
}

TemporaryFolder::TemporaryFolder(fs::path path) : path_(std::move(path))
{
    // What a run that was killed left behind.
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    if (!moved_)
        fs::remove_all(path_, ignored);
}

void TemporaryFolder::move_to(const fs::path& target)
{
    // An empty folder is in the way of a rename on Windows; it goes first.
    if (fs::is_directory(target))
        fs::remove(target);
    fs::rename(path_, target);
    moved_ = true;
}

}  // namespace pack
