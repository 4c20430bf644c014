// The devices file: the modems to serve, read at start into the shared tables and rewritten after edits.
// A "unit" sentence routes a site port's unit id to a slave behind a modem named by a "device"
// sentence before it, as the program writes them: all devices first, then the units.
#include "core/devices_file.h"

#include "core/build_info.h"
#include "core/cfg.h"
#include "core/device_limits.h"
#include "core/shared.h"
#include "common/err.h"
#include "common/hex.h"
#include "common/qt_version.h"
#include "text/hex_range.h"
#include "text/utf8_parser.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <limits>
#include <sys/stat.h>

namespace {

Tr errtext_not_device{TR_TEXT("parser", "файл со списком устройств должен состоять только из предложений «device».")};
// Sentences and attributes added since the texts above were written, named in sentences of their own after them.
Tr errtext_not_device_added{TR_TEXT("parser", "Допустимы также предложения «unit».")};
Tr errtext_unknown_attribute{TR_TEXT("parser",
                                     "неизвестный атрибут объекта «device». Знаю только атрибуты «eui», «tcp_port» "
                                     "и «max_frame».")};
Tr errtext_unknown_attribute_added{TR_TEXT("parser", "Знаю также атрибуты «protocol» и «cache_ms».")};
Tr errtext_unknown_unit_attribute{TR_TEXT("parser",
                                          "неизвестный атрибут объекта «unit». Знаю только атрибуты «id», «eui» и "
                                          "«slave».")};
Tr errfmt_no_unit_attribute{TR_TEXT("parser",
                                    "в описании объекта «unit» отсутствует обязательный атрибут: «%1».")};
Tr errfmt_unit_without_device{TR_TEXT("parser",
                                      "устройство с eui=0x%1 не описано выше по тексту предложением «device»: "
                                      "предложение «unit» может ссылаться только на устройство, описанное до "
                                      "него.")};
Tr errfmt_site_port_taken{TR_TEXT("parser",
                                  "порт TCP %1 устройства с eui=0x%2 совпадает с общим портом Modbus TCP "
                                  "(параметр «modbus_site_port» файла конфигурации); у общего порта и у каждого "
                                  "устройства должен быть свой порт.")};
Tr errtext_bad_protocol{TR_TEXT("parser",
                                "неправильное значение атрибута «protocol»: знаю только значения «raw» и "
                                "«modbus_tcp».")};
Tr errfmt_hex_expected{TR_TEXT("parser", "ожидается %1-значное шестнадцатиричное число.")};
Tr errtext_comma_or_parenthesis{TR_TEXT("parser",
                                        "ожидается запятая, разделяющая атрибуты, или круглая скобка, завершающая "
                                        "список атрибутов.")};
Tr errtext_no_eui{TR_TEXT("parser", "в описании объекта «device» отсутствует обязательный атрибут: «eui».")};
Tr errtext_no_tcp_port{TR_TEXT("parser", "в описании объекта «device» отсутствует обязательный атрибут: «tcp_port».")};
Tr logtext_eui_again{TR_TEXT("parser",
                             "Файл со списком устройств («%1») несколько раз упоминает устройство с eui=0x%2. Все "
                             "упоминания кроме первого игнорируются.")};
Tr logtext_port_again{TR_TEXT("parser",
                              "Файл со списком устройств «%1» несколько раз упоминает один и тот же номер порта "
                              "TCP: %2. Все упоминания кроме первого игнорируются.")};
Tr logtext_unit_again{TR_TEXT("parser",
                              "Файл со списком устройств («%1») несколько раз упоминает номер устройства (unit id) "
                              "%2 общего порта Modbus TCP. Все упоминания кроме первого игнорируются.")};
Tr logtext_port_zero{TR_TEXT("parser",
                             "Файл со списком устройств («%1») задаёт для устройства с eui=0x%2 порт TCP 0. Порт 0 "
                             "не годится для подключения клиентов, поэтому это устройство не обслуживается; "
                             "укажите ему порт от 1 до 65535.")};
Tr errtext_cannot_begin{TR_TEXT("parser",
                                "Не удалось начать запись в файл списка устройств, подлежащих обслуживанию.")};
Tr errfmt_not_saved{TR_TEXT("parser",
                            "Не удалось записать файл списка устройств, подлежащих обслуживанию, «%1»: %2. Файл "
                            "остался прежним.")};
Tr title_devices_file{TR_TEXT("main",
                              "# Содержимое этого файла сформировано программой %1 %2.\n\n")};

const int eui_digits = 16;

// One "device(...)" sentence as read.
struct Sentence {
    quint64 eui = 0;
    Device_in_cfg device{0, 0};
    bool eui_seen = false;
    bool tcp_port_seen = false;
    bool max_frame_seen = false;
    bool protocol_seen = false;
    bool cache_ms_seen = false;
    Utf8_file_parser::Place tcp_port_at{};
};

// One "unit(...)" sentence as read.
struct Unit_sentence {
    quint64 eui = 0;
    Site_unit unit{0, 0};
    bool id_seen = false;
    bool eui_seen = false;
    bool slave_seen = false;
    Utf8_file_parser::Place eui_at{};
};

quint64 req_eui(Utf8_file_parser& p)
{
    quint64 eui = 0;
    for (int i = 0; i < eui_digits; ++i) {
        unsigned char digit;
        if (!unhex(p.position[i], digit))
            throw p.Error(errfmt_hex_expected.tr().arg(eui_digits) + QLatin1Char(' ') +
                          hex64_range_text(std::numeric_limits<quint64>::max()));
        eui = eui << 4 | digit;
    }
    p.position += eui_digits;
    return eui;
}

Port_protocol req_protocol(Utf8_file_parser& p)
{
    for (const Port_protocol_row& row : port_protocols)
        if (p.get_word(row.file_name))
            return row.protocol;
    throw p.Error(errtext_bad_protocol.tr());
}

void read_attribute(Utf8_file_parser& p, Sentence& s)
{
    if (p.is_assignment("eui", s.eui_seen)) {
        s.eui = req_eui(p);
    } else if (p.is_assignment("tcp_port", s.tcp_port_seen)) {
        s.tcp_port_at = p.place();
        s.device.tcp_port = static_cast<quint16>(p.req_dec<16>(max_tcp_port));
    } else if (p.is_assignment("max_frame", s.max_frame_seen)) {
        s.device.max_frame = static_cast<quint32>(p.req_dec<32>(min_max_frame, max_max_frame));
    } else if (p.is_assignment("protocol", s.protocol_seen)) {
        s.device.protocol = req_protocol(p);
    } else if (p.is_assignment("cache_ms", s.cache_ms_seen)) {
        s.device.cache_ms = static_cast<quint32>(p.req_dec<32>(max_cache_ms));
    } else {
        throw p.unknown_name_error(errtext_unknown_attribute.tr() + QLatin1Char(' ') + errtext_unknown_attribute_added.tr());
    }
}

quint8 req_unit_address(Utf8_file_parser& p)
{
    return static_cast<quint8>(p.req_dec<16>(min_unit_id, max_unit_id));
}

void read_attribute(Utf8_file_parser& p, Unit_sentence& s)
{
    if (p.is_assignment("id", s.id_seen)) {
        s.unit.id = req_unit_address(p);
    } else if (p.is_assignment("eui", s.eui_seen)) {
        s.eui_at = p.place();
        s.eui = req_eui(p);
    } else if (p.is_assignment("slave", s.slave_seen)) {
        s.unit.slave = req_unit_address(p);
    } else {
        throw p.unknown_name_error(errtext_unknown_unit_attribute.tr());
    }
}

// Attributes separated by commas, up to the closing parenthesis (left unread).
template <class Any_sentence>
void read_attributes(Utf8_file_parser& p, Any_sentence& s)
{
    for (;;) {
        read_attribute(p, s);
        p.skip_blank();
        if (*p.position != ',')
            break;
        ++p.position;
        p.skip_blank();
    }
    if (*p.position != ')')
        throw p.Error(errtext_comma_or_parenthesis.tr());
}

// After the sentence's word: its attribute list in parentheses, the position left after them.
template <class Any_sentence>
void read_attribute_list(Utf8_file_parser& p, Any_sentence& s)
{
    p.skip_blank();
    p.req_sym('(');
    p.skip_blank();
    if (*p.position != ')')
        read_attributes(p, s);
    ++p.position;
}

// The first sentence for an EUI or a port wins; later ones are logged and dropped.
void add_device(const Sentence& s, Devices_in_cfg& devices, Port_index& ports)
{
    if (devices.contains(s.eui)) {
        log(logtext_eui_again.tr().arg(devices_fname, buf_hex64_gui.set(s.eui)));
        return;
    }
    if (ports.contains(s.device.tcp_port)) {
        log(logtext_port_again.tr().arg(devices_fname, QString::number(s.device.tcp_port)));
        return;
    }
    ports.insert(s.device.tcp_port, devices.insert(s.eui, s.device));
    // Stored files may hold port 0: the modem is loaded, so the operator can give it a port,
    // and said once here why it is never served.
    if (!has_client_port(s.device))
        log(logtext_port_zero.tr().arg(devices_fname, buf_hex64_gui.set(s.eui)));
}

// The site port and the modems' ports are opened on the same address.
void req_not_site_port(Utf8_file_parser& p, const Sentence& s)
{
    if (modbus_site_port == 0 || s.device.tcp_port != modbus_site_port)
        return;
    p.go_back(s.tcp_port_at);
    throw p.Error(errfmt_site_port_taken.tr().arg(QString::number(s.device.tcp_port), buf_hex64_gui.set(s.eui)));
}

void read_device(Utf8_file_parser& p, Devices_in_cfg& devices, Port_index& ports)
{
    Sentence s;
    read_attribute_list(p, s);
    if (!s.eui_seen)
        throw p.Error(errtext_no_eui.tr());
    if (!s.tcp_port_seen)
        throw p.Error(errtext_no_tcp_port.tr());
    if (!s.max_frame_seen)
        s.device.max_frame = default_max_frame;
    req_not_site_port(p, s);
    add_device(s, devices, ports);
}

// The first sentence for a unit id wins, whichever modem it names; later ones are logged and dropped.
void add_unit(const Unit_sentence& s, Device_in_cfg& device, const Devices_in_cfg& devices)
{
    if (unit_owner(devices, s.unit.id) != devices.cend()) {
        log(logtext_unit_again.tr().arg(devices_fname, QString::number(s.unit.id)));
        return;
    }
    const auto after = std::upper_bound(device.units.begin(), device.units.end(), s.unit,
                                        [](const Site_unit& a, const Site_unit& b) { return a.id < b.id; });
    device.units.insert(after, s.unit);
}

void read_unit(Utf8_file_parser& p, Devices_in_cfg& devices)
{
    Unit_sentence s;
    read_attribute_list(p, s);
    if (!s.id_seen)
        throw p.Error(errfmt_no_unit_attribute.tr().arg(QLatin1String("id")));
    if (!s.eui_seen)
        throw p.Error(errfmt_no_unit_attribute.tr().arg(QLatin1String("eui")));
    if (!s.slave_seen)
        s.unit.slave = s.unit.id;
    const auto device = devices.find(s.eui);
    if (device == devices.end()) {
        p.go_back(s.eui_at);
        throw p.Error(errfmt_unit_without_device.tr().arg(buf_hex64_gui.set(s.eui)));
    }
    add_unit(s, *device, devices);
}

void read_sentence(Utf8_file_parser& p, Devices_in_cfg& devices, Port_index& ports)
{
    if (p.get_word("device"))
        read_device(p, devices, ports);
    else if (p.get_word("unit"))
        read_unit(p, devices);
    else
        throw p.Error(errtext_not_device.tr() + QLatin1Char(' ') + errtext_not_device_added.tr());
    p.skip_blank();
}

// The unit lines of the file: every modem's units, in ascending id.
void write_units(QTextStream& out)
{
    struct Route {
        quint64 eui;
        Site_unit unit;
    };
    // Unit id 0 is never routed: it marks an id no modem has.
    std::array<Route, max_unit_id + 1> by_id{};
    for (auto it = devices_in_cfg.cbegin(); it != devices_in_cfg.cend(); ++it)
        for (const Site_unit& unit : it->units)
            by_id[unit.id] = {it.key(), unit};
    for (const Route& route : by_id)
        if (route.unit.id != 0)
            out << "unit(id=" << unsigned(route.unit.id) << ", eui=" << buf_hex64_gui.set(route.eui)
                << ", slave=" << unsigned(route.unit.slave) << ")\n";
}

// Nothing but blanks after an optional byte order mark: no sentence, and no comment either.
bool is_blank(const QByteArray& text)
{
    static const QByteArray bom("\xEF\xBB\xBF");
    return (text.startsWith(bom) ? text.mid(bom.size()) : text).trimmed().isEmpty();
}

}  // namespace

