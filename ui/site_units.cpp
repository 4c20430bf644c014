// A modem's units on the site port and its read cache time in the add and edit dialogs and in
// the device list.
#include "ui/site_units.h"

#include "common/err.h"
#include "common/hex.h"
#include "core/device_limits.h"
#include "core/devices_file.h"
#include "ui/window_text.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QStringList>
#include <algorithm>

namespace {

Tr caption_units_text{TR_TEXT("add_device", "Номера устройств на общем порту")};
Tr caption_cache_text{TR_TEXT("add_device", "Кэш ответов на чтение, мс")};
Tr short_caption_units{TR_TEXT("devices", "Номера\nустройств")};
Tr short_caption_cache{TR_TEXT("devices", "Кэш,\nмс")};
Tr hint_units_text{TR_TEXT("add_device",
                           "Номера устройств (unit id) через запятую, по которым общий порт\n"
                           "Modbus TCP (параметр modbus_site_port файла конфигурации)\n"
                           "направляет запросы устройствам за этим радиомодемом. Номер - от 1\n"
                           "до 247; если адрес устройства Modbus RTU за радиомодемом другой,\n"
                           "он пишется после номера через двоеточие (тоже от 1 до 247),\n"
                           "например «11:1, 12:2, 13». Номер не может повторяться ни у этого,\n"
                           "ни у другого радиомодема. Ответ клиенту приходит с тем номером,\n"
                           "который клиент спросил.\n"
                           "\n"
                           "Пусто - общий порт не обращается к этому радиомодему; его\n"
                           "собственный порт работает в любом случае.")};
Tr hint_cache_text{TR_TEXT("add_device",
                           "Сколько миллисекунд после ответа устройства на чтение (функции\n"
                           "Modbus 1-4) такое же чтение получает ответ из памяти программы,\n"
                           "не занимая радиоэфир. От 0 до 3600000; 0 или пусто - ответы не\n"
                           "запоминаются. Любой другой запрос к устройству (например, запись)\n"
                           "сбрасывает запомненные ответы этого устройства.\n"
                           "\n"
                           "Годится только для значений, которые меняются медленнее этого\n"
                           "времени (показания счётчиков, уставки); для быстро меняющихся\n"
                           "значений и аварийных сигналов оставьте 0.")};
Tr errfmt_bad_unit_entry{TR_TEXT("add_device",
                                 "Неправильный элемент «%1» в значении параметра «%2»: ожидается номер "
                                 "устройства или номер и адрес через двоеточие (например, «11» или «11:1»).")};
Tr errfmt_unit_out_of_range{TR_TEXT("add_device",
                                    "Номера и адреса устройств в значении параметра «%1» должны быть от 1 до 247 "
                                    "(а указано %2).")};
Tr errfmt_unit_twice{TR_TEXT("add_device", "Номер устройства %1 указан в значении параметра «%2» дважды.")};
Tr errfmt_unit_collision{TR_TEXT("add_device",
                                 "Номер устройства %1 уже занят (устройством за радиомодемом 0x%2 из списка "
                                 "радиомодемов, подлежащих обслуживанию).")};

const QString field_separator = QStringLiteral(":");
const QString cell_separator = QStringLiteral("\u2192");

bool is_decimal(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

quint8 req_unit_number(const QString& text, const QString& entry, const QString& name)
{
    if (!is_decimal(text))
        throw Err(errfmt_bad_unit_entry.tr().arg(entry, name));
    bool fits = false;
    const uint number = text.toUInt(&fits);
    if (!fits || number < min_unit_id || number > max_unit_id)
        throw Err(errfmt_unit_out_of_range.tr().arg(name, text));
    return static_cast<quint8>(number);
}

// "11" or "11:1", blanks around either number allowed.
Site_unit req_unit(const QString& entry, const QString& name)
{
    const QStringList parts = entry.split(field_separator);
    if (parts.size() > 2)
        throw Err(errfmt_bad_unit_entry.tr().arg(entry, name));
    const quint8 id = req_unit_number(parts[0].trimmed(), entry, name);
    return {id, parts.size() == 2 ? req_unit_number(parts[1].trimmed(), entry, name) : id};
}

}  // namespace

std::vector<Site_unit> parse_units(const QString& text, const QString& name)
{
    std::vector<Site_unit> units;
    for (const QString& entry : text.split(QLatin1Char(','))) {
        if (entry.trimmed().isEmpty())
            continue;
        const Site_unit unit = req_unit(entry.trimmed(), name);
        const auto place = std::lower_bound(units.begin(), units.end(), unit,
                                            [](const Site_unit& a, const Site_unit& b) { return a.id < b.id; });
        if (place != units.end() && place->id == unit.id)
            throw Err(errfmt_unit_twice.tr().arg(unsigned(unit.id)).arg(name));
        units.insert(place, unit);
    }
    return units;
}

QString units_text(const std::vector<Site_unit>& units, const QString& separator)
{
    QStringList entries;
    for (const Site_unit& unit : units)
        entries << QString::number(unit.id) + separator + QString::number(unit.slave);
    return entries.join(QStringLiteral(", "));
}

void req_units_unused(const std::vector<Site_unit>& units, quint64 own)
{
    for (const Site_unit& unit : units) {
        const auto owner = unit_owner(devices_in_cfg, unit.id);
        if (owner != devices_in_cfg.cend() && owner.key() != own)
            throw Err(errfmt_unit_collision.tr().arg(unsigned(unit.id)).arg(buf_hex64_gui.set(owner.key())));
    }
}

QLineEdit* add_units_row(QFormLayout& layout, const std::vector<Site_unit>& shown)
{
    return add_field_row(layout, caption_units(), hint_units(), units_text(shown, field_separator), 0);
}

QLineEdit* add_cache_row(QFormLayout& layout, quint32 shown)
{
    return add_field_row(layout, caption_cache_text.tr(), hint_cache(), QString::number(shown), 7);
}

std::vector<Site_unit> read_units(const QLineEdit& field)
{
    return parse_units(field.text(), caption_units());
}

quint32 read_cache_ms(QLineEdit& field)
{
    unsigned value = 0;
    get_uint(&field, caption_cache_text.tr(), value, max_cache_ms);
    return value;
}

QString units_cell(const Device_in_cfg& device)
{
    return units_text(device.units, cell_separator);
}

QString cache_cell(const Device_in_cfg& device)
{
    return device.cache_ms ? QString::number(device.cache_ms) : QString();
}

const QString& caption_units_column()
{
    return short_caption_units.tr();
}

const QString& caption_cache_column()
{
    return short_caption_cache.tr();
}

const QString& caption_units()
{
    return caption_units_text.tr();
}

const QString& hint_units()
{
    return hint_units_text.tr();
}

const QString& hint_cache()
{
    return hint_cache_text.tr();
}
