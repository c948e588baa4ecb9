// Building the Java command from the parameter tokens and the launcher's own arguments.
#pragma once

#include "command/code_page.h"
#include "command/parameter_file.h"
#include "system/paths.h"

// Where the walk through the parameters stands; each state names what it expects next.
enum class GrammarState {
    EXPECT_START_OR_JAVA,
    EXPECT_JAVA,
    EXPECT_SINGLE_OR_JAVA,
    EXPECT_OPTION_OR_CP,
    EXPECT_CLASSPATH,
    EXPECT_CLASS_NAME,
    EXPECT_ARGUMENT,
};

// What a syntax error in the given state says was expected.
const wchar_t* expected_text(GrammarState state);

// How Java is started, as the first parameter asks: a child process that the launcher waits
// for (no keyword), one that it does not wait for ("start"), or, where the runtime allows it,
// the launcher's own process ("inprocess"), then optionally as one running instance
// ("single:<class>.<method>").
enum class StartMode { wait, start, in_process };

// The built command and what starting it needs.
struct JavaCommand {
    wchar_t* text;         // a heap string owned by the caller
    int program_length;    // units of the executable's path at its head, quotes included
    unsigned code_page;    // the one that executable reads its command line in
    StartMode mode;
    const wchar_t* instance_method;  // <class>.<method> of "single:", or null; a heap string
};

// arguments->tokens[0] is the launcher's full path (the base of relative paths, never part
// of the command). Never returns on failure.
void build_java_command(const wchar_t* parameter_file, const TokenList* parameters, const TokenList* arguments,
                        const wchar_t* command_line, JavaCommand* command);

// Ends the launcher when the executable would read its command otherwise than it was built:
// the system converts it to the executable's code page, where a character may become a
// quote, backslash, blank or tab and move the arguments' bounds.
void refuse_unless_read_unchanged(const JavaCommand* command);

// Appends the existing entries of a ";"-separated list, in double quotes, relative entries
// resolved against the launcher's folder.
void append_path_list(WideBuffer* command, const wchar_t* list, const wchar_t* launcher_path);

// Appends one entry (after a ";" unless first) when it names an existing file or folder.
bool append_existing_path(WideBuffer* command, const wchar_t* entry, bool first, const wchar_t* launcher_path);

// Replaces %NAME%, %NAME|=default%, %NAME|@path% and %% in text, then appends the result
// as one quoted element, also quoted when it would hold a wildcard in code_page, the one
// the Java launcher reads its command in.
void append_expanded_argument(WideBuffer* command, const wchar_t* text, const wchar_t* launcher_path,
                              unsigned code_page = utf8_code_page);
