// The main window's own messages (each command's messages live with it), and
// the texts of the demo menus, the details view and the library.
#pragma once

#include "demo/details.h"
#include "library/texts.h"

namespace rewindor::text {

inline constexpr char kSettingsSaved[] = "Настройки сохранены успеш..";
// The resolution dialog, the details view and the repair without a demo named.
inline constexpr char kNoDemoNamed[] = "Демка не загр..";

// "Смотреть" after the demo named could not be read.
inline constexpr char kPlayUnreadable[] = "Эту демку прочесть не удалось: смотреть нечего. Выберите другую демку.";

// The edit commands' questions, asked before the demo is opened.
inline constexpr char kAskRemoveFades[] = "Удалитьfade to black?";
inline constexpr char kAskStripChat[] = "Убрать разгов.?";
inline constexpr char kAskConvertResolution[] = "Конвертировать разр. демки?";
inline constexpr char kAskTrimLoading[] = "Фик.demo?";
inline constexpr char kAskRepairDemo[] = "Починить демку?";

// The demo commands of the system menu and the right-click menus.
inline constexpr char kMenuDemoDetails[] = "Подробнее о демке...";
inline constexpr char kMenuRepairDemo[] = "Починить демку";

// The details view: one label a line, the value after it.
inline constexpr char kDetailsPlayingTime[] = "Время игры: ";
inline constexpr char kDetailsFrames[] = "Кадров: ";
inline constexpr char kDetailsServer[] = "Сервер: ";
inline constexpr char kDetailsMaxPlayers[] = "Макс. игроков: ";
inline constexpr char kDetailsRecorder[] = "Записал: ";
inline constexpr char kDetailsFinished[] = "Запись завершена: ";
inline constexpr char kDetailsResolution[] = "Разрешение: ";
inline constexpr char kDetailsRoster[] = "Игроки: ";             // the count, then one name a line
inline constexpr char kDetailsSteamIds[] = "Steam ID игроков:";  // then one player a line: the ID, the name
inline constexpr char kDetailsUnknown[] = "неизвестно";
inline constexpr char kDetailsYes[] = "да";
inline constexpr char kDetailsNo[] = "нет (не дописана)";
inline constexpr char kDetailsHltv[] = "HLTV";
inline constexpr char kDetailsNotADemo[] = "не демка";
inline constexpr char kDetailsBeingWritten[] = "нет, записывается";
inline constexpr DetailsWording kDetailsWording = {
    .playingTime = kDetailsPlayingTime,
    .frames = kDetailsFrames,
    .server = kDetailsServer,
    .maxPlayers = kDetailsMaxPlayers,
    .recorder = kDetailsRecorder,
    .finished = kDetailsFinished,
    .resolution = kDetailsResolution,
    .roster = kDetailsRoster,
    .countRoster = true,
    .steamIds = kDetailsSteamIds,
    .unknown = kDetailsUnknown,
    .yes = kDetailsYes,
    .no = kDetailsNo,
    .notADemo = kDetailsNotADemo,
    .beingWritten = kDetailsBeingWritten,
    .hltvRecorder = kDetailsHltv,
};

// The library's dialog: every demo of a folder in one table (its own texts in library/texts.h).
inline constexpr char kMenuLibrary[] = "Библиотека демок...";
inline constexpr char kLibraryCaption[] = "Библиотека демок";
// The caption with the folder listed: "Библиотека демок — <folder>".
inline constexpr char kLibraryCaptionFolder[] = " — ";
inline constexpr char kLibrarySubfolders[] = "С подпапками";
inline constexpr char kLibraryRepairUnfinished[] = "Починить недописанные";
inline constexpr char kLibraryShowInFolder[] = "Показать в папке";
inline constexpr char kLibraryFind[] = "Найти:";
// "Показать в папке" when Explorer cannot be started (ReportError).
inline constexpr char kCannotShowInFolder[] = "Нельзя открыть папку";
// The folder button, its menu and the tip of a row the filter found by a player.
inline constexpr char kLibraryFolderButton[] = "Папка...";
inline constexpr char kLibraryChooseFolder[] = "Выбрать папку...";
inline constexpr char kLibraryChooseFolderTitle[] = "Папка с демками";
inline constexpr char kLibraryMatchedPlayer[] = "Найден игрок: ";

}  // namespace rewindor::text
