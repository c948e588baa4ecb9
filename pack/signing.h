// Signing with osslsigncode: the launcher before it goes into the folder, an installer after
// it is made, so that Windows names the publisher instead of warning of an unknown one.
#pragma once

#include "folder.h"
#include "options.h"

#include <optional>

namespace pack {

struct Signer {
    fs::path tool;  // osslsigncode
    SigningOptions options;
    std::optional<long long> epoch;  // SOURCE_DATE_EPOCH: the signing time, so that signing is reproducible
};

// The signer that the options ask for; none without --sign-pkcs12. Throws Failure when
// osslsigncode or a named file is missing.
std::optional<Signer> signer_of(const SigningOptions& options, std::optional<long long> epoch);

// Signs file in place (through a signed copy beside it, work). Throws Failure with
// osslsigncode's own reason.
void sign_file(const Signer& signer, const fs::path& file, const fs::path& work);

}  // namespace pack
