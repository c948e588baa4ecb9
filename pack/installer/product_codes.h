// The codes that Windows Installer tells products and packages apart by, derived from names and
// contents instead of drawn at random: the same inputs give the same package, and a changed one
// is a new product.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pack {

using Digest = std::array<uint8_t, 20>;

// SHA-1, fed in pieces.
class Sha1 {
public:
    Sha1();
    void add(std::string_view bytes);
    Digest finish();

private:
    void block(const uint8_t* bytes);
    uint32_t state_[5];
    uint8_t pending_[64];
    size_t pending_size_ = 0;
    uint64_t length_ = 0;
};

// A name-based UUID (RFC 4122 version 5) of text within kelvo-pack's own name space, in
// Windows Installer's form: "{01234567-89AB-CDEF-0123-456789ABCDEF}".
std::string name_uuid(std::string_view text);

// A UUID as given ("01234567-89ab-..."), in Windows Installer's form.
std::string installer_uuid(std::string_view uuid);

}  // namespace pack
