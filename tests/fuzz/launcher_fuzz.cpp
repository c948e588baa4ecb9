// Fuzz targets for the launcher's pure parts: each checks what must hold for any input.
#include "command/command.h"
#include "command/parameter_file.h"
#include "command/quoting.h"
#include "finding/java_search.h"
#include "in_process/hand_over.h"
#include "system/lookups.h"
#include "system/paths.h"

#include "fuzz_kit.h"
#include "kit.h"

#include <windows.h>

#include <malloc.h>

#include <cstdlib>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using fuzz::check;
using fuzz::GuardedBuffer;
using fuzz::GuardedBytes;
using fuzz::GuardedText;
using fuzz::Rng;

std::wstring taken(WideBuffer* buffer)
{
    std::wstring text = buffer->data == nullptr ? L"" : std::wstring(buffer->data, static_cast<size_t>(buffer->length));
    wide_buffer_release(buffer);
    return text;
}

bool is_blank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// Tokenizer: every token and the two null slots lie inside the one block sized from the text,
// tokens do not overlap, their count and size keep to the bound, and quoting the tokens back
// into a text gives the same tokens.
const std::vector<std::wstring> tokenizer_pieces = {
    L" ", L"\t", L"\r", L"\n", L"\r\n", L"\"", L"\\", L"\\\"", L"#", L"a", L"bc", L"%", L"\xE9", L"\xD83D",
    L"\xDE00", L"\xFEFF", L"*", L"\"\"", L"x y",
};

void tokenize_iteration(Rng& rng, uint64_t)
{
    std::wstring text = fuzz::random_text(rng, tokenizer_pieces, rng.chance(2) ? 3000 : 40);
    fuzz::describe_input(text);
    GuardedText input(text);
    size_t runs = 0;
    for (size_t i = 0; i < text.size(); ++i)
        runs += is_blank(text[i]) && (i == 0 || !is_blank(text[i - 1]));

    TokenList list = tokenize_text(input.get());
    check(list.count >= 0 && static_cast<size_t>(list.count) <= runs + 1, "token count beyond blank runs + 1");
    auto* block = reinterpret_cast<char*>(list.tokens);
    char* end = block + _msize(list.tokens);
    // Two slots even without tokens, so that element 0 can be replaced; else one behind the last.
    int slots = list.count < 2 ? 2 : list.count + 1;
    check(reinterpret_cast<char*>(list.tokens + slots) <= end, "null slots outside the block");
    check(list.tokens[list.count] == nullptr && (list.count > 0 || list.tokens[1] == nullptr), "missing null slots");
    size_t total = 0;
    const wchar_t* previous_end = reinterpret_cast<const wchar_t*>(list.tokens + slots);
    bool round_trip = true;
    for (int i = 0; i < list.count; ++i) {
        const wchar_t* token = list.tokens[i];
        size_t length = wcslen(token);
        check(token >= previous_end, "tokens overlap or lie before their slots");
        check(reinterpret_cast<const char*>(token + length + 1) <= end, "token ends outside the block");
        previous_end = token + length + 1;
        total += length;
        round_trip = round_trip && token[0] != L'#' && wcspbrk(token, L"\r\n") == nullptr;
    }
    check(total <= text.size(), "tokens longer than the text");

    // '#' opens a comment and line ends split, which no Windows quoting hides.
    if (round_trip) {
        WideBuffer joined;
        wide_buffer_init(&joined);
        for (int i = 0; i < list.count; ++i) {
            wide_buffer_append_char(&joined, L' ');
            append_quoted_argument(&joined, list.tokens[i]);
        }
        std::wstring again_text = taken(&joined);
        TokenList again = tokenize_text(again_text.c_str());
        bool same = again.count == list.count;
        for (int i = 0; same && i < list.count; ++i)
            same = wcscmp(again.tokens[i], list.tokens[i]) == 0;
        check(same, "quoted tokens read back differently", again_text);
        free(again.tokens);
    }
    free(list.tokens);
}

// Quoting: a command of quoted elements splits back into exactly those elements, by
// CommandLineToArgvW in process and, for a sample, by the C runtime of the stand-in Java.
const std::vector<std::wstring> quoting_pieces = {
    L" ", L"\t", L"\"", L"\\", L"a", L"*", L"?", L"\xE9", L"\x263A", L"\x2217", L"\xFF1F", L"\n", L"#", L"%",
    L"\xD83D\xDE00",
};
std::wstring sample_java;
std::wstring sample_record;
int samples_left = 0;

