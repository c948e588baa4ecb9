// kelvo-brand's pure parts on their own: reading .ico files, the resource tree, the version block.
#include "brand_samples.h"
#include "ico_file.h"
#include "resource_tree.h"
#include "version_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using samples::as_string;
using samples::as_view;

std::string patched_u16(std::string bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<char>(value & 0xff);
    bytes[at + 1] = static_cast<char>(value >> 8);
    return bytes;
}

std::string patched_u32(std::string bytes, size_t at, uint32_t value)
{
    samples::put_u32(bytes, at, value);
    return bytes;
}

struct IcoCase {
    const char* what;
    std::string file;
    const char* error;  // nullptr: read
};

TEST(BrandParts, IcoFiles)
{
    using samples::bitmap_image;
    using samples::ico_file;
    using samples::png_image;
    const std::string good = ico_file({png_image(256, 256), bitmap_image(16, 16)});
    const IcoCase cases[] = {
        {"a PNG and a bitmap", good, nullptr},
        {"V5 bitmap header", ico_file({patched_u32(bitmap_image(48, 48), 0, 124) + std::string(100, 'x')}), nullptr},
        {"empty file", "", "not an icon file"},
        {"a cursor", patched_u16(good, 2, 2), "not an icon file"},
        {"no image", ico_file({}), "the icon file holds no image"},
        {"list cut short", good.substr(0, 6 + 16 + 8), "damaged icon file: it ends inside its list of images"},
        {"image cut short", good.substr(0, good.size() - 1),
         "damaged icon file: image 2 lies beyond the end of the file"},
        {"offset far beyond the end", patched_u32(good, 6 + 12, 0xfffffff0u),
         "damaged icon file: image 1 lies beyond the end of the file"},
        {"empty image", patched_u32(good, 6 + 8, 0), "damaged icon file: image 1 is empty"},
        {"PNG too wide", ico_file({png_image(257, 256)}), "image 1 is 257x256 px; an icon image is at most 256x256 px"},
        {"bitmap too high", ico_file({bitmap_image(16, 16), bitmap_image(16, 300)}),
         "image 2 is 16x300 px; an icon image is at most 256x256 px"},
        {"bitmap of 4096 px", ico_file({bitmap_image(4096, 4096)}),
         "image 1 is 4096x4096 px; an icon image is at most 256x256 px"},
        {"PNG without header", ico_file({png_image(16, 16).substr(0, 20)}),
         "damaged icon file: image 1 is a PNG without its header"},
        {"neither", ico_file({std::string(64, 'x')}), "damaged icon file: image 1 is neither a PNG nor a bitmap"},
        {"bitmap header longer than image", ico_file({patched_u32(bitmap_image(16, 16), 0, 124).substr(0, 100)}),
         "damaged icon file: image 1 is neither a PNG nor a bitmap"},
        {"bitmap without pixels", ico_file({bitmap_image(0, 16)}), "damaged icon file: image 1 has no pixels"},
        {"bitmap of negative width", ico_file({bitmap_image(-16, 16)}), "damaged icon file: image 1 has no pixels"},
        {"PNG without pixels", ico_file({png_image(0, 16)}), "damaged icon file: image 1 has no pixels"},
    };
    for (const IcoCase& c : cases) {
        SCOPED_TRACE(c.what);
        brand::List<brand::IconImage> images;
        brand::Error error;
        bool read = brand::read_ico(as_view(c.file), images, error);
        if (c.error != nullptr) {
            EXPECT_FALSE(read);
            EXPECT_STREQ(error.text, c.error);
        } else {
            EXPECT_TRUE(read) << error.text;
        }
    }

    brand::List<brand::IconImage> images;
    brand::Error error;
    ASSERT_TRUE(brand::read_ico(as_view(good), images, error));
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(as_string(images[0].data), png_image(256, 256));
    EXPECT_EQ(as_string(images[1].data), bitmap_image(16, 16));
    EXPECT_EQ(images[1].width, 17);  // the directory's fields, as the group repeats them
    EXPECT_EQ(images[1].bit_count, 32);
}

brand::ResourceKey named(const std::u16string& text)
{
    brand::ResourceKey key;
    key.name = reinterpret_cast<const uint8_t*>(text.data());
    key.length = static_cast<uint16_t>(text.size());
    return key;
}

