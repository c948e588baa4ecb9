#include "bytes.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brand {

View sub_view(View view, size_t at, size_t count)
{
    if (!within(view.size, at, count))
        return {};
    return {view.data + at, count};
}

Bytes::~Bytes()
{
    std::free(data_);
}

Bytes::Bytes(Bytes&& other) noexcept : data_(other.data_), size_(other.size_), capacity_(other.capacity_)
{
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
}

Bytes& Bytes::operator=(Bytes&& other) noexcept
{
    if (this != &other) {
        std::free(data_);
        data_ = other.data_;
        size_ = other.size_;
        capacity_ = other.capacity_;
        other.data_ = nullptr;
        other.size_ = other.capacity_ = 0;
    }
    return *this;
}

bool Bytes::reserve(size_t capacity)
{
    if (capacity <= capacity_)
        return true;
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr)
        return false;
    data_ = static_cast<uint8_t*>(grown);
    capacity_ = capacity;
    return true;
}

bool Bytes::append(const void* bytes, size_t count)
{
    if (count == 0)
        return true;
    if (count > SIZE_MAX - size_)
        return false;
    size_t needed = size_ + count;
    if (needed > capacity_) {
        // Doubling keeps appends cheap; the doubled size is only a wish when it would overflow.
        size_t wanted = capacity_ <= SIZE_MAX / 2 ? capacity_ * 2 : SIZE_MAX;
        if (wanted < needed)
            wanted = needed < 64 ? 64 : needed;
        if (!reserve(wanted) && !reserve(needed))
            return false;
    }
    if (bytes != nullptr)
        std::memcpy(data_ + size_, bytes, count);
    else
        std::memset(data_ + size_, 0, count);
    size_ = needed;
    return true;
}

bool Bytes::append_zeros(size_t count)
{
    return append(nullptr, count);
}

bool Bytes::append_u16(uint16_t value)
{
    uint8_t bytes[2];
    store_u16(bytes, value);
    return append(bytes, sizeof bytes);
}

bool Bytes::append_u32(uint32_t value)
{
    uint8_t bytes[4];
    store_u32(bytes, value);
    return append(bytes, sizeof bytes);
}

bool Bytes::align(size_t alignment)
{
    size_t rest = size_ & (alignment - 1);
    return rest == 0 || append_zeros(alignment - rest);
}

void Bytes::truncate(size_t size)
{
    if (size < size_)
        size_ = size;
}

uint16_t load_u16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

uint32_t load_u32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

void store_u16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void store_u32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint8_t Reader::u8(size_t at)
{
    if (!within(view.size, at, 1)) {
        ok = false;
        return 0;
    }
    return view.data[at];
}

uint16_t Reader::u16(size_t at)
{
    if (!within(view.size, at, 2)) {
        ok = false;
        return 0;
    }
    return load_u16(view.data + at);
}

uint32_t Reader::u32(size_t at)
{
    if (!within(view.size, at, 4)) {
        ok = false;
        return 0;
    }
    return load_u32(view.data + at);
}

View Reader::bytes(size_t at, size_t count)
{
    if (!within(view.size, at, count)) {
        ok = false;
        return {};
    }
    return {view.data + at, count};
}

bool fail(Error& error, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(error.text, sizeof error.text, format, arguments);
    va_end(arguments);
    return false;
}

bool out_of_memory(Error& error)
{
    return fail(error, "out of memory");
}

bool align_up(uint64_t a, uint32_t alignment, uint32_t& out)
{
    uint64_t rounded = (a + alignment - 1) & ~static_cast<uint64_t>(alignment - 1);
    if (rounded > UINT32_MAX)
        return false;
    out = static_cast<uint32_t>(rounded);
    return true;
}

}  // namespace brand