void quoting_setup()
{
    std::wstring dir = kit::scratch_dir(L"fuzz-quoting");
    sample_java = dir + L"\\java.exe";
    sample_record = dir + L"\\record";
    kit::install_fake_java(sample_java);
    samples_left = 4;
}

void quoting_iteration(Rng& rng, uint64_t iteration)
{
    std::vector<std::wstring> elements(1 + rng.below(4));
    std::wstring all;
    for (std::wstring& element : elements) {
        element = fuzz::random_text(rng, quoting_pieces, rng.chance(5) ? 400 : 12);
        all += element + L"|";
    }
    fuzz::describe_input(all);
    WideBuffer command;
    wide_buffer_init(&command);
    wide_buffer_append(&command, 8, L"prog.exe");
    for (const std::wstring& element : elements) {
        GuardedText text(element);
        wide_buffer_append_char(&command, L' ');
        switch (rng.below(3)) {
        case 0: append_quoted_argument(&command, text.get()); break;
        case 1: append_quoted_argument(&command, text.get(), 1252); break;
        default: append_quoted_argument(&command, text.get(), 65001); break;
        }
    }
    check(command.length <= command.capacity, "buffer length beyond capacity");
    std::wstring line = taken(&command);
    std::vector<std::wstring> expected = elements;
    expected.insert(expected.begin(), L"prog.exe");
    check(kit::shell_split(line) == expected, "CommandLineToArgvW splits differently", line);

    if (samples_left > 0 && iteration % 50 == 0) {
        --samples_left;
        DeleteFileW(sample_record.c_str());
        std::vector<std::wstring> env = kit::current_environment();
        kit::set_variable(env, kit::java_record_variable, sample_record);
        std::wstring java_line = L"\"" + sample_java + L"\"" + line.substr(8);
        kit::RunResult run = kit::run_program({sample_java, java_line, env, L"", 30000});
        check(run.finished, "stand-in Java did not finish");
        auto record = kit::read_java_record(sample_record);
        check(record.has_value(), "stand-in Java recorded nothing");
        expected[0] = sample_java;
        check(record->crt_args == expected, "the C runtime splits differently", line);
    }
}

// Expansion: a value is never expanded again. The variables' values reference FZ_M, whose
// value is a marker unit; the text itself can never name FZ_M, so the marker must not appear.
constexpr wchar_t marker = 0xE000;
const std::vector<std::wstring> expansion_pieces = {
    L"%", L"%%", L"FZ_A", L"FZ_B", L"FZ_Q", L"FZ_NONE", L"|=", L"|@", L"a", L" ", L"\\", L"\"", L"x\\", L"|",
    L"=", L"@",
};
constexpr wchar_t expansion_launcher[] = L"C:\\app\\kelvo.exe";

void expansion_setup()
{
    _wputenv(L"FZ_M=\xE000");
    _wputenv(L"FZ_A=%FZ_M%");
    _wputenv(L"FZ_B=a%%b%FZ_A%%FZ_M|=x%");
    _wputenv(L"FZ_Q=q\\\"%FZ_M% \\");
    _wputenv(L"FZ_NONE=");
}

void expansion_iteration(Rng& rng, uint64_t)
{
    std::wstring text = fuzz::random_text(rng, expansion_pieces, rng.chance(3) ? 2000 : 16);
    fuzz::describe_input(text);
    GuardedText input(text);
    GuardedText launcher(expansion_launcher);
    WideBuffer command;
    wide_buffer_init(&command);
    wide_buffer_append(&command, 2, L"p ");
    append_expanded_argument(&command, input.get(), launcher.get());
    std::wstring line = taken(&command);
    check(wcscmp(input.get(), text.c_str()) == 0, "the text was changed");
    std::vector<std::wstring> split = kit::shell_split(line);
    check(split.size() == 2, "not exactly one element", line);
    const std::wstring& value = split[1];
    check(value.find(marker) == std::wstring::npos, "a value was expanded again", value);
    if (text.find(L'%') == std::wstring::npos)
        check(value == text, "text without % changed", value);
    size_t references = 0;
    for (wchar_t c : text)
        references += c == L'%';
    // Each reference adds at most the longest value or the launcher folder to its default.
    check(value.size() <= text.size() + (references / 2 + 1) * 32, "expansion longer than its values allow", value);
}

