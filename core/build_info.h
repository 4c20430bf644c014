// Build identification of the program, shown in the log banner, titles and the About text.
#pragma once

#include <QCoreApplication>
#include <QString>

inline constexpr char program_name[] = "ruvo_bridge";
inline constexpr char program_version[] = "1.3.5";
inline constexpr char release_date[] = QT_TRANSLATE_NOOP("main", "2 февраля 2018");
inline constexpr char build_date[] = "Feb  2 2018";
inline constexpr char build_time[] = "12:01:06";

// The program's identification and purpose: the head of the About text and of the command-line help.
QString about_program();

// The release date in the language of the program's texts.
inline QString release_date_text()
{
    return QCoreApplication::translate("main", release_date);
}
