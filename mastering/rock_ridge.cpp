#include "mastering/rock_ridge.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "format/ecma119.h"
#include "format/rock_ridge.h"
#include "mastering/writer.h"
#include "platform/endian.h"

namespace {

using Field = std::vector<uint8_t>;

Field field(const char* signature, size_t length)
{
    Field f(length, 0);
    f[susp::signature] = uint8_t(signature[0]);
    f[susp::signature + 1] = uint8_t(signature[1]);
    f[susp::length] = uint8_t(length);
    f[susp::version] = 1;
    return f;
}

bool is_root(const EntryTable& table, const SourceEntry* e)
{
    return e == table.root;
}

// CL or PL: a directory's location.
Field location_field(const char* signature, size_t length, uint32_t location)
{
    Field f = field(signature, length);
    put_both32(f.data() + rrip::location, location);
    return f;
}

uint32_t type_of(const PosixAttributes& a)
{
    return a.mode & rrip::type_mask;
}

// The mode as the image gives it: with rationalised attributes, read for
// everyone, execute (search) for everyone where anyone had it, no write, no
// set-id or sticky bit.
uint32_t image_mode(const PosixAttributes& a, const RockRidgeOptions& options)
{
    if (!options.rationalised)
        return a.mode;
    return type_of(a) | 0444u | ((a.mode & 0111u) ? 0111u : 0u);
}

void add_px(std::vector<Field>& fields, const PosixAttributes& a, const RockRidgeOptions& options)
{
    Field f = field("PX", rrip::px_length);
    put_both32(f.data() + rrip::px_mode, image_mode(a, options));
    put_both32(f.data() + rrip::px_links, a.image_links);
    put_both32(f.data() + rrip::px_owner, options.rationalised ? 0 : a.owner);
    put_both32(f.data() + rrip::px_group, options.rationalised ? 0 : a.group);
    fields.push_back(std::move(f));
}

// Modification, access and attribute change, in the 7-byte form.
void add_tf(std::vector<Field>& fields, const RecordDate& modified, const RecordDate& accessed,
            const RecordDate& changed)
{
    Field f = field("TF", susp::header_length + 1 + 3 * sizeof(RecordDate::bytes));
    f[rrip::tf_flags] = rrip::tf_modify | rrip::tf_access | rrip::tf_attributes;
    uint8_t* at = f.data() + susp::header_length + 1;
    for (const RecordDate* date : {&modified, &accessed, &changed}) {
        std::memcpy(at, date->bytes, sizeof date->bytes);
        at += sizeof date->bytes;
    }
    fields.push_back(std::move(f));
}

// The name in NM fields of at most 255 bytes each.
void add_nm(std::vector<Field>& fields, const char* name)
{
    const size_t length = std::strlen(name);
    constexpr size_t most = 255 - rrip::nm_header_length;
    size_t at = 0;
    do {
        const size_t n = length - at < most ? length - at : most;
        Field f = field("NM", rrip::nm_header_length + n);
        f[rrip::nm_flags] = at + n < length ? rrip::nm_continue : 0;
        std::memcpy(f.data() + rrip::nm_header_length, name + at, n);
        fields.push_back(std::move(f));
        at += n;
    } while (at < length);
}

// The link's target as component records, in SL fields of at most 255
// bytes; a component longer than a field holds goes on in the next record.
void add_sl(std::vector<Field>& fields, const std::string& target)
{
    std::vector<Field> components;
    size_t at = 0;
    if (!target.empty() && target[0] == '/') {
        components.push_back({rrip::component_root, 0});
        at = 1;
    }
    constexpr size_t most_content = 255 - rrip::sl_header_length - 2;
    while (at <= target.size()) {
        size_t end = target.find('/', at);
        if (end == std::string::npos)
            end = target.size();
        const std::string part = target.substr(at, end - at);
        if (part == ".")
            components.push_back({rrip::component_current, 0});
        else if (part == "..")
            components.push_back({rrip::component_parent, 0});
        else if (!part.empty())
            for (size_t from = 0; from < part.size(); from += most_content) {
                const size_t n = part.size() - from < most_content ? part.size() - from : most_content;
                Field c{uint8_t(from + n < part.size() ? rrip::component_continue : 0), uint8_t(n)};
                c.insert(c.end(), part.begin() + long(from), part.begin() + long(from + n));
                components.push_back(std::move(c));
            }
        at = end + 1;
    }
    Field f;
    auto finish = [&](bool more) {
        f[susp::length] = uint8_t(f.size());
        f[rrip::sl_flags] = more ? rrip::sl_continue : 0;
        fields.push_back(std::move(f));
    };
    for (const Field& c : components) {
        if (!f.empty() && f.size() + c.size() > 255)
            finish(true);
        if (f.empty())
            f = field("SL", rrip::sl_header_length);
        f.insert(f.end(), c.begin(), c.end());
    }
    if (f.empty())
        f = field("SL", rrip::sl_header_length);
    finish(false);
}

void add_pn(std::vector<Field>& fields, uint64_t device)
{
    Field f = field("PN", rrip::pn_length);
    put_both32(f.data() + rrip::pn_high, uint32_t(device >> 32));
    put_both32(f.data() + rrip::pn_low, uint32_t(device));
    fields.push_back(std::move(f));
}

Field sp_field()
{
    Field f = field("SP", susp::sp_length);
    f[susp::data] = susp::sp_check_first;
    f[susp::data + 1] = susp::sp_check_second;
    return f;
}

Field er_field()
{
    const size_t id = sizeof rrip::identifier_1991a - 1, descriptor = sizeof rrip::descriptor_1991a - 1,
                 source = sizeof rrip::source_1991a - 1;
    Field f = field("ER", susp::er_header_length + id + descriptor + source);
    f[4] = uint8_t(id);
    f[5] = uint8_t(descriptor);
    f[6] = uint8_t(source);
    f[7] = 1;
    uint8_t* at = f.data() + susp::er_header_length;
    std::memcpy(at, rrip::identifier_1991a, id);
    std::memcpy(at + id, rrip::descriptor_1991a, descriptor);
    std::memcpy(at + id + descriptor, rrip::source_1991a, source);
    return f;
}

Field ce_field(uint32_t block, uint32_t offset, uint32_t length)
{
    Field f = field("CE", susp::ce_length);
    put_both32(f.data() + susp::ce_block, block);
    put_both32(f.data() + susp::ce_offset, offset);
    put_both32(f.data() + susp::ce_area_length, length);
    return f;
}

// The fields of a record of e, and those that always go to the
// continuation area (the root's ER). Their lengths never depend on what the
// layout decides, so the layout and the write split them alike.
void fields_of(const EntryTable& table, const SourceEntry* e, RecordRole role, const RockRidgeOptions& options,
               std::vector<Field>& fields, std::vector<Field>& continued)
{
    // The relocation's fields come first, so that they always stay in the
    // record: their locations are known only once the extents are.
    const SourceEntry* own = e;
    if (role == RecordRole::moved_dot_dot) {  // the real parent's record
        own = e->posix->real_parent;
        fields.push_back(location_field("PL", rrip::pl_length, own->extent[primary_tree]));
    } else if (role == RecordRole::in_parent && e->posix->stands_for) {
        fields.push_back(location_field("CL", rrip::cl_length, e->posix->stands_for->extent[primary_tree]));
    } else if (role == RecordRole::in_parent && e->posix->real_parent) {
        fields.push_back(field("RE", rrip::re_length));
    }
    const PosixAttributes& a = *own->posix;
    const bool root = is_root(table, own) || own == table.moved_folder;
    if (is_root(table, e) && role == RecordRole::dot) {
        fields.push_back(sp_field());
        continued.push_back(er_field());
    }
    add_px(fields, a, options);
    if (root)  // made by the build: dated like the root's records
        add_tf(fields, own->recording_date, own->recording_date, own->recording_date);
    else
        add_tf(fields, a.modified, a.accessed, a.changed);
    if (role != RecordRole::in_parent)
        return;
    add_nm(fields, a.name ? a.name : "");
    if (a.link_target)
        add_sl(fields, a.link_target);
    const uint32_t type = type_of(a);
    if (type == rrip::type_block || type == rrip::type_character)
        add_pn(fields, a.device);
}

struct Split {
    size_t in_record = 0;  // fields that stay in the record
    bool continues = false;
};

// The fields that fit in the record's room; with any left over (or any that
// always go on), room is kept for the CE that leads to them.
Split split(const std::vector<Field>& fields, const std::vector<Field>& continued, uint32_t room)
{
    size_t total = 0;
    for (const Field& f : fields)
        total += f.size();
    Split s;
    if (continued.empty() && total <= room) {
        s.in_record = fields.size();
        return s;
    }
    s.continues = true;
    size_t used = 0;
    while (s.in_record < fields.size() && used + fields[s.in_record].size() + susp::ce_length <= room)
        used += fields[s.in_record++].size();
    return s;
}

// The room of a record's System Use area: the record stays within 254
// bytes, so that the pad byte that keeps its length even still fits.
uint32_t room_of(uint32_t base_length)
{
    return base_length < 254 ? 254 - base_length : 0;
}

uint32_t base_length(const SourceEntry* e, RecordRole role)
{
    return role == RecordRole::in_parent ? directory_record_length(e->identifier_length[primary_tree])
                                         : dot_record_length;
}

// The root is made by the build: a folder everyone may read and enter.
void give_root_attributes(EntryTable& table)
{
    if (table.root->posix)
        return;
    PosixAttributes* a = keep_posix_attributes(table);
    a->mode = rrip::type_directory | 0755u;
    table.root->posix = a;
}

}  // namespace

