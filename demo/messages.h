// The texts that the demo commands show, in UTF-8. The windows show them
// through the wide API, so they read correctly whatever the ANSI code page.
#pragma once

namespace rewindor::text {

inline constexpr char kProgramCaption[] = "Rewindor";
inline constexpr char kErrorCaption[] = "Error";

// Information reader.
inline constexpr char kCannotOpenDemo[] = "Нельзя открыть demo-файл";
inline constexpr char kCannotOpenDemoReason2Read[] = "Could not open demofile (reason 2)";
inline constexpr char kCannotReadIntoMemory[] = "Нельзя прочесть файл в память";

// Reasons shown after the fixed text where the system gives none.
inline constexpr char kReasonEmptyFile[] = "The file is empty.";
inline constexpr char kReasonNoMemory[] = "Not enough memory to hold the whole file.";
inline constexpr char kReasonNotRegularFile[] =
    "It is not a regular file (a folder, a device or a pipe), so it cannot be a demo.";
inline constexpr char kReasonHardLinks[] =
    "The demo has more than one name (hard links); replacing it would part them, so it is left as it is.";
inline constexpr char kReasonReplacedMeanwhile[] =
    "Another program kept replacing the demo while it was being opened; try again.";
// An edit or repair of a demo that another program has open for writing: what
// it writes after the edit would be lost. The edit's refusal, whether the
// writer was there first or came while the edit ran.
inline constexpr char kReasonBeingWritten[] =
    "Демку сейчас записывает другая программа (может быть, игра ещё пишет её). Демка не изменена: повторите, "
    "когда программа её закроет.";
// An edit of a demo that another program holds locked (reading or editing it)
// longer than the edit waits.
inline constexpr char kReasonInUse[] =
    "Демку сейчас читает или правит другая программа. Демка не изменена: повторите чуть позже.";

// The names beyond those listed (players, roster): "%d" is their number.
inline constexpr char kNamesNotListed[] = "и ещё %d";

// Edit commands.
inline constexpr char kCannotOpenDemoReason2[] = "Нельзя открыть demo-файл (reason 2)";
inline constexpr char kCannotWriteContent[] = "Нельзя записать контент в файл ";

inline constexpr char kAskRemoveFades[] = "Удалитьfade to black?";
inline constexpr char kAskStripChat[] = "Убрать разгов.?";
inline constexpr char kAskConvertResolution[] = "Конвертировать разр. демки?";
inline constexpr char kAskTrimLoading[] = "Фик.demo?";

inline constexpr char kFadesRemoved[] = "Fade to black удалено!";
inline constexpr char kMessagesStripped[] = "%d messages stripped.";
inline constexpr char kResolutionConverted[] = "Demo конверт.!.";
inline constexpr char kDemoTrimmed[] = "Demo фикс.!";

// An edit that found nothing to change: the demo is not written at all.
inline constexpr char kNoFadesFound[] = "Fade to black не найдено. Демка не изменена.";
inline constexpr char kNoSizeRecordsFound[] = "Разрешение для замены не найдено. Демка не изменена.";
inline constexpr char kNothingToTrim[] = "Demo уже закреп.: отрезать нечего. Демка не изменена.";

// Repair of a demo the game never finished. "%s" is the playing time (m:ss),
// the first "%d" the frames recovered, the second the bytes dropped at the end.
inline constexpr char kAskRepairDemo[] = "Починить демку?";
inline constexpr char kDemoRepaired[] = "Демка починена! Время: %s, кадров: %d, отрезано в конце: %d байт.";
inline constexpr char kDemoNotBroken[] = "Демка цела, чинить нечего.";
// Added to kDemoRepaired when frames with a damaged time were kept with a
// mended one; "%d" is their number.
inline constexpr char kFrameTimesMended[] = " Исправлено времён кадров: %d.";
inline constexpr char kRepairNotADemo[] = "Это не демка Half-Life (протокол 5): починить нельзя. Демка не изменена.";
inline constexpr char kRepairCutInLoading[] =
    "Демка оборвана ещё на загрузке: смотреть в ней нечего, починить нельзя. Демка не изменена.";
inline constexpr char kRepairNoGame[] = "В демке нет ни одного кадра игры: починить нельзя. Демка не изменена.";
inline constexpr char kRepairTooLarge[] = "Демка больше 2 ГБ: починить нельзя. Демка не изменена.";

// Refusals: the edit would damage the demo, so the file is left as it was.
inline constexpr char kNotADemo[] =
    "The demo was not changed: the file does not start with the demo signature (HLDEMO), so it is no demo.";
inline constexpr char kZeroCurrentResolution[] =
    "The demo was not changed: its current resolution is not known (a width or height of 0).";
inline constexpr char kTrimNoBuildAnnouncement[] = "The demo was not changed: it holds no build announcement.";
inline constexpr char kTrimNoLoadingSegment[] = "The demo was not changed: it holds no loading segment.";
inline constexpr char kTrimAnnouncementTooEarly[] =
    "The demo was not changed: its build announcement lies too close to the start to cut before it.";
inline constexpr char kTrimDirectoryDamaged[] =
    "The demo was not changed: its directory is damaged or does not describe the loading segment.";
inline constexpr char kTrimPastLoadingSegment[] =
    "The demo was not changed: the cut would reach past the end of the loading segment.";

inline constexpr char kWrongResolution[] =
    "Wrong resolution. Available resolutions are:\n1280x960\n1152x864\n1024x768\n800x600\n"
    "640x480\n512x384\n480x360\n400x300";

}  // namespace rewindor::text
