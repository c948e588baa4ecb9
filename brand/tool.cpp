#include "tool.h"

#include "brand.h"
#include "command_line.h"
#include "files.h"
#include "text.h"

#include <cstring>

namespace brand {
namespace {

// Files larger than this are no launcher and no icon; it keeps every offset within 32 bits.
constexpr size_t largest_file = 256u << 20;

int report(FILE* err, const char* file, const Error& error)
{
    if (file != nullptr)
        std::fprintf(err, "kelvo-brand: %s: %s\n", file, error.text);
    else
        std::fprintf(err, "kelvo-brand: %s\n", error.text);
    return exit_failure;
}

// The output's name without its folder ("MyApp.exe"), and without its extension ("MyApp").
bool output_names(const char* output, Bytes& file_name, Bytes& stem)
{
    const char* name = output;
    for (const char* at = output; *at != '\0'; ++at)
        if (*at == '/' || *at == '\\')
            name = at + 1;
    const char* dot = std::strrchr(name, '.');
    size_t stem_length = dot != nullptr && dot != name ? static_cast<size_t>(dot - name) : std::strlen(name);
    return file_name.append(name, std::strlen(name) + 1) && stem.append(name, stem_length) && stem.append_zeros(1);
}

struct Texts {
    Bytes units[8];
    Bytes file_name;
    Bytes stem;
};

// The version strings that the options and the output's name set, in a fixed order.
bool version_edit(const Options& options, Texts& texts, VersionEdit& edit, Error& error)
{
    if (!output_names(options.output, texts.file_name, texts.stem))
        return out_of_memory(error);
    struct Source {
        const char* key;
        const char* value;
        const char* option;
    };
    const char* version = options.version_given ? options.version_text : nullptr;
    const Source sources[] = {
        {"CompanyName", options.company, "--company"},
        {"FileDescription", options.description, "--description"},
        {"FileVersion", version, "--version"},
        {"InternalName", reinterpret_cast<const char*>(texts.stem.data()), "OUTPUT"},
        {"LegalCopyright", options.copyright, "--copyright"},
        {"OriginalFilename", reinterpret_cast<const char*>(texts.file_name.data()), "OUTPUT"},
        {"ProductName", options.product, "--product"},
        {"ProductVersion", version, "--version"},
    };
    static_assert(sizeof sources / sizeof sources[0] == sizeof edit.texts / sizeof edit.texts[0]);
    for (const Source& source : sources) {
        if (source.value == nullptr)
            continue;
        Bytes& units = texts.units[edit.text_count];
        Converted converted = utf8_to_utf16(source.value, units);
        if (converted == Converted::out_of_memory)
            return out_of_memory(error);
        if (converted == Converted::invalid)
            return fail(error, "%s is not UTF-8 text", source.option);
        edit.texts[edit.text_count++] = {source.key, units.view()};
    }
    edit.numbers_given = options.version_given;
    std::memcpy(edit.numbers, options.version, sizeof edit.numbers);
    return true;
}

}  // namespace

bool brand_launcher(const Options& options, const char*& failed_file, Error& error)
{
    failed_file = nullptr;
    Texts texts;
    Branding branding;
    if (!version_edit(options, texts, branding.version, error))
        return false;
    Bytes ico;
    List<IconImage> images;
    if (options.icon != nullptr) {
        failed_file = options.icon;
        if (!read_file(options.icon, largest_file, ico, error) || !read_ico(ico.view(), images, error))
            return false;
        branding.icon = &images;
    }
    Bytes input;
    Bytes output;
    failed_file = options.input;
    if (!read_file(options.input, largest_file, input, error) ||
        !brand_file(input.view(), branding, output, error))
        return false;
    failed_file = options.output;
    return write_file(options.output, output.view(), error);
}

int run_tool(int argc, const char* const* argv, FILE* out, FILE* err)
{
    Options options;
    Error error;
    if (!parse_command_line(argc, argv, options, error))
        return report(err, nullptr, error);
    if (options.help) {
        std::fputs(usage, out);
        return 0;
    }
    if (same_file(options.input, options.output)) {
        fail(error, "the output is the input file; write the branded launcher to a new file");
        return report(err, options.output, error);
    }
    const char* failed_file = nullptr;
    if (!brand_launcher(options, failed_file, error))
        return report(err, failed_file, error);
    return 0;
}

}  // namespace brand
