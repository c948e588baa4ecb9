// The Main-Class of a jar, read from its manifest, META-INF/MANIFEST.MF.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pack {

// The manifest's bytes, stored or deflated in the zip file's bytes; none when the jar has no
// manifest. Throws Failure when the bytes are no zip file or the entry is damaged.
std::optional<std::string> jar_manifest(std::string_view zip);

// The main section's Main-Class, continuation lines joined; none when it names none.
std::optional<std::string> manifest_main_class(std::string_view manifest);

}  // namespace pack
