// Running unattended: SIGTERM and SIGINT end the program in order, SIGHUP reloads the devices
// file as an edit in the device list would, and systemd hears of readiness, state and stopping.
#include "app/service_control.h"

#include "core/cfg.h"
#include "core/devices_file.h"
#include "core/link_state.h"
#include "app/engine.h"
#include "core/shared.h"
#include "app/startup.h"
#include "common/descriptors.h"
#include "common/err.h"
#include "link/ws_connection.h"
#include "ui/dialog_devices.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QMetaObject>
#include <QMutexLocker>
#include <QTimer>

namespace {

Tr logtext_descriptor_shortage{TR_TEXT("log",
                                       "Предел числа открытых файлов процесса (%1) меньше, чем может понадобиться "
                                       "для %2 устройств из списка (%3: слушающий сокет и клиент на каждое, и "
                                       "запас для самой программы). Порты будут открыты не более чем для %4 "
                                       "устройств, а клиенты сверх предела не будут приняты. Поднимите предел "
                                       "(LimitNOFILE= в службе systemd, ulimit -n) и перезапустите программу.")};
Tr logtext_devices_reloaded{TR_TEXT("log", "Файл со списком устройств «%1» перечитан: устройств в списке %2.")};
Tr logtext_devices_not_reloaded{TR_TEXT("log",
                                        "Файл со списком устройств не перечитан, действует прежний список "
                                        "устройств.")};
Tr caption_status{TR_TEXT("main",
                          "Связь с сервером RUVO-LoRa: %1. Устройств в списке: %2, доступно: %3, занято клиентами: "
                          "%4.")};

// A reload waits while a dialog that holds entries of the table (add, edit, delete) is open.
const int reload_retry_ms = 250;

// The link state in the window's word, and the counters.
QString status_text()
{
    QMutexLocker lock(&cfg_mutex);
    return caption_status.tr().arg(link_state_word(link_state(ws_flags)), QString::number(devices_in_cfg.size()),
                                   QString::number(tcp_servers.size()), QString::number(clients_number));
}

// The link reconciles its TCP servers with the new table, as after an edit in the device list.
void ask_link_to_update_servers()
{
    QMutexLocker lock(&cfg_mutex);
    if (Ws_connection::instance)
        QMetaObject::invokeMethod(Ws_connection::instance, "update_servers", Qt::QueuedConnection);
}

}  // namespace

void check_descriptor_limit()
{
    const quint64 modems = static_cast<quint64>(devices_in_cfg.size());
    const quint64 limit = descriptor_limit();
    if (limit >= descriptors_needed(modems))
        return;
    log(logtext_descriptor_shortage.tr().arg(QString::number(limit), QString::number(modems),
                                             QString::number(descriptors_needed(modems)),
                                             QString::number(listeners_within_descriptor_limit())));
}

Service_control::Service_control(Engine& engine, Main_window& window) : engine(engine), window(window)
{
    connect(&os, &Os_service::exit_requested, this, &Service_control::on_os_exit_requested);
    connect(&os, &Os_service::reload_requested, this, &Service_control::on_os_reload_requested);
    connect(&window, &Main_window::state_shown, this, &Service_control::on_window_state_shown);
    connect(&window, &Main_window::shutdown, this, &Service_control::on_window_shutdown);
    notify_status(status_text());
    notify_ready();
}

// Ends the program in order, as the exit button does, without the exit dialog.
void Service_control::on_os_exit_requested()
{
    announce_stopping();
    connect(&engine, &QThread::finished, qApp, [] { QCoreApplication::exit(exit_ok); });
    request_link_shutdown();
    if (engine.isFinished())
        QCoreApplication::exit(exit_ok);
}

void Service_control::on_os_reload_requested()
{
    QWidget* modal = QApplication::activeModalWidget();
    Dialog_devices* list = qobject_cast<Dialog_devices*>(modal);
    if (modal && !list) {
        QTimer::singleShot(reload_retry_ms, this, &Service_control::on_os_reload_requested);
        return;
    }
    notify_reloading();
    reload_devices();
    if (list)
        list->update_table();
    notify_ready();
}

void Service_control::reload_devices()
{
    Devices_in_cfg devices;
    Port_index ports;
    try {
        read_devices_file(devices, ports);
    } catch (const std::exception& e) {
        log_exception(e, logtext_devices_not_reloaded.tr());
        return;
    } catch (...) {
        log_debug(0x0110);
        return;
    }
    {
        QMutexLocker lock(&cfg_mutex);
        devices_in_cfg.swap(devices);
    }
    tcp_ports.swap(ports);
    ask_link_to_update_servers();
    log(logtext_devices_reloaded.tr().arg(devices_fname, QString::number(devices_in_cfg.size())));
    check_descriptor_limit();
    window.configured_devices_changed();
}

void Service_control::on_window_state_shown()
{
    notify_status(status_text());
}

void Service_control::on_window_shutdown()
{
    announce_stopping();
}

void Service_control::announce_stopping()
{
    if (stopping)
        return;
    stopping = true;
    notify_stopping();
}
