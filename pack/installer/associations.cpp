#include "associations.h"

#include "failure.h"

#include <algorithm>
#include <cctype>

namespace pack {
namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

}  // namespace

Association parse_association(const std::string& file, std::string_view text)
{
    Association association;
    std::string icon;
    struct Key {
        std::string_view name;
        std::string* value;
        bool given = false;
    } keys[] = {
        {"extension", &association.extension},
        {"mime-type", &association.mime_type},
        {"description", &association.description},
        {"icon", &icon},
    };
    std::string where = "--file-associations " + file + ": ";
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line[0] == '#' || line[0] == '!')
            continue;
        size_t separator = line.find_first_of("=:");
        std::string name(trimmed(line.substr(0, separator)));
        Key* key = std::find_if(std::begin(keys), std::end(keys), [&](const Key& k) { return k.name == name; });
        if (key == std::end(keys))
            throw Failure(where + "unknown key \"" + name + "\" (extension, mime-type, description, icon)");
        if (key->given)
            throw Failure(where + name + " is given twice");
        key->given = true;
        *key->value = separator == std::string_view::npos ? "" : std::string(trimmed(line.substr(separator + 1)));
    }
    if (association.extension.starts_with('.'))
        association.extension.erase(0, 1);
    if (association.extension.empty())
        throw Failure(where + "it names no extension");
    for (unsigned char c : association.extension)
        if (!std::isalnum(c) && c != '-' && c != '_' && c != '.')
            throw Failure(where + "extension=" + association.extension + ": letters, digits, \"-\", \"_\" and \".\" only");
    if (association.description.empty())
        association.description = association.extension + " file";
    association.icon = path_of(icon);
    return association;
}

}  // namespace pack
