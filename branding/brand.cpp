#include "brand.h"

#include "pe_file.h"
#include "resource_tree.h"

#include <bitset>

namespace brand {
namespace {

constexpr char icon_group_name[] = "APPICON";
constexpr size_t group_header = 6;
constexpr size_t group_entry = 14;

using IconIds = std::bitset<65536>;

bool is_app_icon_group(const Resource& resource)
{
    return is_id(resource.type, rt_group_icon) && is_name(resource.name, icon_group_name);
}

// Marks the image ids that an icon group lists.
bool mark_group_ids(View group, IconIds& ids, Error& error)
{
    Reader reader{group};
    size_t count = reader.u16(4);
    for (size_t i = 0; i < count && reader.ok; ++i)
        ids.set(reader.u16(group_header + group_entry * i + 12));
    if (!reader.ok)
        return fail(error, "damaged icon group resource");
    return true;
}

// Replaces the group APPICON and the images only it used with the images of an .ico file,
// in the group's language, under the lowest image ids that no other image has.
bool replace_icon(List<Resource>& resources, const List<IconImage>& images, Bytes& group, Error& error)
{
    size_t found = resources.size();
    IconIds old_ids;
    IconIds kept_ids;
    for (size_t i = 0; i < resources.size(); ++i) {
        if (!is_id(resources[i].type, rt_group_icon))
            continue;
        bool ours = is_app_icon_group(resources[i]);
        if (ours && found == resources.size())
            found = i;
        if (!mark_group_ids(resources[i].data, ours ? old_ids : kept_ids, error))
            return false;
    }
    if (found == resources.size())
        return fail(error, "the file has no icon group APPICON");
    Resource template_group = resources[found];

    remove_if(resources, [&](const Resource& r) {
        bool old_image = is_id(r.type, rt_icon) && r.name.name == nullptr && r.name.id <= 0xffff &&
                         old_ids.test(r.name.id) && !kept_ids.test(r.name.id);
        return old_image || is_app_icon_group(r);
    });
    IconIds taken;
    for (const Resource& r : resources)
        if (is_id(r.type, rt_icon) && r.name.name == nullptr && r.name.id <= 0xffff)
            taken.set(r.name.id);

    group.truncate(0);
    if (!group.append_u16(0) || !group.append_u16(1) || !group.append_u16(static_cast<uint16_t>(images.size())))
        return out_of_memory(error);
    uint32_t id = 1;
    for (const IconImage& image : images) {
        while (id <= 0xffff && taken.test(id))
            ++id;
        if (id > 0xffff)
            return fail(error, "too many icon images");
        uint8_t entry[group_entry] = {image.width, image.height, image.colors, image.reserved};
        store_u16(entry + 4, image.planes);
        store_u16(entry + 6, image.bit_count);
        store_u32(entry + 8, static_cast<uint32_t>(image.data.size));
        store_u16(entry + 12, static_cast<uint16_t>(id));
        Resource icon = template_group;
        icon.type = id_key(rt_icon);
        icon.name = id_key(id);
        icon.data = image.data;
        if (!group.append(entry, sizeof entry) || !resources.push(icon))
            return out_of_memory(error);
        ++id;
    }
    template_group.data = group.view();
    if (!resources.push(template_group))
        return out_of_memory(error);
    return true;
}

bool replace_version(List<Resource>& resources, const VersionEdit& edit, Bytes& block, Error& error)
{
    Resource* version = nullptr;
    for (Resource& r : resources) {
        if (!is_id(r.type, rt_version))
            continue;
        if (version != nullptr)
            return fail(error, "the file has more than one version resource");
        version = &r;
    }
    if (version == nullptr)
        return fail(error, "the file has no version resource");
    if (!rewrite_version(version->data, edit, block, error))
        return false;
    version->data = block.view();
    return true;
}

}  // namespace

bool brand_file(View input, const Branding& branding, Bytes& output, Error& error)
{
    PeFile pe;
    if (!read_pe(input, pe, error))
        return false;
    List<Resource> resources;
    uint32_t section_rva = pe.sections[pe.resource_index].virtual_address;
    if (!parse_resources(resource_section(pe), section_rva, resources, error))
        return false;
    Bytes group;
    if (branding.icon != nullptr && !replace_icon(resources, *branding.icon, group, error))
        return false;
    Bytes version;
    if (!replace_version(resources, branding.version, version, error))
        return false;
    Bytes section;
    return build_resources(resources, section_rva, section, error) &&
           replace_resources(pe, section.view(), output, error);
}

}  // namespace brand
