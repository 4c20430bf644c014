// Hexadecimal helpers: the uppercase digit table and the per-thread 16-digit EUI buffers.
#include "common/hex.h"

const char hex_table_uppercase[17] = "0123456789ABCDEF";

Buf_hex64 buf_hex64_gui;
Buf_hex64 buf_hex64_engine;

Buf_hex64::Buf_hex64() : text(16, QLatin1Char(' ')) {}

const QString& Buf_hex64::set(quint64 value)
{
    // data() detaches a shared or static string first, so copies taken earlier keep their text.
    QChar* digits = text.data();
    for (int i = 15; i >= 0; --i) {
        digits[i] = QLatin1Char(hex_table_uppercase[value & 0x0F]);
        value >>= 4;
    }
    return text;
}
