// Hexadecimal helpers: the uppercase digit table, the per-thread 16-digit EUI buffers,
// and the value of one hexadecimal digit.
#pragma once

#include <QString>
#include <QtGlobal>

extern const char hex_table_uppercase[17];

// A QString of exactly 16 characters, rewritten in place with the digits of a 64-bit value.
class Buf_hex64 {
public:
    Buf_hex64();
    const QString& set(quint64 value);
    const QString& str() const { return text; }
    operator const QString&() const { return text; }

private:
    QString text;
};

// Confined by convention to the GUI thread and to the exchange thread respectively.
extern Buf_hex64 buf_hex64_gui;
extern Buf_hex64 buf_hex64_engine;

// "0"-"9", "a"-"f", "A"-"F" give their value and true; any other code unit gives false.
template <class T>
inline bool unhex(T ch, unsigned char& value)
{
    if (ch >= T('0') && ch <= T('9'))
        value = static_cast<unsigned char>(ch - T('0'));
    else if (ch >= T('a') && ch <= T('f'))
        value = static_cast<unsigned char>(ch - T('a') + 10);
    else if (ch >= T('A') && ch <= T('F'))
        value = static_cast<unsigned char>(ch - T('A') + 10);
    else
        return false;
    return true;
}
