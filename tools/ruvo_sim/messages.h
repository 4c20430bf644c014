// The texts the simulated server sends: answers, "rx" messages, noise, and deliberately broken messages.
#pragma once

#include "virtual_device.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

#include <optional>

QString json_text(const QJsonObject& object);

// An answer with "status" false, and the server's error text when there is one.
QString rejection(const QString& answer_cmd, const std::optional<QString>& err_string);

QString auth_accepted(const QString& login);
QString devlist_answer(const QVector<Virtual_device>& modems);
QString send_data_answer(const QJsonArray& append_status);
QJsonObject append_status_element(const QString& eui, bool status);

// An "rx" message as the server sends it for an uplink, with the radio details around the data.
QString rx_message(const QString& eui, int port, const QString& hex, quint32 fcnt);

// Unsolicited traffic that the program must ignore: step picks the kind, in turn.
QString noise_message(int step, const QVector<Virtual_device>& modems);

QString malformed_message();
QString trailing_message(const QString& tail);
QString duplicate_field_message();
QString nested_message(int depth);
