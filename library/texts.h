// The library's own texts: its columns, a demo's state, the status line, the
// sizes and the repair's result. The dialog's texts are in ui/texts.h.
#pragma once

namespace rewindor::text {

// The columns, in their order.
inline constexpr char kLibraryColumnFile[] = "Демка";
inline constexpr char kLibraryColumnMap[] = "Карта";
inline constexpr char kLibraryColumnTime[] = "Время";
inline constexpr char kLibraryColumnPlayers[] = "Игроков";
inline constexpr char kLibraryColumnServer[] = "Сервер";
inline constexpr char kLibraryColumnRecorder[] = "Записал";
inline constexpr char kLibraryColumnModified[] = "Записана";
inline constexpr char kLibraryColumnSize[] = "Размер";
inline constexpr char kLibraryColumnState[] = "Состояние";
inline constexpr char kLibraryColumnFolder[] = "Папка";
// A demo's state; a demo that cannot be read shows its read error instead.
inline constexpr char kLibraryFinished[] = "дописана";
inline constexpr char kLibraryUnfinished[] = "не дописана";
inline constexpr char kLibraryNotADemo[] = "не демка";
inline constexpr char kLibraryBeingWritten[] = "записывается";
// "%d" stands for the numbers, in this order.
inline constexpr char kLibraryShown[] = "%d из %d";
inline constexpr char kLibraryProgress[] = "Прочитано %d из %d";
inline constexpr char kLibraryUnreadableFolders[] = "Папок не прочитано: %d";
// Sizes: bytes below a kilobyte, then one decimal (a comma, as Russian writes it).
inline constexpr char kSizeBytes[] = " Б";
inline constexpr char kSizeKilobytes[] = " КБ";
inline constexpr char kSizeMegabytes[] = " МБ";
inline constexpr char kSizeGigabytes[] = " ГБ";
// "Починить недописанные": one question, then one result box.
inline constexpr char kLibraryNothingToRepair[] = "Недописанных демок среди показанных нет.";
inline constexpr char kLibraryAskRepair[] = "Недописанных демок: %d. Починить их?";
inline constexpr char kLibraryRepaired[] = "Починено: %d";
inline constexpr char kLibraryNotRepaired[] = "Не починено: %d";
inline constexpr char kLibraryMoreLines[] = "...и ещё %d";

}  // namespace rewindor::text