bool relocate_deep_directories(EntryTable& table)
{
    table.primary_order.clear();
    table.primary_only.clear();
    table.moved_folder = nullptr;
    bool deep = false;
    uint32_t directories = 0;
    for (uint32_t i = 0; i < table.count; ++i)
        if (table.entries[i]->directory) {
            deep = deep || table.entries[i]->depth > rrip::deepest_level;
            ++directories;
        }
    if (!deep)
        return true;
    if (directories + 1 > max_directories)  // no number left for the folder
        return false;
    give_root_attributes(table);
    // The folder the deep directories move to, at the root: hidden from
    // Linux's listings by its name, empty there (RE hides what it holds).
    auto folder = std::make_unique<SourceEntry>();
    SourceEntry* moved = folder.get();
    moved->directory = table.root->directory;
    moved->depth = 2;
    moved->identifier[primary_tree] = moved->identifier[joliet_tree] =
        reinterpret_cast<uint8_t*>(const_cast<char*>(keep_text(table, "RR_MOVED")));
    moved->identifier_length[primary_tree] = 8;
    moved->sort_key = moved->source_path = "";
    moved->posix = keep_posix_attributes(table);
    moved->posix->mode = rrip::type_directory | 0755u;
    moved->posix->name = ".rr_moved";
    moved->posix->primary_depth = 2;
    table.moved_folder = moved;
    table.primary_only.push_back(std::move(folder));

    // The ISO 9660 tree's children of each folder, in table order; a
    // directory that would lie deeper than eight levels leaves an empty
    // record with CL in its place and goes to the relocation folder.
    std::unordered_map<const SourceEntry*, std::vector<SourceEntry*>> children;
    std::vector<SourceEntry*> relocated;
    std::vector<SourceEntry*> ancestors{table.root};  // the real ones
    table.root->posix->primary_depth = 1;
    for (uint32_t i = 1; i < table.count; ++i) {
        SourceEntry* e = table.entries[i];
        ancestors.resize(e->depth - 1u);
        SourceEntry* parent = ancestors.back();
        uint8_t depth = uint8_t(depth_in(parent, primary_tree) + 1);
        if (e->directory && depth > rrip::deepest_level) {
            auto place = std::make_unique<SourceEntry>(*e);
            place->directory = 0;
            place->data_length[primary_tree] = place->data_length[joliet_tree] = 0;
            place->identifier[primary_tree] = reinterpret_cast<uint8_t*>(
                const_cast<char*>(keep_text(table, reinterpret_cast<const char*>(e->identifier[primary_tree]),
                                            e->identifier_length[primary_tree])));
            place->posix = keep_posix_attributes(table);
            *place->posix = *e->posix;
            place->posix->stands_for = e;
            place->posix->primary_depth = depth;
            children[parent].push_back(place.get());
            table.primary_only.push_back(std::move(place));
            e->posix->real_parent = parent;
            relocated.push_back(e);
            children[moved].push_back(e);
            depth = 3;
        } else {
            children[parent].push_back(e);
        }
        e->posix->primary_depth = depth;
        if (e->directory)
            ancestors.push_back(e);
    }
    moved->posix->links = moved->posix->image_links = 2 + uint32_t(relocated.size());

    // Identifiers in the relocation folder: distinct, in identifier order.
    auto identifier_of = [](const SourceEntry* e) {
        return std::string(reinterpret_cast<const char*>(e->identifier[primary_tree]),
                           e->identifier_length[primary_tree]);
    };
    std::unordered_set<std::string> taken;
    for (SourceEntry* e : relocated) {
        std::string id = identifier_of(e);
        for (uint32_t n = 1; !taken.insert(id).second; ++n) {
            const std::string number = std::to_string(n);
            id = identifier_of(e).substr(0, 8 - std::min<size_t>(number.size(), 8)) + number;
        }
        if (id != identifier_of(e)) {
            uint8_t* room = identifier_room(table, e, primary_tree, id.size());
            std::memcpy(room, id.data(), id.size());
            e->identifier_length[primary_tree] = uint8_t(id.size());
        }
    }
    auto by_identifier = [&](const SourceEntry* a, const SourceEntry* b) {
        return identifier_of(a) < identifier_of(b);
    };
    std::vector<SourceEntry*>& in_moved = children[moved];
    std::sort(in_moved.begin(), in_moved.end(), by_identifier);
    std::vector<SourceEntry*>& at_root = children[table.root];
    at_root.insert(std::upper_bound(at_root.begin(), at_root.end(), moved, by_identifier), moved);

    // The tree's order: each directory followed by its subtree.
    std::vector<SourceEntry*> stack{table.root};
    while (!stack.empty()) {
        SourceEntry* e = stack.back();
        stack.pop_back();
        table.primary_order.push_back(e);
        auto found = children.find(e);
        if (found != children.end())
            stack.insert(stack.end(), found->second.rbegin(), found->second.rend());
    }
    return true;
}

