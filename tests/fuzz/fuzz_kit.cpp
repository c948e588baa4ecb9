#include "fuzz_kit.h"


#include <atomic>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace fuzz {

namespace {

const char* current_target = "";
uint64_t current_seed = 0;
uint64_t current_iteration = 0;
std::wstring current_input;

size_t page_size()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

// Reserves whole pages for bytes, the last page after them made inaccessible; answers the base
// and the address where the bytes must start to end at the guard page.
char* guarded_block(size_t bytes, void** base)
{
    size_t page = page_size();
    size_t pages = (bytes + page - 1) / page + 1;
    auto* block = static_cast<char*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (block == nullptr) {
        fprintf(stderr, "VirtualAlloc failed\n");
        ExitProcess(4);
    }
    DWORD old = 0;
    VirtualProtect(block + pages * page, page, PAGE_NOACCESS, &old);
    *base = block;
    return block + pages * page - bytes;
}

void report(const char* what, std::wstring_view detail)
{
    fprintf(stderr, "FAILED %s: %s\n  replay: %s\n  input: %s\n", current_target, what,
            replay_command(current_target, current_seed, current_iteration).c_str(), printable(current_input).c_str());
    if (!detail.empty())
        fprintf(stderr, "  detail: %s\n", printable(detail).c_str());
    fflush(stderr);
}

LONG WINAPI on_crash(EXCEPTION_POINTERS* info)
{
    char what[96];
    snprintf(what, sizeof what, "exception 0x%08lx at %p", info->ExceptionRecord->ExceptionCode,
             info->ExceptionRecord->ExceptionAddress);
    report(what, L"");
    ExitProcess(3);
}

constexpr int64_t hang_ms = 120000;
std::atomic<int64_t> last_progress_ms{0};

int64_t now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint64_t mix(uint64_t seed, uint64_t iteration)
{
    Rng rng(seed * 0x9E3779B97F4A7C15ULL + iteration);
    return rng.next();
}

double option(int argc, wchar_t** argv, const wchar_t* name, const char* variable, double fallback)
{
    if (const char* value = getenv(variable); value != nullptr && *value != '\0')
        return atof(value);
    for (int i = 1; i + 1 < argc; ++i) {
        if (wcscmp(argv[i], name) == 0)
            return _wtof(argv[i + 1]);
    }
    return fallback;
}

}  // namespace

uint64_t Rng::next()
{
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

uint32_t Rng::below(uint32_t bound)
{
    return static_cast<uint32_t>(next() % bound);
}

GuardedText::GuardedText(std::wstring_view text)
{
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    text_ = reinterpret_cast<wchar_t*>(guarded_block(bytes, &base_));
    wmemcpy(text_, text.data(), text.size());
    text_[text.size()] = L'\0';
}

GuardedText::~GuardedText()
{
    VirtualFree(base_, 0, MEM_RELEASE);
}

GuardedBytes::GuardedBytes(std::string_view bytes)
{
    bytes_ = reinterpret_cast<unsigned char*>(guarded_block(bytes.size(), &base_));
    memcpy(bytes_, bytes.data(), bytes.size());
}

GuardedBytes::~GuardedBytes()
{
    VirtualFree(base_, 0, MEM_RELEASE);
}

constexpr wchar_t canary_unit = 0xA5C3;
constexpr size_t canary_units = 16;

GuardedBuffer::GuardedBuffer(size_t units)
{
    size_t bytes = (units + canary_units) * sizeof(wchar_t);
    auto* start = reinterpret_cast<wchar_t*>(guarded_block(bytes, &base_));
    wmemset(start, canary_unit, canary_units);
    data_ = start + canary_units;
    wmemset(data_, 0x5A5A, units);
}

GuardedBuffer::~GuardedBuffer()
{
    VirtualFree(base_, 0, MEM_RELEASE);
}

bool GuardedBuffer::canary_intact() const
{
    for (size_t i = 1; i <= canary_units; ++i) {
        if (data_[-static_cast<ptrdiff_t>(i)] != canary_unit)
            return false;
    }
    return true;
}

std::wstring random_text(Rng& rng, const std::vector<std::wstring>& pieces, size_t max_pieces)
{
    std::wstring text;
    size_t count = rng.below(static_cast<uint32_t>(max_pieces) + 1);
    for (size_t i = 0; i < count; ++i) {
        const std::wstring& piece = rng.pick(pieces);
        for (uint32_t repeat = rng.chance(75) ? 1 : 2 + rng.below(3); repeat > 0; --repeat)
            text += piece;
    }
    return text;
}

std::string printable(std::wstring_view text)
{
    std::string out;
    size_t shown = text.size() < 400 ? text.size() : 400;
    for (size_t i = 0; i < shown; ++i) {
        wchar_t c = text[i];
        if (c >= 0x20 && c < 0x7F && c != L'\\') {
            out += static_cast<char>(c);
        } else {
            char code[16];
            snprintf(code, sizeof code, "\\x%04X", static_cast<unsigned>(c));
            out += code;
        }
    }
    if (shown < text.size())
        out += "... (" + std::to_string(text.size()) + " units)";
    return out;
}

std::string replay_command(const char* target, uint64_t seed, uint64_t iteration)
{
    wchar_t module[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH * 4);
    std::string program(module, module + wcslen(module));
    // Under Wine the build lies on drive Z:, the Unix root, and its programs run through the
    // build's wine-run beside bin.
    if (program.rfind("Z:\\", 0) == 0) {
        program.erase(0, 2);
        for (char& c : program)
            c = c == '\\' ? '/' : c;
        program = program.substr(0, program.rfind("/bin/")) + "/wine-run " + program;
    }
    return "KELVO_FUZZ_SEED=" + std::to_string(seed) + " KELVO_FUZZ_FROM=" + std::to_string(iteration) +
           " KELVO_FUZZ_COUNT=1 " + program + " " + target;
}

void report_crashes(const char* target)
{
    current_target = target;
    SetUnhandledExceptionFilter(on_crash);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
}

void start_watchdog()
{
    iteration_begins();
    std::thread([] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            if (now_ms() - last_progress_ms.load() > hang_ms) {
                report("no progress for two minutes: a hang", L"");
                ExitProcess(5);
            }
        }
    }).detach();
}

