// A modem's units on the site port and its read cache time in the add and edit dialogs (their
// fields, read and checked) and in the device list (their columns).
#pragma once

#include "core/shared.h"

#include <QString>
#include <vector>

class QFormLayout;
class QLineEdit;

// Reads a list of units as typed, "11:1, 12, 13:2": unit ids separated by commas, each with the
// slave address after a colon when it differs from the id. Throws Err naming the field at the
// first mistake (a malformed entry, a number out of 1 to 247, an id given twice); ascending id.
std::vector<Site_unit> parse_units(const QString& text, const QString& name);
// The units as "11:1, 12:12" with the given separator between an id and its slave.
QString units_text(const std::vector<Site_unit>& units, const QString& separator);
// Throws the collision message when a modem other than own routes one of the unit ids.
void req_units_unused(const std::vector<Site_unit>& units, quint64 own);

// The labelled fields, added below the other rows, showing the given values.
QLineEdit* add_units_row(QFormLayout& layout, const std::vector<Site_unit>& shown);
QLineEdit* add_cache_row(QFormLayout& layout, quint32 shown);
// The field of add_units_row and of add_cache_row read and checked; an empty field gives no
// units and no cache. Throw Err at a mistake.
std::vector<Site_unit> read_units(const QLineEdit& field);
quint32 read_cache_ms(QLineEdit& field);

// The device list's columns: the units as "11→1, 12→12", the cache time, blank when there is none.
QString units_cell(const Device_in_cfg& device);
QString cache_cell(const Device_in_cfg& device);
const QString& caption_units_column();
const QString& caption_cache_column();
const QString& caption_units();
const QString& hint_units();
const QString& hint_cache();
