// The configuration file holds the server password: a warning when others may read it.
#pragma once

#include <QString>

// Logs one warning when the file is readable by its group or by others; nothing is refused.
void warn_if_readable_by_others(const QString& file_name);
