// What a second start hands to the running instance and how both find and trust each other:
// the method that receives it, the pipe's name and security, and the message itself. Pure, so
// that the tests and the fuzzer drive it directly.
#pragma once

#include <cstddef>

// The parameter word after "inprocess" that keeps one running instance.
constexpr wchar_t single_word_prefix[] = L"single:";
constexpr size_t single_word_prefix_length = 7;

// A binary class name with dots (nested classes with $), a dot, a Java identifier: the static
// method that receives each hand-over.
bool valid_instance_method(const wchar_t* text);

// The size of a SID as Windows lays it out.
size_t sid_size(const void* sid);

// \\.\pipe\kelvo-<session>-<hash>, the hash over the launcher's path (ASCII letters folded to
// upper case, as the file system compares them) and the user's SID: one instance per
// installation, user and session.
constexpr int pipe_name_capacity = 48;
void instance_pipe_name(wchar_t* out, unsigned long session, const wchar_t* launcher_path, const void* user_sid);

// A self-relative security descriptor whose protected DACL gives the pipe to the user and the
// system alone; answers its size.
constexpr size_t pipe_security_capacity = 128;
size_t pipe_security(unsigned char* out, const void* user_sid);

// A message holds at most this many bytes; the server reads no more.
constexpr size_t hand_over_limit = 256 * 1024;

// One text of a message, in place: UTF-16 units, no terminator.
struct MessageText {
    const wchar_t* units;
    int length;
};

// Writes the message (the working folder, then the arguments) to out unless out is null;
// answers its size in bytes. Its layout: a tag and the number of texts (32 bits each), then the
// texts, each ended by a null unit.
size_t write_hand_over(unsigned char* out, const wchar_t* folder, const wchar_t* const* arguments, int count);

// Reads a message of size bytes (at a 2-byte aligned address) into texts, which has room for
// size / 2 of them; answers the number of texts, folder first, or -1 when the bytes are no
// whole message. Reads nothing outside the size bytes.
int read_hand_over(const unsigned char* bytes, size_t size, MessageText* texts);
