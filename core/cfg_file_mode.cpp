// The configuration file holds the server password: a warning when others may read it.
#include "core/cfg_file_mode.h"

#include "common/err.h"

#include <QFileInfo>

namespace {

Tr errfmt_cfg_readable{TR_TEXT("log",
                               "Внимание: файл конфигурации «%1» с паролем для сервера RUVO-LoRa доступен для "
                               "чтения не только его владельцу. Закройте доступ к нему командой chmod 600 '%1'.")};

}  // namespace

void warn_if_readable_by_others(const QString& file_name)
{
    if (QFileInfo(file_name).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))
        log(QString(errfmt_cfg_readable.tr()).arg(file_name));
}