// Version specifications: no read beyond the text, the same answer every time, valid bounds
// only, and a valid answer written back canonically reads the same.
const std::vector<std::wstring> version_pieces = {
    L"1", L"8", L"0", L"11", L"37", L"2147483647", L"2147483648", L"99999999999", L".", L"+", L"-", L" ", L"\t",
    L"x", L"_", L"00", L"\xFF11",
};

std::wstring version_text(JavaVersion v)
{
    return std::to_wstring(v.major) + L"." + std::to_wstring(v.minor) + L"." + std::to_wstring(v.micro);
}

bool valid_bound(JavaVersion v)
{
    return v.major >= 1 && v.minor >= 0 && v.micro >= 0;
}

void version_iteration(Rng& rng, uint64_t)
{
    std::wstring text = fuzz::random_text(rng, version_pieces, 14);
    fuzz::describe_input(text);
    GuardedText input(text);
    JavaVersion low{-7, -7, -7};
    JavaVersion high{-7, -7, -7};
    VersionSpecification answer = parse_version_specification(input.get(), &low, &high);
    JavaVersion low2{}, high2{};
    check(parse_version_specification(input.get(), &low2, &high2) == answer, "a second reading answers otherwise");
    if (answer != VersionSpecification::valid)
        return;
    check(valid_bound(low) && valid_bound(high), "a valid specification with an invalid bound");
    check(compare_java_versions(low, high) <= 0, "low bound above high bound");
    std::wstring canonical = version_text(low) + L"-" + version_text(high);
    GuardedText again(canonical);
    JavaVersion low3{}, high3{};
    check(parse_version_specification(again.get(), &low3, &high3) == VersionSpecification::valid,
          "the canonical form is not valid", canonical);
    check(compare_java_versions(low3, low) == 0 && compare_java_versions(high3, high) == 0 &&
              low3.major == low.major && high3.micro == high.micro,
          "the canonical form reads other bounds", canonical);
}

// Registry paths: any number of backslashes separates, the answer holds the stored bytes and a
// terminator inside its block, whatever the type, size and termination of the data.
HKEY fuzz_key = nullptr;
const std::vector<DWORD> value_types = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_QWORD,
                                        REG_NONE, REG_LINK, 0x1234};
const std::vector<std::wstring> registry_pieces = {
    L"\\", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE", L"hkey_current_user", L"HKEY_USERS", L"HKEY_CLASSES_ROOT",
    L"Software", L"KelvoFuzz", L"Key", L"v", L"", L" ", L"..", L"x",
};

void registry_setup()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KelvoFuzz");
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KelvoFuzz\\Key", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &fuzz_key,
                    nullptr);
    // Megabyte values are not worth keeping in the prefix's registry files.
    atexit([] {
        RegCloseKey(fuzz_key);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KelvoFuzz");
    });
}

void registry_iteration(Rng& rng, uint64_t)
{
    DWORD type = rng.pick(value_types);
    size_t size = rng.chance(1) ? (1u << 20) + rng.below(3) : rng.below(70);
    std::string data(size, '\0');
    for (char& byte : data)
        byte = rng.chance(10) ? '\0' : static_cast<char>('A' + rng.below(26));
    RegSetValueExW(fuzz_key, L"v", 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(size));
    // The system may add a terminator the data lacked: what is stored is what counts.
    DWORD stored = 0;
    RegQueryValueExW(fuzz_key, L"v", nullptr, nullptr, nullptr, &stored);
    data.resize(stored);
    RegQueryValueExW(fuzz_key, L"v", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &stored);
    size = stored;

    std::wstring path;
    if (rng.chance(70)) {
        for (const wchar_t* part : {L"HKEY_CURRENT_USER", L"Software", L"KelvoFuzz", L"Key", L"v"})
            path += std::wstring(1 + rng.below(3), L'\\') + part;
        path += std::wstring(rng.below(3), L'\\');
    } else {
        path = fuzz::random_text(rng, registry_pieces, 12);
    }
    fuzz::describe_input(path + L" type " + std::to_wstring(type) + L" size " + std::to_wstring(size));
    GuardedText input(path);
    unsigned long got_type = 0;
    const wchar_t* answer = read_registry_string(input.get(), &got_type, 0);
    if (answer == nullptr)
        return;
    size_t units = (size + 1) / 2;
    check(_msize(const_cast<wchar_t*>(answer)) >= (units + 1) * sizeof(wchar_t), "answer block too small");
    check(answer[units] == L'\0', "answer not terminated behind its data");
    if (path.find(L"KelvoFuzz") != std::wstring::npos && path.back() == L'v' && path[0] == L'\\') {
        check(got_type == type, "other type");
        check(memcmp(answer, data.data(), size) == 0, "other data");
    }
}

