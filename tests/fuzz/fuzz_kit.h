// A plain random fuzzer: fixed seed, bounded time, guard pages behind the inputs, and a report
// of the target, seed and iteration that reproduce any failure.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// splitmix64: small, fast and the same on every platform, so a seed names one input.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next();
    uint32_t below(uint32_t bound);  // 0 .. bound - 1; bound > 0
    bool chance(uint32_t percent) { return below(100) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& items) { return items[below(static_cast<uint32_t>(items.size()))]; }

private:
    uint64_t state_;
};

// Wide text copied to the very end of readable memory: the unit behind its terminator is on a
// no-access page, so a read past the terminator ends the process at once.
class GuardedText {
public:
    explicit GuardedText(std::wstring_view text);
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;
    ~GuardedText();
    wchar_t* get() { return text_; }

private:
    void* base_;
    wchar_t* text_;
};

// Bytes copied to the very end of readable memory: a read past them ends the process at once.
class GuardedBytes {
public:
    explicit GuardedBytes(std::string_view bytes);
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    ~GuardedBytes();
    const unsigned char* get() const { return bytes_; }

private:
    void* base_;
    unsigned char* bytes_;
};

// A buffer of units writable units that ends right before a no-access page, with a canary of
// 16 units in front of it.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t units);
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    ~GuardedBuffer();
    wchar_t* get() { return data_; }
    bool canary_intact() const;

private:
    void* base_;
    wchar_t* data_;
};

// Text of units chosen from pieces, each repeated 1 to 4 times: runs of backslashes, quotes
// and blanks are what the rules of these parsers turn on.
std::wstring random_text(Rng& rng, const std::vector<std::wstring>& pieces, size_t max_pieces);

// The text with control and non-ASCII units written as \xNNNN, for failure reports.
std::string printable(std::wstring_view text);


// Describes the current input; a failure or a crash prints it with the iteration's seed.
void describe_input(std::wstring_view text);
// Ends the run with a report when condition is false.
void check(bool condition, const char* what);
void check(bool condition, const char* what, std::wstring_view detail);

// The shell command that replays one iteration of the target, from any folder: the settings
// as variables (they take precedence over arguments), this program through the build's Wine
// runner.
std::string replay_command(const char* target, uint64_t seed, uint64_t iteration);

// A crash ends the process at once with the report of the current input (instead of Wine's
// debugger, which can take minutes).
void report_crashes(const char* target);

// Ends the process with a report when no iteration has begun for two minutes: a hang fails the
// run instead of holding it for ever. iteration_begins() marks the progress.
void start_watchdog();
void iteration_begins();
// The same for a fuzzer with a loop of its own: the seed and iteration also name the input in reports.
void iteration_begins(uint64_t seed, uint64_t iteration);

struct Target {
    const char* name;
    void (*setup)();
    void (*iterate)(Rng& rng, uint64_t iteration);
};

// Runs the named target (all when "all") for --seconds (default 3) from --seed (default 1),
// KELVO_FUZZ_SECONDS and KELVO_FUZZ_SEED overriding both; each iteration draws from its own
// generator seeded by (seed, iteration). Answers the process exit code.
int run_main(int argc, wchar_t** argv, const std::vector<Target>& targets);

}  // namespace fuzz
