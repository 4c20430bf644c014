// The sentence said after a refused 16-digit hexadecimal number (an EUI): its range in hexadecimal,
// so that nobody is left with a decimal maximum to convert.
#pragma once

#include <QString>
#include <QtGlobal>

// The range up to max, in the program's language.
QString hex64_range_text(quint64 max);
