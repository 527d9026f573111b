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
inline constexpr char kReasonEmptyFile[] = "Файл пуст.";
inline constexpr char kReasonNoMemory[] = "Не хватает памяти, чтобы прочесть файл целиком.";
inline constexpr char kReasonNotRegularFile[] =
    "Это не обычный файл (папка, устройство или канал), демкой он быть не может.";
inline constexpr char kReasonHardLinks[] =
    "У демки несколько имён (жёсткие ссылки); замена разделила бы их, поэтому демка оставлена как была.";
inline constexpr char kReasonReplacedMeanwhile[] =
    "Другая программа всё время подменяла демку, пока её открывали; попробуйте ещё раз.";
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

// The summary and the library's state for a demo that could not be
// read: the first text, ": ", then the reason (UnreadableReason).
inline constexpr char kDemoUnreadable[] = "Демку не прочесть";
// The system's reasons, in Russian, for the failures a read meets most.
inline constexpr char kReasonFileNotFound[] = "файла нет";
inline constexpr char kReasonPathNotFound[] = "нет такой папки";
inline constexpr char kReasonAccessDenied[] = "нет доступа к файлу";
inline constexpr char kReasonSharingViolation[] = "файл занят другой программой";
inline constexpr char kReasonBadName[] = "неверное имя файла";
inline constexpr char kReasonDeviceNotReady[] = "диск не готов";
inline constexpr char kReasonReadFault[] = "ошибка чтения с диска";
// Any other code of the system: "%d" is the code.
inline constexpr char kReasonSystemCode[] = "ошибка системы %d";

// The names beyond those listed (players, roster): "%d" is their number.
inline constexpr char kNamesNotListed[] = "и ещё %d";

// Edit commands.
inline constexpr char kCannotOpenDemoReason2[] = "Нельзя открыть demo-файл (reason 2)";
inline constexpr char kCannotWriteContent[] = "Нельзя записать контент в файл ";

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
inline constexpr char kNotADemo[] = "Демка не изменена: файл не начинается с подписи демки (HLDEMO), это не демка.";
inline constexpr char kZeroCurrentResolution[] =
    "Демка не изменена: её нынешнее разрешение неизвестно (ширина или высота 0).";
inline constexpr char kTrimNoBuildAnnouncement[] = "Демка не изменена: в ней нет объявления сборки.";
inline constexpr char kTrimNoLoadingSegment[] = "Демка не изменена: в ней нет отрезка загрузки.";
inline constexpr char kTrimAnnouncementTooEarly[] =
    "Демка не изменена: объявление сборки стоит слишком близко к началу, чтобы резать перед ним.";
inline constexpr char kTrimDirectoryDamaged[] =
    "Демка не изменена: её оглавление повреждено или не описывает отрезок загрузки.";
inline constexpr char kTrimPastLoadingSegment[] = "Демка не изменена: отрез зашёл бы за конец отрезка загрузки.";

inline constexpr char kWrongResolution[] =
    "Wrong resolution. Available resolutions are:\n1280x960\n1152x864\n1024x768\n800x600\n"
    "640x480\n512x384\n480x360\n400x300";

}  // namespace rewindor::text
