// Control ids of the three settings windows, shared by the resource
// templates, the Win32 dialog code, the command line's store and the readers.
#pragma once

// Volume descriptor window (template PVDSVD).
namespace volume_ids {
inline constexpr int joliet = 128;
inline constexpr int system_primary = 132, system_joliet = 133;
inline constexpr int volume_primary = 135, volume_joliet = 136;
inline constexpr int volume_set_primary = 138, volume_set_joliet = 139;
inline constexpr int publisher_primary = 141, publisher_joliet = 142;
inline constexpr int preparer_primary = 144, preparer_joliet = 145;
inline constexpr int application_primary = 147, application_joliet = 148;
inline constexpr int copyright_primary = 150, copyright_joliet = 151;
inline constexpr int abstract_primary = 153, abstract_joliet = 154;
inline constexpr int bibliographic_primary = 156, bibliographic_joliet = 157;
inline constexpr int creation_date = 159, creation_zone = 160;
inline constexpr int modification_date = 162, modification_zone = 163;
inline constexpr int expiration_date = 165, expiration_zone = 166;
inline constexpr int effective_date = 168, effective_zone = 169;
}  // namespace volume_ids

// Boot window (template BRBC).
namespace boot_ids {
inline constexpr int enabled = 128;
inline constexpr int platform = 130;
inline constexpr int id_string = 132;
inline constexpr int media = 134;
inline constexpr int load_segment = 136;
inline constexpr int system_type = 138;
inline constexpr int sector_count = 140;
inline constexpr int choose_image = 141;
inline constexpr int image_path = 142;
}  // namespace boot_ids

// Directory record window (template DR).
namespace dir_record_ids {
inline constexpr int use_date = 128;
inline constexpr int date = 129;
inline constexpr int zone = 130;
}  // namespace dir_record_ids

// The string table ids (combo box items, status texts) are in
// resources/resource_ids.h, which the resource script reads too.
