// Virtual modems and their devices: an echo device, a Modbus RTU slave, or a device that never answers.
#include "virtual_device.h"

#include <QStringList>

#include <algorithm>

namespace {

std::optional<Device_kind> parse_kind(const QString& word, quint8& modbus_address, QString& reason)
{
    if (word == QLatin1String("echo"))
        return Device_kind::echo;
    if (word == QLatin1String("silent"))
        return Device_kind::silent;
    if (word == QLatin1String("modbus"))
        return Device_kind::modbus;
    if (word.startsWith(QLatin1String("modbus@"))) {
        bool ok = false;
        const uint address = word.mid(7).toUInt(&ok);
        if (ok && address >= 1 && address <= 247) {
            modbus_address = quint8(address);
            return Device_kind::modbus;
        }
        reason = QStringLiteral("a Modbus slave address is 1 to 247: %1").arg(word);
        return std::nullopt;
    }
    reason = QStringLiteral("unknown device kind (echo, modbus, modbus@ADDR, silent): %1").arg(word);
    return std::nullopt;
}

} // namespace

bool is_hex_text(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

std::optional<quint64> parse_eui(const QString& text)
{
    if (text.size() != 16 || !is_hex_text(text))
        return std::nullopt;
    return text.toULongLong(nullptr, 16);
}

QString eui_text(quint64 eui)
{
    return QStringLiteral("%1").arg(eui, 16, 16, QLatin1Char('0')).toUpper();
}

std::optional<Modem_desc> parse_modem_desc(const QString& text, QString& reason)
{
    const QStringList parts = text.trimmed().split(':');
    Modem_desc desc;
    const std::optional<quint64> eui = parse_eui(parts[0]);
    if (!eui) {
        reason = QStringLiteral("an EUI is 16 hexadecimal digits: %1").arg(parts[0]);
        return std::nullopt;
    }
    desc.eui = *eui;
    if (parts.size() < 2) {
        reason = QStringLiteral("a modem is EUI:KIND[:NAME]: %1").arg(text);
        return std::nullopt;
    }
    const std::optional<Device_kind> kind = parse_kind(parts[1], desc.modbus_address, reason);
    if (!kind)
        return std::nullopt;
    desc.kind = *kind;
    if (parts.size() > 2)
        desc.name = parts.mid(2).join(':');
    return desc;
}

std::optional<QVector<Modem_desc>> parse_modem_list(const QString& text, QString& reason)
{
    QVector<Modem_desc> list;
    for (const QString& item : text.split(',', Qt::SkipEmptyParts)) {
        const std::optional<Modem_desc> desc = parse_modem_desc(item, reason);
        if (!desc)
            return std::nullopt;
        list.append(*desc);
    }
    return list;
}

Virtual_device::Virtual_device(const Modem_desc& desc, int modbus_registers)
    : modem(desc), slave(desc.modbus_address, modbus_registers), fcnt(0)
{
}

std::optional<QByteArray> Virtual_device::answer(const QByteArray& message)
{
    switch (modem.kind) {
    case Device_kind::echo:
        if (message.isEmpty())
            return std::nullopt;
        return message;
    case Device_kind::modbus:
        return slave.answer(message);
    case Device_kind::silent:
        break;
    }
    return std::nullopt;
}
