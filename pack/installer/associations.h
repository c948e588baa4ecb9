// --file-associations: a properties file that makes documents of one type open with the
// application, as the JDK's packager reads it.
#pragma once

#include "folder.h"

#include <string>
#include <string_view>

namespace pack {

struct Association {
    std::string extension;    // without the dot: "emf"
    std::string mime_type;    // empty: none
    std::string description;  // empty: "<extension> file"
    fs::path icon;            // empty: the program's icon
};

// Reads the file's text: lines of key=value (or key: value), "#" and "!" comments, the keys
// extension, mime-type, description and icon. Throws Failure, naming the file as given, for an
// unknown key, a key given twice, or no usable extension.
Association parse_association(const std::string& file, std::string_view text);

}  // namespace pack