TEST(BrandParts, ResourceTreeIsSortedAndReadsBack)
{
    const std::u16string zeta = u"ZETA", alpha = u"ALPHA", alphabet = u"ALPHABET";
    const std::string one = "1", two = "two!", three = "three";
    struct Item {
        brand::ResourceKey type, name;
        uint32_t language;
        const std::string* data;
    };
    const Item items[] = {
        {brand::id_key(24), brand::id_key(1), 1033, &one},   {named(zeta), brand::id_key(7), 0, &two},
        {brand::id_key(3), brand::id_key(2), 1033, &three},  {brand::id_key(3), named(alpha), 1031, &one},
        {named(alpha), named(alphabet), 9, &two},            {brand::id_key(3), brand::id_key(2), 1031, &two},
        {brand::id_key(3), named(alphabet), 0, &three},
    };
    brand::List<brand::Resource> list;
    for (const Item& item : items)
        ASSERT_TRUE(list.push({item.type, item.name, item.language, 1252, as_view(*item.data)}));
    brand::Bytes section;
    brand::Error error;
    constexpr uint32_t rva = 0x5000;
    ASSERT_TRUE(brand::build_resources(list, rva, section, error)) << error.text;
    std::string bytes = as_string(section.view());
    // Root: 2 named types, then 2 numbered ones.
    EXPECT_EQ(samples::u16_at(bytes, 12), 2);
    EXPECT_EQ(samples::u16_at(bytes, 14), 2);

    brand::List<brand::Resource> read;
    ASSERT_TRUE(brand::parse_resources(section.view(), rva, read, error)) << error.text;
    auto text = samples::key_text;
    std::vector<std::string> order;
    for (const brand::Resource& r : read) {
        order.push_back(text(r.type) + "/" + text(r.name) + "/" + std::to_string(r.language) + "=" + as_string(r.data));
        EXPECT_EQ(r.code_page, 1252u);
        EXPECT_EQ((r.data.data - section.data()) % 8, 0) << "data aligned to 8 bytes";
    }
    const std::vector<std::string> expected = {
        "ALPHA/ALPHABET/9=two!", "ZETA/#7/0=two!",      "#3/ALPHA/1031=1",  "#3/ALPHABET/0=three",
        "#3/#2/1031=two!",       "#3/#2/1033=three",    "#24/#1/1033=1",
    };
    EXPECT_EQ(order, expected);

    ASSERT_TRUE(list.push(list[0]));
    EXPECT_FALSE(brand::build_resources(list, rva, section, error));
    EXPECT_STREQ(error.text, "damaged resource directory: two resources of one type, name and language");
}

TEST(BrandParts, DamagedResourceTrees)
{
    // One type, one name, one language: root at 0, type table at 0x18, language table at 0x30,
    // data entry at 0x48, data at 0x58.
    std::string good = std::string(0x60, '\0');
    good = patched_u16(good, 14, 1);
    good = patched_u32(patched_u32(good, 16, 3), 20, 0x80000018u);
    good = patched_u16(good, 0x18 + 14, 1);
    good = patched_u32(patched_u32(good, 0x18 + 16, 1), 0x18 + 20, 0x80000030u);
    good = patched_u16(good, 0x30 + 14, 1);
    good = patched_u32(patched_u32(good, 0x30 + 16, 1033), 0x30 + 20, 0x48);
    good = patched_u32(patched_u32(good, 0x48, 0x1058), 0x4c, 8);
    // Four types sharing one table of four names sharing one table of four languages.
    std::string shared(0xa8, '\0');
    for (uint32_t table : {0u, 0x30u, 0x60u}) {
        shared = patched_u16(shared, table + 14, 4);
        for (uint32_t i = 0; i < 4; ++i) {
            uint32_t target = table == 0x60 ? 0x90 : 0x80000000u | (table + 0x30);
            shared = patched_u32(patched_u32(shared, table + 16 + 8 * i, i + 1), table + 20 + 8 * i, target);
        }
    }
    shared = patched_u32(patched_u32(shared, 0x90, 0x10a0), 0x94, 8);

    struct Case {
        const char* what;
        std::string section;
        const char* error;
    };
    const Case cases[] = {
        {"good", good, nullptr},
        {"empty", "", "damaged resource directory"},
        {"more entries than the section holds", patched_u16(good, 12, 0xffff), "damaged resource directory"},
        {"table beyond the end", patched_u32(good, 20, 0x80001000u), "damaged resource directory"},
        {"data entry beyond the end", patched_u32(good, 0x30 + 20, 0x5c), "damaged resource directory"},
        {"data before the section", patched_u32(good, 0x48, 0x0ff8),
         "damaged resource directory: resource data outside the resource section"},
        {"data past the section", patched_u32(good, 0x4c, 9),
         "damaged resource directory: resource data outside the resource section"},
        {"data at the largest address", patched_u32(good, 0x48, 0xfffffffcu),
         "damaged resource directory: resource data outside the resource section"},
        {"data where a table belongs", patched_u32(good, 20, 0x18), "damaged resource directory"},
        {"table where data belongs", patched_u32(good, 0x30 + 20, 0x80000048u), "damaged resource directory"},
        {"named language", patched_u32(good, 0x30 + 16, 0x8000004cu), "damaged resource directory"},
        {"name beyond the end", patched_u16(patched_u32(good, 0x18 + 16, 0x80000058u), 0x58, 0x10),
         "damaged resource directory"},
        {"name of no characters", patched_u32(good, 0x18 + 16, 0x80000054u), "damaged resource directory"},
        {"shared tables", shared, "damaged resource directory"},
        {"a loop", patched_u32(good, 0x18 + 20, 0x80000000u), "damaged resource directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        brand::List<brand::Resource> list;
        brand::Error error;
        bool parsed = brand::parse_resources(as_view(c.section), 0x1000, list, error);
        if (c.error == nullptr) {
            EXPECT_TRUE(parsed) << error.text;
            ASSERT_EQ(list.size(), 1u);
            EXPECT_EQ(as_string(list[0].data), std::string(8, '\0'));
        } else {
            EXPECT_FALSE(parsed);
            EXPECT_STREQ(error.text, c.error);
        }
    }
}

brand::View utf16(const std::u16string& text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), 2 * text.size()};
}