uint32_t rock_ridge_mode(const PosixAttributes& a, const RockRidgeOptions& options)
{
    return image_mode(a, options);
}

void plan_hard_links(EntryTable& table)
{
    // The first of them in the order extents are given (level by level, in
    // table order) holds the data; the others share its extent.
    struct Key {
        uint64_t volume, object;
        bool operator==(const Key& o) const { return volume == o.volume && object == o.object; }
    };
    struct Hash {
        size_t operator()(const Key& k) const { return std::hash<uint64_t>()(k.volume * 1000003u ^ k.object); }
    };
    std::unordered_map<Key, SourceEntry*, Hash> owners;
    for (uint32_t level = 2; level <= table.max_depth; ++level)
        for (uint32_t i = 0; i < table.count; ++i) {
            SourceEntry* e = table.entries[i];
            if (e->depth != level || e->directory || !e->posix)
                continue;
            PosixAttributes& a = *e->posix;
            if (type_of(a) != rrip::type_file || a.links < 2 || (a.volume == 0 && a.object == 0))
                continue;
            auto [at, first] = owners.try_emplace(Key{a.volume, a.object}, e);
            if (first)
                continue;
            a.data_owner = at->second;
            at->second->posix->image_links += 1;
            e->sectors[primary_tree] = e->sectors[joliet_tree] = 0;
        }
    for (uint32_t i = 0; i < table.count; ++i) {
        PosixAttributes* a = table.entries[i]->posix;
        if (a && a->data_owner)
            a->image_links = a->data_owner->posix->image_links;
    }
}

