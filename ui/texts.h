// The main window's own messages (each command's messages live with it).
#pragma once

namespace rewindor::text {

inline constexpr char kSettingsSaved[] = "Настройки сохранены успеш..";
inline constexpr char kNoDemoForResolution[] = "Демка не загр..";

}  // namespace rewindor::text
