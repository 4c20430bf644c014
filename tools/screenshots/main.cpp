// Renders the main window in each link state, the About and exit dialogs and the editing
// dialogs to PNG files, in Russian or English, so that the layout can be looked at with the
// fonts of a real display.
#include "core/cfg.h"
#include "app/language.h"
#include "core/shared.h"
#include "common/err.h"
#include "link/ws_connection.h"
#include "tcp/tcp_server.h"
#include "ui/dialog_about.h"
#include "ui/dialog_add_device.h"
#include "ui/dialog_devices.h"
#include "ui/dialog_edit_device.h"
#include "ui/dialog_exit.h"
#include "ui/dialog_modems.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QDir>
#include <QMutexLocker>
#include <QThread>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

QString out_dir;
const quint64 first_eui = 0x70B3D5499000;

bool save(QWidget& widget, const char* name)
{
    widget.show();
    QCoreApplication::processEvents();
    const QString file = out_dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
    if (widget.grab().save(file))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
}

void set_link(unsigned char flags, int servers, quint32 clients)
{
    QMutexLocker lock(&cfg_mutex);
    ws_flags = flags;
    tcp_servers.clear();
    for (int i = 0; i < servers; ++i)
        tcp_servers.insert(first_eui + i, nullptr);
    clients_number = clients;
}

// The window in one link state, with counters that show the widest values a person may meet.
bool save_window_state(Main_window& window, unsigned char flags, const char* name)
{
    set_link(flags, 12, 3);
    window.on_servers_changed();
    return save(window, name);
}

// The server reports the first ten configured modems and two more; the first four are served
// by real TCP servers (on free ports), so the device list shows its ticks.
std::vector<std::unique_ptr<Tcp_server>> go_online(Ws_connection& connection)
{
    std::vector<std::unique_ptr<Tcp_server>> servers;
    QMutexLocker lock(&cfg_mutex);
    ws_flags = WS_ONLINE;
    devices_on_lora.clear();
    for (quint64 eui = first_eui; eui < first_eui + 10; ++eui)
        devices_on_lora.append({eui, QStringLiteral("Счётчик воды, подъезд %1").arg(eui - first_eui + 1)});
    devices_on_lora.append({first_eui + 0x100, QStringLiteral("Контроллер котельной")});
    devices_on_lora.append({first_eui + 0x101, QString()});
    tcp_servers.clear();
    for (quint64 eui = first_eui; eui < first_eui + 4; ++eui) {
        servers.emplace_back(new Tcp_server(connection, eui, Device_in_cfg{51, 0}));
        tcp_servers.insert(eui, servers.back().get());
    }
    return servers;
}

bool save_editing_dialogs(QThread& exchange_thread)
{
    Ws_connection connection(exchange_thread);
    auto servers = go_online(connection);
    Dialog_devices devices(nullptr);
    bool ok = save(devices, "dialog_devices");
    Dialog_add_device add(nullptr);
    ok = ok && save(add, "dialog_add_device");
    Dialog_edit_device edit(first_eui, devices_in_cfg.find(first_eui), nullptr);
    ok = ok && save(edit, "dialog_edit_device");
    Dialog_modems modems(nullptr);
    ok = ok && save(modems, "dialog_modems");
    QMutexLocker lock(&cfg_mutex);
    tcp_servers.clear();
    devices_on_lora.clear();
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    out_dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    // A second argument names the language of the texts, "en" or "ru".
    if (argc > 2 && !use_language(QString::fromLatin1(argv[2]))) {
        std::fprintf(stderr, "cannot load the translation %s\n", argv[2]);
        return 1;
    }
    if (!QDir().mkpath(out_dir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out_dir));
        return 1;
    }
    const QByteArray log_name = (out_dir + QStringLiteral("/screenshots.log")).toUtf8();
    log_fname = log_name.constData();
    // Every third modem serves Modbus TCP, so that both protocols show.
    for (quint64 eui = first_eui; eui < first_eui + 15; ++eui) {
        const Port_protocol protocol = (eui - first_eui) % 3 == 2 ? Port_protocol::modbus_tcp : Port_protocol::raw;
        auto entry = devices_in_cfg.insert(eui, {51, quint16(3000 + (eui & 0xFF)), protocol});
        tcp_ports.insert(entry->tcp_port, entry);
    }

    QThread exchange_thread;
    bool ok;
    {
        Main_window window(exchange_thread);
        ok = save_window_state(window, 0, "main_window_offline") &&
             save_window_state(window, WS_STARTING, "main_window_starting") &&
             save_window_state(window, WS_ONLINE, "main_window_online");
        Dialog_about about(&window);
        ok = ok && save(about, "dialog_about");
        Dialog_exit exit(&window, exchange_thread);
        ok = ok && save(exit, "dialog_exit");
    }
    set_link(0, 0, 0);
    ok = ok && save_editing_dialogs(exchange_thread);
    return ok ? 0 : 1;
}
