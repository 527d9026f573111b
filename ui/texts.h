// The main window's own messages (each command's messages live with it), and
// the texts of the demo menus and the details view.
#pragma once

#include "demo/details.h"

namespace rewindor::text {

inline constexpr char kSettingsSaved[] = "Настройки сохранены успеш..";
// The resolution dialog, the details view and the repair without a demo named.
inline constexpr char kNoDemoNamed[] = "Демка не загр..";

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
inline constexpr char kDetailsRoster[] = "Игроки: ";  // the count, then one name a line
inline constexpr char kDetailsUnknown[] = "неизвестно";
inline constexpr char kDetailsYes[] = "да";
inline constexpr char kDetailsNo[] = "нет (не дописана)";
inline constexpr char kDetailsHltv[] = "HLTV";
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
    .unknown = kDetailsUnknown,
    .yes = kDetailsYes,
    .no = kDetailsNo,
    .hltvRecorder = kDetailsHltv,
};

}  // namespace rewindor::text
