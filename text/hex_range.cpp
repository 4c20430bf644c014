// The sentence said after a refused 16-digit hexadecimal number: its range in hexadecimal.
#include "text/hex_range.h"

#include "common/err.h"
#include "common/hex.h"

namespace {

Tr errfmt_hex64_range{TR_TEXT("parser",
                              "В шестнадцатиричной записи: от 0000000000000000 до %1 (цифры 0-9 и буквы A-F).")};

}  // namespace

QString hex64_range_text(quint64 max)
{
    Buf_hex64 digits;
    return errfmt_hex64_range.tr().arg(digits.set(max));
}