// Path operations: results never pass the path buffer (a guard page behind it, a canary in
// front), answer false exactly when the result would not fit, and hold what they should.
const std::vector<std::wstring> path_pieces = {L"a", L"\\", L":", L".", L"C:\\", L"\\\\", L"dir", L"x.y", L" "};

std::wstring long_text(Rng& rng)
{
    std::wstring text = fuzz::random_text(rng, path_pieces, 6);
    if (rng.chance(50))
        text += std::wstring(2030 + rng.below(30) - text.size() % 7, L'n');
    if (rng.chance(30))
        text += fuzz::random_text(rng, path_pieces, 4);
    return text;
}

void paths_iteration(Rng& rng, uint64_t)
{
    std::wstring dir = long_text(rng);
    std::wstring name = rng.chance(50) ? fuzz::random_text(rng, path_pieces, 5) : long_text(rng);
    fuzz::describe_input(dir + L"|" + name);
    GuardedText dir_text(dir);
    GuardedText name_text(name);
    GuardedBuffer out(path_capacity);

    int dir_length = static_cast<int>(rng.below(static_cast<uint32_t>(dir.size()) + 1)) - (rng.chance(3) ? 3 : 0);
    bool joined = join_path(out.get(), dir_text.get(), dir_length, name_text.get());
    check(out.canary_intact(), "join_path wrote before the buffer");
    bool fits = dir_length >= 0 && static_cast<size_t>(dir_length) + name.size() + 1 <= path_max_length;
    check(joined == fits, "join_path answers against the bound");
    if (joined) {
        std::wstring head = dir.substr(0, static_cast<size_t>(dir_length));
        std::wstring got = out.get();
        check(got.size() <= path_max_length, "join_path result too long");
        bool separated = got.size() == head.size() + name.size() + 1;
        check(got.substr(0, head.size()) == head && got.substr(got.size() - name.size()) == name &&
                  (separated ? got[head.size()] == L'\\' : got.size() == head.size() + name.size()),
              "join_path result is not dir and name", got);
    }

    GuardedBuffer resolved(path_capacity);
    if (resolve_relative_to_exe(resolved.get(), name_text.get(), dir_text.get())) {
        std::wstring got = resolved.get();
        check(got.size() <= path_max_length, "resolved path too long", got);
        check(is_absolute_path(name_text.get()) ? name.compare(0, got.size(), got) == 0
                                                : got.size() >= name.size() &&
                                                      got.compare(got.size() - name.size(), name.size(), name) == 0,
              "resolved path lost the name", got);
    }
    check(resolved.canary_intact(), "resolve_relative_to_exe wrote before the buffer");

    GuardedBuffer replaced(path_capacity);
    if (replace_extension(dir_text.get(), name_text.get(), replaced.get())) {
        std::wstring got = replaced.get();
        check(got.size() <= path_max_length && got.size() >= name.size() &&
                  got.compare(got.size() - name.size(), name.size(), name) == 0,
              "replace_extension result does not end in the extension", got);
    }
    check(replaced.canary_intact(), "replace_extension wrote before the buffer");

    // A path list, whatever its entries and trailing backslashes, stays one element.
    static const std::vector<std::wstring> entries = {L"C:\\", L"C:\\windows\\", L"Z:\\no-such-folder", L"",
                                                      L";", L"C:\\windows", L"rel\\", L"\\\\", L"C:\\windows\\\\"};
    std::wstring list;
    for (uint32_t i = rng.below(5); i > 0; --i)
        list += rng.pick(entries) + (rng.chance(70) ? L";" : L"");
    GuardedText list_text(list);
    WideBuffer command;
    wide_buffer_init(&command);
    wide_buffer_append(&command, 2, L"p ");
    append_path_list(&command, list_text.get(), L"C:\\app\\kelvo.exe");
    std::wstring line = taken(&command);
    check(kit::shell_split(line).size() == 2, "a path list is not one element", line);
}

