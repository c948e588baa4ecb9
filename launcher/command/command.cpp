#include "command/command.h"

#include "command/code_page.h"
#include "command/quoting.h"
#include "finding/java_search.h"
#include "in_process/hand_over.h"
#include "system/diagnostics.h"
#include "system/lookups.h"

#include <climits>
#include <cstdlib>
#include <cwchar>

namespace {

constexpr wchar_t library_path_option[] = L"-Djava.library.path=";
constexpr size_t library_path_option_length = sizeof library_path_option / sizeof library_path_option[0] - 1;

void append_text(WideBuffer* buffer, const wchar_t* text, size_t length)
{
    if (length > static_cast<size_t>(INT_MAX))
        fatal_error(L"Out of memory");
    wide_buffer_append(buffer, static_cast<int>(length), text);
}

wchar_t* copy_text(const wchar_t* text, size_t length)
{
    auto* copy = static_cast<wchar_t*>(checked_realloc(nullptr, checked_wide_size(length + 1)));
    wmemcpy(copy, text, length);
    copy[length] = L'\0';
    return copy;
}

bool starts_with(const wchar_t* text, const wchar_t* prefix, size_t prefix_length)
{
    return wcsncmp(text, prefix, prefix_length) == 0;
}

[[noreturn]] void syntax_error(const wchar_t* parameter_file, GrammarState state)
{
    fatal_error(L"Syntax error in parameter file\n'%.1000s':\nexpected %.255s", parameter_file, expected_text(state));
}

// A Java option or an application argument: a library path is a path list, anything else
// has its variable references expanded.
void append_parameter(WideBuffer* command, const wchar_t* token, const wchar_t* launcher_path, unsigned code_page)
{
    wide_buffer_append_char(command, L' ');
    if (starts_with(token, library_path_option, library_path_option_length)) {
        append_text(command, library_path_option, library_path_option_length);
        append_path_list(command, token + library_path_option_length, launcher_path);
    } else {
        append_expanded_argument(command, token, launcher_path, code_page);
    }
}

} // namespace

const wchar_t* expected_text(GrammarState state)
{
    static constexpr const wchar_t* texts[] = {
        L"start or java or javaw",
        L"java or javaw",
        L"single:<class>.<method> or java or javaw",
        L"-cp or -classpath or a Java option",
        L"-cp or -classpath",
        L"a Java class name",
        L"an argument",
    };
    return texts[static_cast<int>(state)];
}

void refuse_unless_read_unchanged(const JavaCommand* command)
{
    // In its own path (quoted where a blank would end it) only a character that becomes a
    // quote matters.
    const wchar_t* text = command->text;
    const wchar_t* refused = first_character_becoming(text, static_cast<size_t>(command->program_length),
                                                      command->code_page, program_name_refused);
    if (refused == nullptr)
        refused = first_refused_character(text + command->program_length, command->code_page);
    if (refused != nullptr)
        fatal_error(L"Cannot pass the command to Java unchanged\n'%.3000s':\ncharacter U+%04X is not in code page %u",
                    text, static_cast<unsigned>(*refused), command->code_page);
}

bool append_existing_path(WideBuffer* command, const wchar_t* entry, bool first, const wchar_t* launcher_path)
{
    PathBuffer resolved;
    const wchar_t* path = entry;
    if (!is_absolute_path(entry) && resolve_relative_to_exe(resolved, entry, launcher_path))
        path = resolved;
    if (!file_exists(path))
        return false;
    if (!first)
        wide_buffer_append_char(command, L';');
    append_text(command, path, wcslen(path));
    return true;
}

void append_path_list(WideBuffer* command, const wchar_t* list, const wchar_t* launcher_path)
{
    wide_buffer_append_char(command, L'"');
    int opened = command->length;
    bool first = true;
    const wchar_t* p = list;
    while (*p != L'\0') {
        const wchar_t* end = p;
        while (*end != L'\0' && *end != L';')
            ++end;
        if (end > p) {
            wchar_t* entry = copy_text(p, static_cast<size_t>(end - p));
            if (append_existing_path(command, entry, first, launcher_path))
                first = false;
            free(entry);
        }
        p = *end == L'\0' ? end : end + 1;
    }
    // Backslashes right before the closing quote would escape it and let the list swallow
    // the rest of the command; doubled, they read back as the folder's own backslashes.
    int run = 0;
    while (command->length - run > opened && command->data[command->length - run - 1] == L'\\')
        ++run;
    for (int i = 0; i < run; ++i)
        wide_buffer_append_char(command, L'\\');
    wide_buffer_append_char(command, L'"');
}