void iteration_begins()
{
    last_progress_ms.store(now_ms());
}

void iteration_begins(uint64_t seed, uint64_t iteration)
{
    current_seed = seed;
    current_iteration = iteration;
    iteration_begins();
}

void describe_input(std::wstring_view text)
{
    current_input.assign(text);
}

void check(bool condition, const char* what)
{
    check(condition, what, L"");
}

void check(bool condition, const char* what, std::wstring_view detail)
{
    if (condition)
        return;
    report(what, detail);
    ExitProcess(1);
}

int run_main(int argc, wchar_t** argv, const std::vector<Target>& targets)
{
    report_crashes("");
    start_watchdog();
    std::wstring wanted = argc > 1 ? argv[1] : L"all";
    double seconds = option(argc, argv, L"--seconds", "KELVO_FUZZ_SECONDS", 3);
    auto seed = static_cast<uint64_t>(option(argc, argv, L"--seed", "KELVO_FUZZ_SEED", 1));
    auto from = static_cast<uint64_t>(option(argc, argv, L"--from", "KELVO_FUZZ_FROM", 0));
    double count = option(argc, argv, L"--count", "KELVO_FUZZ_COUNT", 0);
    bool ran = false;
    for (const Target& target : targets) {
        std::wstring name(target.name, target.name + strlen(target.name));
        if (wanted != L"all" && wanted != name)
            continue;
        ran = true;
        current_target = target.name;
        current_seed = seed;
        if (target.setup != nullptr)
            target.setup();
        iteration_begins();
        auto start = std::chrono::steady_clock::now();
        auto limit = std::chrono::duration<double>(seconds);
        uint64_t done = 0;
        for (uint64_t i = from;; ++i) {
            if (count > 0 ? done >= static_cast<uint64_t>(count) : std::chrono::steady_clock::now() - start >= limit)
                break;
            current_iteration = i;
            iteration_begins();
            current_input.clear();
            Rng rng(mix(seed, i));
            target.iterate(rng, i);
            ++done;
        }
        double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        printf("%s: %llu iterations in %.1f s, seed %llu, no failure\n", target.name,
               static_cast<unsigned long long>(done), took, static_cast<unsigned long long>(seed));
        fflush(stdout);
    }
    if (!ran) {
        fprintf(stderr, "unknown target\n");
        return 2;
    }
    return 0;
}

}  // namespace fuzz
