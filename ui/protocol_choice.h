// The choice of a modem port's protocol in the add and edit dialogs, and its column in the
// device list.
#pragma once

#include "core/shared.h"

class QFormLayout;
class QComboBox;

// Adds the labelled choice below the other rows, showing the given protocol.
QComboBox* add_protocol_row(QFormLayout& layout, Port_protocol shown);
Port_protocol chosen_protocol(const QComboBox& choice);

// The protocol as the device list shows it.
const QString& protocol_caption(Port_protocol protocol);
const QString& caption_protocol_column();
const QString& hint_protocol();
