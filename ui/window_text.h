// Reading numbers typed into text fields, with the program's messages for every mistake,
// and the labelled text fields of the editing dialogs.
#pragma once

#include <QString>

class QFormLayout;
class QLineEdit;
class QWidget;

// A decimal number not above max; false for an empty field. Throws Err on anything else.
bool get_uint(QLineEdit* field, const QString& name, unsigned& value, unsigned max);
bool get_uint(QLineEdit* field, const QString& name, unsigned& value, unsigned min, unsigned max);
// As get_uint, and an empty field is an error too.
unsigned req_uint(QLineEdit* field, const QString& name, unsigned max);
unsigned req_uint(QLineEdit* field, const QString& name, unsigned min, unsigned max);

// Exactly 16 hexadecimal digits, not above max; false for an empty field. Throws Err on anything else.
bool get_hex64(QLineEdit* field, const QString& name, unsigned long long& value, unsigned long long max);
unsigned long long req_hex64(QLineEdit* field, const QString& name, unsigned long long max);

// Adds a row of a label and a text field (font_value_big, both with the tooltip) to the form,
// followed by the extra widget if there is one; max_length 0 leaves the length free. The form
// keeps the fields of all rows in one column.
QLineEdit* add_field_row(QFormLayout& layout, const QString& caption, const QString& hint, const QString& text,
                         int max_length, QWidget* extra = nullptr);
