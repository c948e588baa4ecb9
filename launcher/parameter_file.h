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

// Splits text at blanks, tabs and line ends, with double quotes, backslashes before quotes
// and "#" comments. The tokens array always has at least two slots, so element 0 can be
// replaced even when text holds no token.
TokenList tokenize_text(const wchar_t* text);
