// The parameter file beside the launcher, and the tokenizer shared with the command line.
#pragma once

// A token count and a null-terminated array of writable token strings, all in one heap block:
// free(tokens) releases everything.
struct TokenList {
    int count;
    wchar_t** tokens;
};

// Never returns on failure: a missing, empty, unreadable or undecodable file is fatal.
// The text is a heap string owned by the caller.
wchar_t* load_parameter_file(const wchar_t* path);

TokenList tokenize_text(const wchar_t* text);
