// Build identification of the program: the text that says what it is.
#include "core/build_info.h"

#include "common/err.h"

namespace {

Tr format_about{TR_TEXT(
    "QDialog", "%1, версия %2 (%3), сборка %4 %5\n\nЭта программа через соединение WebSocket подключается "
               "к серверу RUVO-LoRa, а к этой программе, но уже через соединения TCP, подключаются "
               "клиенты, желающие получить доступ к устройствам, подключенным через RS-232 или RS-485 к "
               "радиомодемам, доступным через этот сервер RUVO-LoRa.")};

}  // namespace

QString about_program()
{
    return QString(format_about.tr())
        .arg(QLatin1String(program_name), QLatin1String(program_version), release_date_text(),
             QLatin1String(build_date), QLatin1String(build_time));
}