// The message reader, on messages written by write_hand_over and then cut, extended, overwritten
// or given another count: it answers -1 or texts that lie within the bytes, each ended by its
// null unit, which written again give the same bytes; it reads nothing past them (a no-access
// page right behind).
const std::vector<std::wstring> message_pieces = {L"a", L"", L"\xD83D\xDE00", L"\x56FE", L" ", L"\"", L"\\"};

void hand_over_iteration(Rng& rng, uint64_t)
{
    std::vector<std::wstring> arguments;
    for (uint32_t i = rng.below(6); i > 0; --i)
        arguments.push_back(fuzz::random_text(rng, message_pieces, 8));
    std::wstring folder = fuzz::random_text(rng, message_pieces, 4);
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& argument : arguments)
        pointers.push_back(argument.c_str());
    size_t size = write_hand_over(nullptr, folder.c_str(), pointers.data(), static_cast<int>(pointers.size()));
    std::string bytes(size, '\0');
    write_hand_over(reinterpret_cast<unsigned char*>(bytes.data()), folder.c_str(), pointers.data(),
                    static_cast<int>(pointers.size()));
    bool intact = true;
    for (uint32_t edits = rng.below(4); edits > 0; --edits, intact = false) {
        uint32_t at = rng.below(static_cast<uint32_t>(bytes.size()) + 1);
        switch (rng.below(4)) {
        case 0: bytes.resize(at); break;
        case 1: bytes.insert(at, rng.below(5), static_cast<char>(rng.below(256))); break;
        case 2: if (at < bytes.size()) bytes[at] = static_cast<char>(rng.below(256)); break;
        default: if (bytes.size() >= 8) bytes[4] = static_cast<char>(rng.below(12)); break;
        }
    }
    std::wstring shown;
    for (unsigned char c : bytes)
        shown += static_cast<wchar_t>(c);
    fuzz::describe_input(shown);

    GuardedBytes guarded(bytes);
    const unsigned char* message = guarded.get();
    std::vector<MessageText> texts(bytes.size() / 2 + 1);
    int count = read_hand_over(message, bytes.size(), texts.data());
    check(count >= -1 && count != 0, "a message without its folder");
    check(!intact || count == static_cast<int>(arguments.size()) + 1, "a whole message refused");
    std::vector<std::wstring> read;
    for (int i = 0; i < count; ++i) {
        const auto* begin = reinterpret_cast<const unsigned char*>(texts[i].units);
        check(begin >= message + 8 && begin + texts[i].length * 2 + 2 <= message + bytes.size() &&
                  texts[i].units[texts[i].length] == L'\0',
              "a text outside the message or not ended by its null");
        read.emplace_back(texts[i].units, static_cast<size_t>(texts[i].length));
    }
    if (count > 0) {
        std::vector<const wchar_t*> again;
        for (int i = 1; i < count; ++i)
            again.push_back(read[static_cast<size_t>(i)].c_str());
        std::string written(write_hand_over(nullptr, read[0].c_str(), again.data(), count - 1), '\0');
        write_hand_over(reinterpret_cast<unsigned char*>(written.data()), read[0].c_str(), again.data(), count - 1);
        check(written == bytes, "texts read do not write the same message");
        check(!intact || (read[0] == folder && std::equal(arguments.begin(), arguments.end(), read.begin() + 1)),
              "a whole message read otherwise");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    return fuzz::run_main(argc, argv,
                          {
                              {"tokenizer", nullptr, tokenize_iteration},
                              {"quoting", quoting_setup, quoting_iteration},
                              {"expansion", expansion_setup, expansion_iteration},
                              {"version", nullptr, version_iteration},
                              {"registry", registry_setup, registry_iteration},
                              {"paths", nullptr, paths_iteration},
                              {"hand_over", nullptr, hand_over_iteration},
                          });
}
