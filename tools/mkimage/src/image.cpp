#include <mkimage/image.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>

namespace mkimage {

namespace {

constexpr std::uint16_t rt_bitmap = 2;
constexpr std::uint16_t rt_string = 6;
constexpr std::uint16_t rt_version = 16;
constexpr std::uint16_t version_resource_id = 1;

// Resource data is kept 8-byte aligned in .rsrc, as resource compilers leave it.
constexpr std::size_t resource_data_alignment = 8;

void pad_to(std::string& bytes, std::size_t alignment) { bytes.resize(align_up(bytes.size(), alignment), '\0'); }

// ANSI text (code page 1252) as UTF-16LE. The texts of tests are ASCII, where both
// agree; higher bytes are taken as Latin-1, which is near enough for what is tested.
std::string utf16(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

// ---- Version resource -------------------------------------------------------------

// One node of the version tree. Text values carry their terminator in the image.
struct VersionNode {
    std::string key;
    std::string value;  // binary bytes, or the text without terminator
    bool text = false;
    std::vector<VersionNode> children;
};

void write_node(std::string& out, const VersionNode& node, bool unicode) {
    // Every node starts on a 32-bit boundary of the resource, so aligning the output
    // aligns relative to the node as well.
    const std::size_t start = out.size();
    out.append(unicode ? 6 : 4, '\0');  // length, value length (and type) come last
    if (unicode) {
        out += utf16(node.key);
        out.append(2, '\0');
    } else {
        out += node.key;
        out += '\0';
    }
    std::size_t value_length = 0;
    if (node.text) {
        pad_to(out, 4);
        if (unicode) {
            out += utf16(node.value);
            out.append(2, '\0');
            // In characters: what every resource compiler writes there, whatever the
            // format's own text says, and so what readers of the block expect.
            value_length = node.value.size() + 1;
        } else {
            out += node.value;
            out += '\0';
            value_length = node.value.size() + 1;
        }
    } else if (!node.value.empty()) {
        pad_to(out, 4);
        out += node.value;
        value_length = node.value.size();
    }
    for (const VersionNode& child : node.children) {
        pad_to(out, 4);
        write_node(out, child, unicode);
    }
    const std::size_t length = out.size() - start;
    if (length > 0xFFFF) throw std::invalid_argument("version resource node over 64 KB");
    put16(out, start, static_cast<std::uint16_t>(length));
    put16(out, start + 2, static_cast<std::uint16_t>(value_length));
    // Nodes without a value of their own are marked as text, as resource compilers
    // mark them.
    if (unicode) put16(out, start + 4, node.text || node.value.empty() ? 1 : 0);
}

std::string fixed_file_info(const VersionInfo& info, ImageKind kind, bool dll) {
    std::string value;
    put32(value, 0, 0xFEEF04BD);  // signature
    put32(value, 4, 0x00010000);  // structure version 1.0
    put32(value, 8, info.file_version.high());
    put32(value, 12, info.file_version.low());
    put32(value, 16, info.product_version.high());
    put32(value, 20, info.product_version.low());
    put32(value, 24, info.file_flags_mask);
    put32(value, 28, info.file_flags);
    put32(value, 32, info.file_os.value_or(kind == ImageKind::ne ? vos_dos_windows16 : vos_nt_windows32));
    put32(value, 36, info.file_type.value_or(dll ? vft_dll : vft_app));
    put32(value, 40, info.file_subtype);
    put32(value, 44, info.file_date_ms);
    put32(value, 48, info.file_date_ls);
    return value;
}

// ---- PE ---------------------------------------------------------------------------

struct Section {
    std::string name;
    std::string data;
    std::uint32_t characteristics;
    std::uint32_t rva = 0;
    std::uint32_t raw_pointer = 0;
};

constexpr std::uint32_t section_code = 0x60000020;  // code, execute, read
constexpr std::uint32_t section_data = 0x40000040;  // initialized data, read

// A string table block of Windows: 16 counted UTF-16 strings, IDs block*16-16 on.
std::string pe_string_block(const std::map<std::uint16_t, std::string>& strings, unsigned block) {
    std::string out;
    for (unsigned slot = 0; slot < 16; ++slot) {
        auto it = strings.find(static_cast<std::uint16_t>((block - 1) * 16 + slot));
        std::string_view text = it == strings.end() ? std::string_view() : std::string_view(it->second);
        if (text.size() > 0xFFFF) throw std::invalid_argument("string over 65535 characters");
        std::size_t at = out.size();
        put16(out, at, static_cast<std::uint16_t>(text.size()));
        out += utf16(text);
    }
    return out;
}

std::set<unsigned> string_blocks(const std::map<std::uint16_t, std::string>& strings) {
    std::set<unsigned> blocks;
    for (const auto& entry : strings) blocks.insert(entry.first / 16u + 1u);
    return blocks;
}

struct Resource {
    std::uint16_t type;
    std::uint16_t id;
    std::string data;
};

std::string ne_string_block(const std::map<std::uint16_t, std::string>& strings, unsigned block) {
    std::string out;
    for (unsigned slot = 0; slot < 16; ++slot) {
        auto it = strings.find(static_cast<std::uint16_t>((block - 1) * 16 + slot));
        std::string_view text = it == strings.end() ? std::string_view() : std::string_view(it->second);
        if (text.size() > 0xFF) throw std::invalid_argument("NE string over 255 characters");
        out += static_cast<char>(text.size());
        out += text;
    }
    return out;
}

std::vector<Resource> resources_of(const ImageRecipe& recipe) {
    std::vector<Resource> resources;
    for (unsigned block : string_blocks(recipe.strings)) {
        std::string data =
            recipe.kind == ImageKind::ne ? ne_string_block(recipe.strings, block) : pe_string_block(recipe.strings, block);
        resources.push_back({rt_string, static_cast<std::uint16_t>(block), std::move(data)});
    }
    if (recipe.version)
        resources.push_back({rt_version, version_resource_id, version_resource(*recipe.version, recipe.kind, recipe.dll)});
    if (!recipe.bitmaps.empty() && recipe.kind == ImageKind::ne) throw std::invalid_argument("an NE image takes no bitmaps here");
    for (const auto& [id, dib] : recipe.bitmaps) resources.push_back({rt_bitmap, id, dib});
    return resources;
}

// The .rsrc section at `rva`: the three levels of directories (type, name, language),
// then the data entries, then the data. Types and names are IDs, in ascending order,
// as the loader's binary search needs them.
std::string resource_section(const std::vector<Resource>& resources, std::uint16_t language, std::uint32_t rva,
                             ImageMap* map) {
    std::map<std::uint16_t, std::vector<const Resource*>> by_type;
    for (const Resource& r : resources) by_type[r.type].push_back(&r);
    for (auto& [type, list] : by_type)
        std::sort(list.begin(), list.end(), [](const Resource* a, const Resource* b) { return a->id < b->id; });

    constexpr std::size_t directory_size = 16, entry_size = 8, data_entry_size = 16;
    std::size_t offset = directory_size + by_type.size() * entry_size;
    std::map<std::uint16_t, std::size_t> type_directory;
    for (const auto& [type, list] : by_type) {
        type_directory[type] = offset;
        offset += directory_size + list.size() * entry_size;
    }
    std::map<const Resource*, std::size_t> language_directory;
    for (const auto& [type, list] : by_type)
        for (const Resource* r : list) {
            language_directory[r] = offset;
            offset += directory_size + entry_size;
        }
    std::map<const Resource*, std::size_t> data_entry;
    for (const auto& [type, list] : by_type)
        for (const Resource* r : list) {
            data_entry[r] = offset;
            offset += data_entry_size;
        }

    std::string out;
    auto directory = [&](std::size_t at, std::size_t id_entries) {
        put32(out, at, 0);       // characteristics
        put32(out, at + 4, 0);   // time stamp
        put16(out, at + 8, 0);   // version
        put16(out, at + 10, 0);
        put16(out, at + 12, 0);  // named entries
        put16(out, at + 14, static_cast<std::uint16_t>(id_entries));
    };
    constexpr std::uint32_t subdirectory = 0x80000000;

    directory(0, by_type.size());
    std::size_t entry = directory_size;
    for (const auto& [type, list] : by_type) {
        put32(out, entry, type);
        put32(out, entry + 4, subdirectory | static_cast<std::uint32_t>(type_directory[type]));
        entry += entry_size;
        directory(type_directory[type], list.size());
        std::size_t name_entry = type_directory[type] + directory_size;
        for (const Resource* r : list) {
            put32(out, name_entry, r->id);
            put32(out, name_entry + 4, subdirectory | static_cast<std::uint32_t>(language_directory[r]));
            name_entry += entry_size;
            directory(language_directory[r], 1);
            put32(out, language_directory[r] + directory_size, language);
            put32(out, language_directory[r] + directory_size + 4, static_cast<std::uint32_t>(data_entry[r]));
        }
    }
    out.resize(offset, '\0');
    for (const auto& [type, list] : by_type)
        for (const Resource* r : list) {
            pad_to(out, resource_data_alignment);
            const std::size_t at = out.size();
            out += r->data;
            put32(out, data_entry[r], rva + static_cast<std::uint32_t>(at));
            put32(out, data_entry[r] + 4, static_cast<std::uint32_t>(r->data.size()));
            put32(out, data_entry[r] + 8, 0);   // code page
            put32(out, data_entry[r] + 12, 0);  // reserved
            if (map && type == rt_version) {
                map->version = at;  // made absolute by the caller
                map->version_size = r->data.size();
            }
        }
    return out;
}

// The export directory at `rva` for functions at `function_rvas`: the address table
// in the recipe's order, the name table sorted so that the loader can search it.
std::string export_section(const ImageRecipe& recipe, const std::vector<std::uint32_t>& function_rvas,
                           std::uint32_t rva) {
    const std::size_t count = recipe.exports.size();
    std::vector<std::size_t> by_name(count);
    for (std::size_t i = 0; i < count; ++i) by_name[i] = i;
    std::sort(by_name.begin(), by_name.end(),
              [&](std::size_t a, std::size_t b) { return recipe.exports[a] < recipe.exports[b]; });
    for (std::size_t i = 1; i < count; ++i)
        if (recipe.exports[by_name[i]] == recipe.exports[by_name[i - 1]])
            throw std::invalid_argument("export named twice: " + recipe.exports[by_name[i]]);

    const std::size_t directory_size = 40;
    const std::size_t functions = directory_size;
    const std::size_t names = functions + 4 * count;
    const std::size_t ordinals = names + 4 * count;
    std::size_t strings = ordinals + 2 * count;

    std::string out;
    out.resize(strings, '\0');
    const std::string dll_name = recipe.module_name + ".DLL";
    const std::size_t dll_name_at = out.size();
    out += dll_name;
    out += '\0';
    std::vector<std::size_t> name_at(count);
    for (std::size_t i = 0; i < count; ++i) {
        name_at[i] = out.size();
        out += recipe.exports[by_name[i]];
        out += '\0';
    }

    put32(out, 0, 0);           // characteristics
    put32(out, 4, PeHeaders{}.time_date_stamp);  // the headers' own time stamp
    put16(out, 8, 0);
    put16(out, 10, 0);
    put32(out, 12, rva + static_cast<std::uint32_t>(dll_name_at));
    put32(out, 16, 1);  // ordinal base
    put32(out, 20, static_cast<std::uint32_t>(count));
    put32(out, 24, static_cast<std::uint32_t>(count));
    put32(out, 28, rva + static_cast<std::uint32_t>(functions));
    put32(out, 32, rva + static_cast<std::uint32_t>(names));
    put32(out, 36, rva + static_cast<std::uint32_t>(ordinals));
    for (std::size_t i = 0; i < count; ++i) {
        put32(out, functions + 4 * i, function_rvas[i]);
        put32(out, names + 4 * i, rva + static_cast<std::uint32_t>(name_at[i]));
        put16(out, ordinals + 2 * i, static_cast<std::uint16_t>(by_name[i]));
    }
    return out;
}

std::string build_pe(const ImageRecipe& recipe, ImageMap* map) {
    PeHeaders headers;
    headers.plus = recipe.kind == ImageKind::pe32_plus;
    headers.characteristics = headers.plus ? pe32_plus_exe_characteristics : pe32_exe_characteristics;
    if (recipe.dll) headers.characteristics |= file_dll;

    // Code: the entry point first, then one function per export. A DLL's entry point
    // answers TRUE to every notification; a program's returns from its thread, which
    // ends the process. The functions all return 0.
    std::string code;
    if (recipe.dll && !headers.plus)
        code = std::string("\xB8\x01\x00\x00\x00\xC2\x0C\x00", 8);  // mov eax, 1; ret 12
    else if (recipe.dll)
        code = std::string("\xB8\x01\x00\x00\x00\xC3", 6);  // mov eax, 1; ret
    else
        code = std::string("\x31\xC0\xC3", 3);  // xor eax, eax; ret
    std::vector<std::size_t> function_offsets;
    for (std::size_t i = 0; i < recipe.exports.size(); ++i) {
        pad_to(code, 16);
        function_offsets.push_back(code.size());
        code += std::string("\x31\xC0\xC3", 3);  // xor eax, eax; ret
    }

    std::vector<Resource> resources = resources_of(recipe);
    std::vector<Section> sections;
    sections.push_back({".text", code, section_code});
    if (!recipe.exports.empty()) sections.push_back({".edata", {}, section_data});
    if (!resources.empty()) sections.push_back({".rsrc", {}, section_data});

    const PeLayout layout = pe_layout(headers, sections.size());
    // Sections follow one another; their sizes are known before their contents only
    // for code, so each gets its address when the one before it is done.
    std::uint32_t rva = headers.section_alignment;
    std::uint32_t raw = static_cast<std::uint32_t>(layout.size_of_headers);
    std::uint32_t export_rva = 0, export_size = 0, resource_rva = 0, resource_size = 0;
    for (Section& section : sections) {
        section.rva = rva;
        section.raw_pointer = raw;
        if (section.name == ".edata") {
            std::vector<std::uint32_t> function_rvas;
            for (std::size_t offset : function_offsets)
                function_rvas.push_back(sections[0].rva + static_cast<std::uint32_t>(offset));
            section.data = export_section(recipe, function_rvas, rva);
            export_rva = rva;
            export_size = static_cast<std::uint32_t>(section.data.size());
            if (map) map->exports = raw;
        } else if (section.name == ".rsrc") {
            section.data = resource_section(resources, recipe.language, rva, map);
            resource_rva = rva;
            resource_size = static_cast<std::uint32_t>(section.data.size());
            if (map) {
                map->resources = raw;
                map->resources_size = align_up(section.data.size(), headers.file_alignment);
                if (map->version_size) map->version += raw;
            }
        }
        rva = static_cast<std::uint32_t>(align_up(rva + section.data.size(), headers.section_alignment));
        raw += static_cast<std::uint32_t>(align_up(section.data.size(), headers.file_alignment));
    }

    std::string image = pe(headers);
    image.resize(layout.size_of_headers, '\0');
    const std::size_t coff = layout.coff_header;
    const std::size_t opt = layout.optional_header;
    put16(image, coff + 2, static_cast<std::uint16_t>(sections.size()));

    std::uint32_t size_of_code = 0, size_of_data = 0;
    for (const Section& section : sections) {
        std::uint32_t raw_size = static_cast<std::uint32_t>(align_up(section.data.size(), headers.file_alignment));
        (section.characteristics == section_code ? size_of_code : size_of_data) += raw_size;
    }
    put32(image, opt + 4, size_of_code);
    put32(image, opt + 8, size_of_data);
    put32(image, opt + 16, sections[0].rva);  // entry point
    put32(image, opt + 20, sections[0].rva);  // base of code
    if (!headers.plus) put32(image, opt + 24, sections.size() > 1 ? sections[1].rva : rva);  // base of data
    put32(image, opt + optional_size_of_image_offset, rva);
    put32(image, opt + optional_size_of_headers_offset, static_cast<std::uint32_t>(layout.size_of_headers));

    const std::size_t directories = layout.optional_header + layout.optional_header_size - data_directory_count * 8;
    put32(image, directories + 0, export_rva);
    put32(image, directories + 4, export_size);
    put32(image, directories + 16, resource_rva);
    put32(image, directories + 20, resource_size);

    std::size_t header = layout.section_table;
    for (const Section& section : sections) {
        std::string name = section.name;
        name.resize(8, '\0');
        put_bytes(image, header, name);
        put32(image, header + 8, static_cast<std::uint32_t>(section.data.size()));
        put32(image, header + 12, section.rva);
        put32(image, header + 16, static_cast<std::uint32_t>(align_up(section.data.size(), headers.file_alignment)));
        put32(image, header + 20, section.raw_pointer);
        put32(image, header + 24, 0);  // relocations
        put32(image, header + 28, 0);  // line numbers
        put16(image, header + 32, 0);
        put16(image, header + 34, 0);
        put32(image, header + 36, section.characteristics);
        header += section_header_size;
    }
    for (const Section& section : sections) {
        put_bytes(image, section.raw_pointer, section.data);
        image.resize(align_up(image.size(), headers.file_alignment), '\0');
    }
    return image;
}

// ---- NE ---------------------------------------------------------------------------

// Resources are placed on 16-byte units; lengths are kept in the same units, as the
// 16-bit loader multiplies both by the shift.
constexpr unsigned ne_alignment_shift = 4;

std::string build_ne(const ImageRecipe& recipe, ImageMap* map) {
    if (!recipe.exports.empty()) throw std::invalid_argument("NE images are made without exports");
    if (recipe.module_name.size() > 0xFF) throw std::invalid_argument("NE module name over 255 characters");
    std::vector<Resource> resources = resources_of(recipe);

    std::map<std::uint16_t, std::vector<const Resource*>> by_type;
    for (const Resource& r : resources) by_type[r.type].push_back(&r);

    const std::size_t header_at = new_header_offset();
    const std::size_t segment_table = ne_header_size;  // no segments
    const std::size_t resource_table = segment_table;
    std::size_t resource_table_size = 0;
    if (!resources.empty()) {
        resource_table_size = 2 + 2 + 1;  // shift, end of types, end of names
        for (const auto& [type, list] : by_type) resource_table_size += 8 + 12 * list.size();
    }
    const std::string resident = name_table(recipe.module_name);
    const std::size_t resident_names = resource_table + resource_table_size;
    const std::size_t module_references = resident_names + resident.size();
    const std::size_t imported_names = module_references;
    const std::size_t entry_table = imported_names + 1;
    const std::size_t entry_table_size = 1;
    const std::size_t non_resident = entry_table + entry_table_size;
    const std::string title = name_table(recipe.module_name);

    std::string header;
    put_bytes(header, 0x00, "NE");
    put8(header, 0x02, 5);
    put8(header, 0x03, 10);
    put16(header, 0x04, static_cast<std::uint16_t>(entry_table));
    put16(header, 0x06, static_cast<std::uint16_t>(entry_table_size));
    put32(header, 0x08, 0);
    put8(header, 0x0C, 0);  // no automatic data segment
    put8(header, 0x0D, static_cast<std::uint8_t>(0x03 | (recipe.dll ? 0x80 : 0x00)));  // windowing API; library
    put16(header, 0x10, 0);
    put16(header, 0x12, recipe.dll ? 0 : 0x2000);
    put16(header, 0x20, static_cast<std::uint16_t>(title.size()));
    put16(header, 0x22, static_cast<std::uint16_t>(segment_table));
    put16(header, 0x24, static_cast<std::uint16_t>(resource_table));
    put16(header, 0x26, static_cast<std::uint16_t>(resident_names));
    put16(header, 0x28, static_cast<std::uint16_t>(module_references));
    put16(header, 0x2A, static_cast<std::uint16_t>(imported_names));
    put32(header, 0x2C, static_cast<std::uint32_t>(header_at + non_resident));
    put16(header, 0x32, static_cast<std::uint16_t>(ne_alignment_shift));
    put8(header, ne_target_os_offset, ne_os_windows);
    put16(header, 0x3E, 0x030A);
    header.resize(ne_header_size, '\0');
    header.resize(non_resident, '\0');
    put_bytes(header, resident_names, resident);
    put8(header, imported_names, 0);
    put8(header, entry_table, 0);
    put_bytes(header, non_resident, title);

    std::string image = with_new_header(header);
    if (!resources.empty()) {
        const std::size_t unit = std::size_t{1} << ne_alignment_shift;
        std::size_t table = header_at + resource_table;
        put16(image, table, static_cast<std::uint16_t>(ne_alignment_shift));
        std::size_t entry = table + 2;
        for (const auto& [type, list] : by_type) {
            put16(image, entry, static_cast<std::uint16_t>(0x8000 | type));
            put16(image, entry + 2, static_cast<std::uint16_t>(list.size()));
            put32(image, entry + 4, 0);
            entry += 8;
            for (const Resource* r : list) {
                image.resize(align_up(image.size(), unit), '\0');
                const std::size_t at = image.size();
                image += r->data;
                image.resize(align_up(image.size(), unit), '\0');
                const std::size_t units = (image.size() - at) >> ne_alignment_shift;
                if ((at >> ne_alignment_shift) > 0xFFFF || units > 0xFFFF)
                    throw std::invalid_argument("NE resource beyond what 16-bit offsets reach");
                put16(image, entry, static_cast<std::uint16_t>(at >> ne_alignment_shift));
                put16(image, entry + 2, static_cast<std::uint16_t>(units));
                put16(image, entry + 4, 0x1030);  // moveable, shareable, discardable
                put16(image, entry + 6, static_cast<std::uint16_t>(0x8000 | r->id));
                put32(image, entry + 8, 0);
                entry += 12;
                if (map && r->type == rt_version) {
                    map->version = at;
                    map->version_size = r->data.size();
                }
            }
        }
        put16(image, entry, 0);     // end of types
        put8(image, entry + 2, 0);  // end of names
        if (map) {
            map->resources = table;
            map->resources_size = resource_table_size;
        }
    }
    return image;
}

}  // namespace

std::string Translation::key() const {
    char text[9];
    std::snprintf(text, sizeof text, "%04X%04X", static_cast<unsigned>(language), static_cast<unsigned>(code_page));
    return text;
}

std::string version_resource(const VersionInfo& info, ImageKind kind, bool dll) {
    VersionNode root{"VS_VERSION_INFO", fixed_file_info(info, kind, dll), false, {}};
    if (!info.string_tables.empty()) {
        VersionNode string_info{"StringFileInfo", {}, false, {}};
        for (const VersionStrings& table : info.string_tables) {
            VersionNode node{table.translation.key(), {}, false, {}};
            for (const auto& [name, value] : table.values) node.children.push_back({name, value, true, {}});
            string_info.children.push_back(std::move(node));
        }
        root.children.push_back(std::move(string_info));
    }
    if (!info.translations.empty()) {
        std::string value;
        for (const Translation& t : info.translations) {
            std::size_t at = value.size();
            put16(value, at, t.language);
            put16(value, at + 2, t.code_page);
        }
        VersionNode var_info{"VarFileInfo", {}, false, {{"Translation", value, false, {}}}};
        root.children.push_back(std::move(var_info));
    }
    std::string out;
    write_node(out, root, kind != ImageKind::ne);
    return out;
}

std::string build_image(const ImageRecipe& recipe, ImageMap* map) {
    if (map) *map = ImageMap{};
    return recipe.kind == ImageKind::ne ? build_ne(recipe, map) : build_pe(recipe, map);
}

}  // namespace mkimage
