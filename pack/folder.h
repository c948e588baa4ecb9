// The file system side of packing: UTF-8 paths, reading, listing and copying folders, the
// temporary folder renamed into place at the end, file times.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pack {

namespace fs = std::filesystem;

// Paths are UTF-8 text on the command line and in messages, on Linux as on Windows.
fs::path path_of(const std::string& utf8);
std::string text_of(const fs::path& path);

// A file's bytes, at most limit of them; none when it cannot be read.
std::optional<std::string> read_bytes(const fs::path& path, size_t limit = SIZE_MAX);
// Writes the bytes to a new file; throws Failure when it cannot.
void write_bytes(const fs::path& path, const std::string& bytes);

// Every regular file below root, as paths relative to it with "/" between the names, in
// byte order of their UTF-8 text, so that Linux and Windows list them alike. Throws Failure
// for an entry that is neither file nor folder, or that cannot be read.
std::vector<std::string> files_below(const fs::path& root);
// Copies those files from one folder into another, making the folders they need.
void copy_files(const fs::path& from, const fs::path& to, const std::vector<std::string>& files);

// Gives every file and folder below root and root itself the modification time seconds since
// 1970 (SOURCE_DATE_EPOCH), so that archives made of the folder come out alike.
void set_times(const fs::path& root, int64_t seconds);

// The folder this program lies in.
fs::path own_folder();

// A folder that is removed with everything in it unless it was moved into place.
class TemporaryFolder {
public:
    explicit TemporaryFolder(fs::path path);
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const fs::path& path() const { return path_; }
    // Renames it to target, which must not exist or be an empty folder.
    void move_to(const fs::path& target);

private:
    fs::path path_;
    bool moved_ = false;
};

}  // namespace pack
