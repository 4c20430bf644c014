// Reading numbers typed into text fields, and the labelled text fields of the editing dialogs.
#include "ui/window_text.h"

#include "common/err.h"
#include "text/hex_range.h"
#include "ui/fonts.h"

#include <QChar>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

// Context "msgbox"; the names are the module's own (the file parser has its namesakes).
namespace {

Tr errfmt_no_param{TR_TEXT("msgbox", "Не указано значение параметра «%1».")};
Tr errfmt_not_dec{TR_TEXT("msgbox", "Значение параметра «%1» должно быть целым десятичным числом, не превышающим %2.")};
Tr errfmt_dec_too_big{TR_TEXT("msgbox", "Значение параметра «%1» не должно превышать %2.")};
Tr errfmt_dec_too_small{TR_TEXT("msgbox", "Значение параметра «%1» не должно быть меньше %2.")};
Tr errfmt_hex_bad_size{TR_TEXT("msgbox",
                               "Значение параметра «%1» должно быть шестнадцатизначным целым шестнадцатиричным "
                               "числом без знака (а вы ввели %2 символов).")};
Tr errfmt_not_hex{TR_TEXT("msgbox",
                          "Значение параметра «%1» должно быть целым шестнадцатиричным числом без знака, не "
                          "превышающим %2.")};
Tr errfmt_hex_too_big{TR_TEXT("msgbox", "Значение параметра «%1» не должно превышать 0x%2.")};

const int hex64_digits = 16;

Err param_error(Tr& format, const QString& name, unsigned long long number)
{
    return Err(format.tr().arg(name).arg(number));
}

}  // namespace

bool get_uint(QLineEdit* field, const QString& name, unsigned& value, unsigned max)
{
    const QString text = field->text();
    if (text.isEmpty())
        return false;
    bool ok = false;
    const unsigned number = text.toUInt(&ok, 10);
    if (!ok)
        throw param_error(errfmt_not_dec, name, max);
    if (number > max)
        throw param_error(errfmt_dec_too_big, name, max);
    value = number;
    return true;
}

bool get_uint(QLineEdit* field, const QString& name, unsigned& value, unsigned min, unsigned max)
{
    if (!get_uint(field, name, value, max))
        return false;
    if (value < min)
        throw param_error(errfmt_dec_too_small, name, min);
    return true;
}

unsigned req_uint(QLineEdit* field, const QString& name, unsigned max)
{
    unsigned value = 0;
    if (!get_uint(field, name, value, max))
        throw Err(errfmt_no_param.tr().arg(name));
    return value;
}

unsigned req_uint(QLineEdit* field, const QString& name, unsigned min, unsigned max)
{
    unsigned value = 0;
    if (!get_uint(field, name, value, min, max))
        throw Err(errfmt_no_param.tr().arg(name));
    return value;
}

bool get_hex64(QLineEdit* field, const QString& name, unsigned long long& value, unsigned long long max)
{
    const QString text = field->text();
    if (text.isEmpty())
        return false;
    if (text.size() != hex64_digits)
        throw param_error(errfmt_hex_bad_size, name, static_cast<unsigned long long>(text.size()));
    bool ok = false;
    const unsigned long long number = text.toULongLong(&ok, 16);
    if (!ok)
        throw Err(param_error(errfmt_not_hex, name, max).message() + QLatin1Char(' ') +
                  hex64_range_text(max));
    if (number > max)
        throw Err(errfmt_hex_too_big.tr().arg(name).arg(max, hex64_digits, 16, QLatin1Char('0')));
    value = number;
    return true;
}

unsigned long long req_hex64(QLineEdit* field, const QString& name, unsigned long long max)
{
    unsigned long long value = 0;
    if (!get_hex64(field, name, value, max))
        throw Err(errfmt_no_param.tr().arg(name));
    return value;
}

QLineEdit* add_field_row(QFormLayout& layout, const QString& caption, const QString& hint, const QString& text,
                         int max_length, QWidget* extra)
{
    auto* label = new QLabel(caption);
    label->setToolTip(hint);
    auto* field = new QLineEdit(text);
    if (max_length > 0)
        field->setMaxLength(max_length);
    field->setFont(font_value_big);
    field->setToolTip(hint);
    label->setBuddy(field);
    if (!extra) {
        layout.addRow(label, field);
        return field;
    }
    auto* row = new QHBoxLayout;
    row->addWidget(field);
    row->addWidget(extra);
    layout.addRow(label, row);
    return field;
}