void append_expanded_argument(WideBuffer* command, const wchar_t* text, const wchar_t* launcher_path,
                              unsigned code_page)
{
    WideBuffer expanded;
    wide_buffer_init(&expanded);
    const wchar_t* p = text;
    for (;;) {
        const wchar_t* open = wcschr(p, L'%');
        if (open == nullptr)
            break;
        const wchar_t* close = wcschr(open + 1, L'%');
        if (close == nullptr)
            break;
        append_text(&expanded, p, static_cast<size_t>(open - p));
        if (close == open + 1) {
            wide_buffer_append_char(&expanded, L'%');
        } else {
            wchar_t* specification = copy_text(open + 1, static_cast<size_t>(close - open - 1));
            const wchar_t* value = read_environment_variable(specification, launcher_path, false);
            if (value != nullptr)
                append_text(&expanded, value, wcslen(value));
            free(specification);
        }
        p = close + 1;
    }
    append_text(&expanded, p, wcslen(p));
    wchar_t* result = wide_buffer_take(&expanded);
    append_quoted_argument(command, result, code_page);
    free(result);
}

void build_java_command(const wchar_t* parameter_file, const TokenList* parameters, const TokenList* arguments,
                        const wchar_t* command_line, JavaCommand* command)
{
    trace_message(L"Building command using parameter file\n'%s'\nand command line\n'%s'", parameter_file,
                  command_line);
    StartMode mode = StartMode::wait;
    const wchar_t* instance_method = nullptr;
    WideBuffer buffer;
    wide_buffer_init(&buffer);
    const wchar_t* launcher_path = arguments->tokens[0];
    GrammarState state = GrammarState::EXPECT_START_OR_JAVA;
    // Known once the executable is chosen, before any later element is appended.
    unsigned code_page = utf8_code_page;
    int program_length = 0;

    for (int i = 0; i < parameters->count; ++i) {
        wchar_t* token = parameters->tokens[i];
        trace_message(L"Processing parameter\n'%s'\nand appending it to command", token);
        switch (state) {
        case GrammarState::EXPECT_START_OR_JAVA:
            if (wcscmp(token, L"start") == 0 || wcscmp(token, L"inprocess") == 0) {
                mode = token[0] == L's' ? StartMode::start : StartMode::in_process;
                state = token[0] == L's' ? GrammarState::EXPECT_JAVA : GrammarState::EXPECT_SINGLE_OR_JAVA;
                break;
            }
            [[fallthrough]];
        case GrammarState::EXPECT_SINGLE_OR_JAVA:
            if (state == GrammarState::EXPECT_SINGLE_OR_JAVA &&
                starts_with(token, single_word_prefix, single_word_prefix_length)) {
                if (!valid_instance_method(token + single_word_prefix_length))
                    syntax_error(parameter_file, state);
                instance_method =
                    copy_text(token + single_word_prefix_length, wcslen(token) - single_word_prefix_length);
                state = GrammarState::EXPECT_JAVA;
                break;
            }
            [[fallthrough]];
        case GrammarState::EXPECT_JAVA:
            if (wcsstr(token, L"java") == nullptr)
                syntax_error(parameter_file, state);
            code_page = select_java_launcher(token, launcher_path, &buffer);
            program_length = buffer.length;
            state = GrammarState::EXPECT_OPTION_OR_CP;
            break;
        case GrammarState::EXPECT_OPTION_OR_CP:
            if (wcscmp(token, L"-cp") == 0 || wcscmp(token, L"-classpath") == 0) {
                append_text(&buffer, L" -cp", 4);
                state = GrammarState::EXPECT_CLASSPATH;
            } else {
                append_parameter(&buffer, token, launcher_path, code_page);
            }
            break;
        case GrammarState::EXPECT_CLASSPATH:
            wide_buffer_append_char(&buffer, L' ');
            append_path_list(&buffer, token, launcher_path);
            state = GrammarState::EXPECT_CLASS_NAME;
            break;
        case GrammarState::EXPECT_CLASS_NAME:
            wide_buffer_append_char(&buffer, L' ');
            append_quoted_argument(&buffer, token, code_page);
            state = GrammarState::EXPECT_ARGUMENT;
            break;
        case GrammarState::EXPECT_ARGUMENT:
            append_parameter(&buffer, token, launcher_path, code_page);
            break;
        }
    }
    if (state != GrammarState::EXPECT_ARGUMENT)
        syntax_error(parameter_file, state);

    for (int i = 1; i < arguments->count; ++i) {
        trace_message(L"Appending argument\n'%s'\nto command", arguments->tokens[i]);
        wide_buffer_append_char(&buffer, L' ');
        append_quoted_argument(&buffer, arguments->tokens[i], code_page);
    }
    *command = JavaCommand{wide_buffer_take(&buffer), program_length, code_page, mode, instance_method};
    trace_message(L"Built command is\n'%s'", command->text);
}