void share_hard_link_extents(EntryTable& table)
{
    for (uint32_t i = 0; i < table.count; ++i) {
        SourceEntry* e = table.entries[i];
        if (e->posix && e->posix->data_owner)
            for (int tree : {primary_tree, joliet_tree})
                e->extent[tree] = e->posix->data_owner->extent[tree];
    }
}

void plan_system_use(EntryTable& table, RockRidgePlan& plan)
{
    plan.pieces.clear();
    plan.refusal.clear();
    give_root_attributes(table);
    // A directory's links: its "." and its parent's record, and the ".." of
    // each directory in it.
    for (uint32_t i = 0; i < table.count; ++i) {
        SourceEntry* d = table.entries[i];
        if (!d->directory || !d->posix)
            continue;
        uint32_t links = 2;
        for_each_child(table, i, [&](const SourceEntry* c) { links += c->directory ? 1 : 0; });
        d->posix->image_links = links;
    }
    std::vector<Field> fields, continued;
    for (SourceEntry* e : tree_entries(table, primary_tree)) {
        if (!e->posix)
            continue;
        for (RecordRole role :
             {RecordRole::in_parent, RecordRole::dot, RecordRole::dot_dot, RecordRole::moved_dot_dot}) {
            if (role == RecordRole::in_parent && is_root(table, e))
                continue;
            if (role != RecordRole::in_parent && !e->directory)
                continue;
            if (role == RecordRole::moved_dot_dot && !e->posix->real_parent)
                continue;
            fields.clear();
            continued.clear();
            fields_of(table, e, role, plan.options, fields, continued);
            const uint32_t base = base_length(e, role);
            const Split s = split(fields, continued, room_of(base));
            uint32_t in_record = s.continues ? uint32_t(susp::ce_length) : 0;
            for (size_t k = 0; k < s.in_record; ++k)
                in_record += uint32_t(fields[k].size());
            e->posix->inline_length[size_t(role)] = uint8_t(in_record + (in_record & 1));
            if (!s.continues)
                continue;
            // The rest, in pieces of at most a sector, each but the last
            // ending in the CE of the next.
            e->posix->continuation[size_t(role)] = int32_t(plan.pieces.size());
            std::vector<Field> rest(fields.begin() + long(s.in_record), fields.end());
            rest.insert(rest.end(), continued.begin(), continued.end());
            int pieces = 0;
            for (size_t k = 0; k < rest.size();) {
                ContinuationPiece piece;
                while (k < rest.size() &&
                       piece.bytes.size() + rest[k].size() + (k + 1 < rest.size() ? susp::ce_length : 0) <=
                           sector_size) {
                    piece.bytes.insert(piece.bytes.end(), rest[k].begin(), rest[k].end());
                    ++k;
                }
                piece.continues = k < rest.size();
                if (piece.continues)
                    piece.bytes.resize(piece.bytes.size() + susp::ce_length);
                plan.pieces.push_back(std::move(piece));
                if (++pieces > susp::max_continuations && plan.refusal.empty())
                    plan.refusal = std::string(e->source_path) + ": its Rock Ridge fields need more than " +
                                   std::to_string(susp::max_continuations) + " continuation areas";
            }
        }
    }
}