TEST(BrandParts, VersionBlocks)
{
    const samples::Strings kelvo = {
        {"CompanyName", "Tandrel"},          {"FileDescription", "Tandrel kelvo Java launcher"},
        {"FileVersion", "2.2.0"},            {"InternalName", "kelvo"},
        {"OriginalFilename", "kelvo.exe"},   {"ProductName", "Tandrel kelvo"},
        {"ProductVersion", "2.2.0"},
    };
    const std::string block = samples::version_block(kelvo);
    const std::u16string company = u"Example Ltd", copyright = u"(c) 2026 Example", version = u"1.4.2",
                         file = u"MyApp.exe", stem = u"MyApp";

    brand::VersionEdit none;
    brand::VersionEdit full;
    full.numbers_given = true;
    full.numbers[0] = 1;
    full.numbers[1] = 4;
    full.numbers[2] = 2;
    full.texts[0] = {"CompanyName", utf16(company)};
    full.texts[1] = {"FileVersion", utf16(version)};
    full.texts[2] = {"InternalName", utf16(stem)};
    full.texts[3] = {"LegalCopyright", utf16(copyright)};
    full.texts[4] = {"OriginalFilename", utf16(file)};
    full.text_count = 5;

    struct Case {
        const char* what;
        std::string block;
        const brand::VersionEdit* edit;
        const char* error;
    };
    const Case failures[] = {
        {"empty", "", &none, "damaged version resource"},
        {"cut short", block.substr(0, block.size() - 2), &none, "damaged version resource"},
        {"longer than the data", patched_u16(block, 0, static_cast<uint16_t>(block.size() + 4)), &none,
         "damaged version resource"},
        {"other root key", patched_u16(block, 6, 'X'), &none, "damaged version resource"},
        {"no fixed information", patched_u16(block, 2, 0), &none, "damaged version resource"},
        {"wrong signature", patched_u32(block, 40, 0), &none, "damaged version resource"},
        {"string longer than its table", patched_u16(block, 0x98, 0x2000), &none, "damaged version resource"},
        {"string of length 0", patched_u16(block, 0x98, 0), &none, "damaged version resource"},
        {"no string table", patched_u16(block.substr(0, 0x5c), 0, 0x5c), &full,
         "the version resource has no string table"},
    };
    for (const Case& c : failures) {
        SCOPED_TRACE(c.what);
        brand::Bytes out;
        brand::Error error;
        EXPECT_FALSE(brand::rewrite_version(as_view(c.block), *c.edit, out, error));
        EXPECT_STREQ(error.text, c.error);
    }

    brand::Bytes out;
    brand::Error error;
    ASSERT_TRUE(brand::rewrite_version(as_view(block), none, out, error)) << error.text;
    EXPECT_EQ(as_string(out.view()), block) << "nothing asked, nothing changed";

    // Keys match in any case and keep their spelling; the table keeps its language.
    samples::Strings odd = kelvo;
    odd[0].first = "companyNAME";
    const std::string german = samples::version_block(odd, "040704E4");
    ASSERT_TRUE(brand::rewrite_version(as_view(german), full, out, error)) << error.text;
    samples::VersionRead read = samples::read_version(as_string(out.view()));
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.table, "040704E4");
    EXPECT_EQ(read.file_ms, 0x00010004u);
    EXPECT_EQ(read.file_ls, 0x00020000u);
    EXPECT_EQ(read.product_ms, 0x00010004u);
    EXPECT_EQ(read.product_ls, 0x00020000u);
    const samples::Strings expected = {
        {"companyNAME", "Example Ltd"},      {"FileDescription", "Tandrel kelvo Java launcher"},
        {"FileVersion", "1.4.2"},            {"InternalName", "MyApp"},
        {"OriginalFilename", "MyApp.exe"},   {"ProductName", "Tandrel kelvo"},
        {"ProductVersion", "2.2.0"},         {"LegalCopyright", "(c) 2026 Example"},
    };
    EXPECT_EQ(read.strings, expected);
    EXPECT_EQ(read.translation, samples::read_version(block).translation);

    std::u16string huge(40000, u'x');
    brand::VersionEdit too_long;
    too_long.texts[0] = {"ProductName", utf16(huge)};
    too_long.text_count = 1;
    EXPECT_FALSE(brand::rewrite_version(as_view(block), too_long, out, error));
    EXPECT_STREQ(error.text, "the version texts are too long");
}

}  // namespace