bool read_devices_file(Devices_in_cfg& devices, Port_index& ports)
{
    devices.clear();
    ports.clear();
    Utf8_file_parser p(devices_fname);
    const bool blank = is_blank(p.text);
    p.skip_blank();
    while (*p.position)
        read_sentence(p, devices, ports);
    return !blank;
}

Devices_in_cfg::const_iterator unit_owner(const Devices_in_cfg& devices, quint8 id)
{
    return std::find_if(devices.cbegin(), devices.cend(), [id](const Device_in_cfg& device) {
        return std::any_of(device.units.cbegin(), device.units.cend(),
                           [id](const Site_unit& unit) { return unit.id == id; });
    });
}

Devices_file_stamp stamp_devices_file()
{
    Devices_file_stamp stamp;
    struct stat st;
    if (stat(QFile::encodeName(devices_fname).constData(), &st) != 0)
        return stamp;
    stamp.size = st.st_size;
    stamp.modified_ns = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.inode = st.st_ino;
    return stamp;
}

void load_devices_in_cfg()
{
    read_devices_file(devices_in_cfg, tcp_ports);
}

void save_devices_in_cfg()
{
    QSaveFile file(devices_fname);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        throw Err(errtext_cannot_begin.tr());
    QTextStream out(&file);
    set_utf8(out);
    out.setGenerateByteOrderMark(true);
    out << title_devices_file.tr().arg(QLatin1String(program_name), QLatin1String(program_version));
    for (auto it = devices_in_cfg.cbegin(); it != devices_in_cfg.cend(); ++it) {
        out << "device(eui=" << buf_hex64_gui.set(it.key()) << ", tcp_port=" << it->tcp_port
            << ", max_frame=" << it->max_frame;
        // Only a protocol other than the default is written, so older files stay as they were.
        if (it->protocol != default_port_protocol)
            out << ", protocol=" << port_protocol_row(it->protocol).file_name;
        if (it->cache_ms != 0)
            out << ", cache_ms=" << it->cache_ms;
        out << ")\n";
    }
    write_units(out);
    out.flush();
    // A failed write or commit leaves the old file in place; the change must not pass for saved.
    if (out.status() != QTextStream::Ok || !file.commit())
        throw Err(errfmt_not_saved.tr().arg(devices_fname, file.errorString()));
}
