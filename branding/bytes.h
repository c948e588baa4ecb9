// Growable byte buffers whose every growth reports failure instead of throwing, lists of plain
// records on top of them, and little-endian reading that never goes past the end of its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace brand {

struct View {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// True when count bytes from at lie inside a buffer of size bytes, without overflow.
constexpr bool within(size_t size, size_t at, size_t count)
{
    return at <= size && count <= size - at;
}

View sub_view(View view, size_t at, size_t count);  // empty unless within(view.size, at, count)

class Bytes {
public:
    Bytes() = default;
    ~Bytes();
    Bytes(Bytes&& other) noexcept;
    Bytes& operator=(Bytes&& other) noexcept;
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    View view() const { return {data_, size_}; }

    // Each returns false, leaving the contents as they were, when memory runs out.
    [[nodiscard]] bool reserve(size_t capacity);
    [[nodiscard]] bool append(const void* bytes, size_t count);
    [[nodiscard]] bool append(View bytes) { return append(bytes.data, bytes.size); }
    [[nodiscard]] bool append_zeros(size_t count);
    [[nodiscard]] bool append_u16(uint16_t value);
    [[nodiscard]] bool append_u32(uint32_t value);
    // Pads with zero bytes to a multiple of alignment (a power of two).
    [[nodiscard]] bool align(size_t alignment);
    void truncate(size_t size);

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// A list of plain records held in Bytes.
template <typename T>
class List {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    size_t size() const { return bytes_.size() / sizeof(T); }
    T* begin() { return reinterpret_cast<T*>(bytes_.data()); }
    T* end() { return begin() + size(); }
    const T* begin() const { return reinterpret_cast<const T*>(bytes_.data()); }
    const T* end() const { return begin() + size(); }
    T& operator[](size_t index) { return begin()[index]; }
    const T& operator[](size_t index) const { return begin()[index]; }
    [[nodiscard]] bool push(const T& item) { return bytes_.append(&item, sizeof item); }
    void truncate(size_t count) { bytes_.truncate(count * sizeof(T)); }

private:
    Bytes bytes_;
};

// Removes the items for which remove(item) holds, keeping the order of the others.
template <typename T, typename Predicate>
void remove_if(List<T>& list, Predicate remove)
{
    size_t kept = 0;
    for (size_t i = 0; i < list.size(); ++i)
        if (!remove(list[i]))
            list[kept++] = list[i];
    list.truncate(kept);
}

uint16_t load_u16(const uint8_t* at);
uint32_t load_u32(const uint8_t* at);
void store_u16(uint8_t* at, uint16_t value);
void store_u32(uint8_t* at, uint32_t value);

// Reads little-endian fields of a view. A field outside the view reads as 0 and clears ok, so a
// run of reads is checked once at its end.
struct Reader {
    View view;
    bool ok = true;

    uint8_t u8(size_t at);
    uint16_t u16(size_t at);
    uint32_t u32(size_t at);
    View bytes(size_t at, size_t count);
};

// One line of text for the user, without the program name.
struct Error {
    char text[320] = {};
};

// Fills error (printf-style, %s and %u only) and returns false, so that callers write
// `return fail(error, ...)`.
bool fail(Error& error, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool out_of_memory(Error& error);

// a rounded up to a multiple of alignment (a power of two); false when that overflows 32 bits.
bool align_up(uint64_t a, uint32_t alignment, uint32_t& out);

}  // namespace brand
