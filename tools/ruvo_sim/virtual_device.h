// The virtual modems: their description on the command line and the device each one has attached.
#pragma once

#include "modbus.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

enum class Device_kind { echo, modbus, silent };

// One modem as given by EUI:KIND[:NAME]; a modem without a name has no "devName" in the device list.
struct Modem_desc {
    quint64 eui = 0;
    Device_kind kind = Device_kind::echo;
    quint8 modbus_address = 1;
    std::optional<QString> name;
};

// Reads EUI:KIND[:NAME] (KIND echo, modbus, modbus@ADDR or silent; the name may hold colons);
// on failure returns none and sets the reason.
std::optional<Modem_desc> parse_modem_desc(const QString& text, QString& reason);

// Reads a comma-separated list of modem descriptions.
std::optional<QVector<Modem_desc>> parse_modem_list(const QString& text, QString& reason);

// True when every character is a hexadecimal digit of either case (also for an empty text).
bool is_hex_text(const QString& text);

// Reads exactly 16 hexadecimal digits of either case.
std::optional<quint64> parse_eui(const QString& text);

// The EUI as the server writes it: 16 uppercase hexadecimal digits.
QString eui_text(quint64 eui);

class Virtual_device {
public:
    Virtual_device(const Modem_desc& desc, int modbus_registers);

    const Modem_desc& desc() const { return modem; }

    // What the attached device sends back through the modem's serial port; none when it keeps silent.
    std::optional<QByteArray> answer(const QByteArray& message);

    // The modem's uplink frame counter, one step per radio packet sent.
    quint32 next_fcnt() { return fcnt++; }

private:
    Modem_desc modem;
    Modbus_slave slave;
    quint32 fcnt;
};
