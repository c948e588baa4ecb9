#include "version_block.h"

#include "text.h"

namespace brand {
namespace {

constexpr uint32_t fixed_signature = 0xFEEF04BDu;
constexpr size_t fixed_size = 52;

// One node of the block: length (including its children), value length, type (1: text, whose
// value length counts UTF-16 units), key, then value and children, each at 4-byte boundaries
// of the block.
struct Node {
    size_t at = 0;
    size_t end = 0;
    uint16_t value_length = 0;
    const uint8_t* key = nullptr;
    size_t key_length = 0;
    size_t value_at = 0;
    size_t children_at = 0;
};

size_t align4(size_t at)
{
    return (at + 3) & ~static_cast<size_t>(3);
}

bool damaged(Error& error)
{
    return fail(error, "damaged version resource");
}

bool read_node(View block, size_t at, size_t parent_end, Node& node, Error& error)
{
    Reader reader{block};
    size_t length = reader.u16(at);
    node.value_length = reader.u16(at + 2);
    uint16_t type = reader.u16(at + 4);
    if (!reader.ok || length < 6 || !within(parent_end, at, length))
        return damaged(error);
    node.at = at;
    node.end = at + length;
    node.key = block.data + at + 6;
    size_t key_end = at + 6;
    while (true) {
        if (key_end + 2 > node.end)
            return damaged(error);
        if (load_u16(block.data + key_end) == 0)
            break;
        key_end += 2;
    }
    node.key_length = (key_end - (at + 6)) / 2;
    node.value_at = align4(key_end + 2);
    size_t value_bytes = type == 1 ? 2 * static_cast<size_t>(node.value_length) : node.value_length;
    if (node.value_at > node.end || value_bytes > node.end - node.value_at)
        return damaged(error);
    node.children_at = align4(node.value_at + value_bytes);
    if (node.children_at > node.end)
        node.children_at = node.end;
    return true;
}

bool patch_length(Bytes& out, size_t start, Error& error)
{
    size_t length = out.size() - start;
    if (length > UINT16_MAX)
        return fail(error, "the version texts are too long");
    store_u16(out.data() + start, static_cast<uint16_t>(length));
    return true;
}

bool write_string(Bytes& out, View key, View value, Error& error)
{
    size_t units = value.size / 2 + 1;
    if (units > UINT16_MAX)
        return fail(error, "the version texts are too long");
    size_t start = out.size();
    bool written = out.append_u16(0) && out.append_u16(static_cast<uint16_t>(units)) && out.append_u16(1) &&
                   out.append(key) && out.append_u16(0) && out.align(4) && out.append(value) && out.append_u16(0);
    if (!written)
        return out_of_memory(error);
    return patch_length(out, start, error);
}

bool write_ascii_key_string(Bytes& out, const VersionText& text, Error& error)
{
    Bytes key;
    if (utf8_to_utf16(text.key, key) != Converted::ok)
        return out_of_memory(error);
    return write_string(out, key.view(), text.value, error);
}

// A string table: its strings, each replaced when the edit names its key, then the edit's
// strings that the table lacked.
bool rewrite_table(View block, const Node& table, const VersionEdit& edit, Bytes& out, Error& error)
{
    size_t start = out.size();
    if (!out.append(block.data + table.at, table.children_at - table.at))
        return out_of_memory(error);
    bool found[8] = {};
    for (size_t at = table.children_at; at < table.end;) {
        Node string;
        if (!read_node(block, at, table.end, string, error))
            return false;
        if (!out.align(4))
            return out_of_memory(error);
        size_t text = 0;
        while (text < edit.text_count && !equals_ascii(string.key, string.key_length, edit.texts[text].key))
            ++text;
        if (text < edit.text_count) {
            found[text] = true;
            if (!write_string(out, {string.key, 2 * string.key_length}, edit.texts[text].value, error))
                return false;
        } else if (!out.append(block.data + string.at, string.end - string.at)) {
            return out_of_memory(error);
        }
        at = align4(string.end);
    }
    for (size_t text = 0; text < edit.text_count; ++text) {
        if (found[text])
            continue;
        if (!out.align(4))
            return out_of_memory(error);
        if (!write_ascii_key_string(out, edit.texts[text], error))
            return false;
    }
    return patch_length(out, start, error);
}

bool rewrite_string_file_info(View block, const Node& info, const VersionEdit& edit, Bytes& out, size_t& tables,
                              Error& error)
{
    size_t start = out.size();
    if (!out.append(block.data + info.at, info.children_at - info.at))
        return out_of_memory(error);
    for (size_t at = info.children_at; at < info.end;) {
        Node table;
        if (!read_node(block, at, info.end, table, error))
            return false;
        if (!out.align(4))
            return out_of_memory(error);
        if (!rewrite_table(block, table, edit, out, error))
            return false;
        ++tables;
        at = align4(table.end);
    }
    return patch_length(out, start, error);
}

}  // namespace

bool rewrite_version(View block, const VersionEdit& edit, Bytes& out, Error& error)
{
    out.truncate(0);
    Node root;
    if (!read_node(block, 0, block.size, root, error))
        return false;
    Reader reader{block};
    if (!equals_ascii(root.key, root.key_length, "VS_VERSION_INFO") || root.value_length < fixed_size ||
        reader.u32(root.value_at) != fixed_signature)
        return damaged(error);
    if (!out.append(block.data, root.children_at))
        return out_of_memory(error);
    if (edit.numbers_given) {
        uint8_t* fixed = out.data() + root.value_at;
        uint32_t high = static_cast<uint32_t>(edit.numbers[0]) << 16 | edit.numbers[1];
        uint32_t low = static_cast<uint32_t>(edit.numbers[2]) << 16 | edit.numbers[3];
        // The file version, then the product version.
        store_u32(fixed + 8, high);
        store_u32(fixed + 12, low);
        store_u32(fixed + 16, high);
        store_u32(fixed + 20, low);
    }

    size_t tables = 0;
    for (size_t at = root.children_at; at < root.end;) {
        Node child;
        if (!read_node(block, at, root.end, child, error))
            return false;
        if (!out.align(4))
            return out_of_memory(error);
        if (equals_ascii(child.key, child.key_length, "StringFileInfo")) {
            if (!rewrite_string_file_info(block, child, edit, out, tables, error))
                return false;
        } else if (!out.append(block.data + child.at, child.end - child.at)) {
            return out_of_memory(error);
        }
        at = align4(child.end);
    }
    if (tables == 0 && edit.text_count > 0)
        return fail(error, "the version resource has no string table");
    return patch_length(out, 0, error);
}

}  // namespace brand
