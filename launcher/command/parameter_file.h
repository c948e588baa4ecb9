// The parameter file beside the launcher, and the tokenizer shared with the command line.
#pragma once

// A token count and a null-terminated array of writable token strings, all in one heap block:
// free(tokens) releases everything.
struct TokenList {
    int count;
    wchar_t** tokens;
};

// Reads the UTF-8 file (with or without byte-order mark) as a UTF-16 heap string owned by
// the caller. Never returns on failure: a missing, empty, unreadable or undecodable file is fatal.
wchar_t* load_parameter_file(const wchar_t* path);

// The parameter file and the launcher's command line are split at blanks, tabs and line ends,
// with "#" comments; a Windows command line as a program's C runtime splits it, at blanks and
// tabs only. Both with double quotes and backslashes before quotes.
enum class TokenRules { parameter_file, windows_command };

// Splits text by the rules. The tokens array always has at least two slots, so element 0 can
// be replaced even when text holds no token.
TokenList tokenize_text(const wchar_t* text, TokenRules rules = TokenRules::parameter_file);