void place_continuations(RockRidgePlan& plan, uint32_t area_start)
{
    plan.area_start = area_start;
    uint32_t block = 0, offset = 0;
    for (ContinuationPiece& piece : plan.pieces) {
        if (offset + piece.bytes.size() > sector_size) {
            ++block;
            offset = 0;
        }
        piece.block = area_start + block;
        piece.offset = offset;
        offset += uint32_t(piece.bytes.size());
    }
    plan.area_sectors = plan.pieces.empty() ? 0 : block + 1;
    for (size_t k = 0; k + 1 < plan.pieces.size(); ++k) {
        ContinuationPiece& piece = plan.pieces[k];
        if (!piece.continues)
            continue;
        const ContinuationPiece& next = plan.pieces[k + 1];
        const Field ce = ce_field(next.block, next.offset, uint32_t(next.bytes.size()));
        std::memcpy(piece.bytes.data() + piece.bytes.size() - susp::ce_length, ce.data(), ce.size());
    }
}

uint32_t put_system_use(uint8_t* out, const EntryTable& table, const RockRidgePlan& plan, const SourceEntry* e,
                        RecordRole role)
{
    std::vector<Field> fields, continued;
    fields_of(table, e, role, plan.options, fields, continued);
    const Split s = split(fields, continued, room_of(base_length(e, role)));
    uint32_t n = 0;
    for (size_t k = 0; k < s.in_record; ++k) {
        std::memcpy(out + n, fields[k].data(), fields[k].size());
        n += uint32_t(fields[k].size());
    }
    if (s.continues) {
        const ContinuationPiece& first = plan.pieces[size_t(e->posix->continuation[size_t(role)])];
        const Field ce = ce_field(first.block, first.offset, uint32_t(first.bytes.size()));
        std::memcpy(out + n, ce.data(), ce.size());
        n += uint32_t(ce.size());
    }
    if (n & 1)
        out[n++] = 0;
    return n;
}

uint32_t record_length_with_system_use(const SourceEntry* e, RecordRole role, uint32_t identifier_length)
{
    return directory_record_length(identifier_length) + (e->posix ? e->posix->inline_length[size_t(role)] : 0);
}

void write_continuation_area(ImageWriter& writer, const RockRidgePlan& plan)
{
    std::vector<uint8_t> sector(sector_size, 0);
    uint32_t block = plan.area_start;
    for (const ContinuationPiece& piece : plan.pieces) {
        if (piece.block != block) {
            write_sector(writer, sector.data());
            std::fill(sector.begin(), sector.end(), 0);
            block = piece.block;
        }
        std::memcpy(sector.data() + piece.offset, piece.bytes.data(), piece.bytes.size());
    }
    if (!plan.pieces.empty())
        write_sector(writer, sector.data());
}
