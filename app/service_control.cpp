// Running unattended: SIGTERM and SIGINT end the program in order, SIGHUP has the list's owner
// reload the devices file, and systemd hears of readiness, state and stopping.
#include "app/service_control.h"

#include "core/cfg.h"
#include "core/link_state.h"
#include "app/engine.h"
#include "app/link_view.h"
#include "core/devices_file.h"
#include "core/exit_codes.h"
#include "core/served_devices.h"
#include "core/shared.h"
#include "common/descriptors.h"
#include "common/err.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMutexLocker>
#include <QTimer>

namespace {

Tr logtext_descriptor_shortage{TR_TEXT("log",
                                       "Предел числа открытых файлов процесса (%1) меньше, чем может понадобиться "
                                       "для %2 устройств из списка (%3: слушающий сокет и клиент на каждое, и "
                                       "запас для самой программы). Порты будут открыты не более чем для %4 "
                                       "устройств, а клиенты сверх предела не будут приняты. Поднимите предел "
                                       "(LimitNOFILE= в службе systemd, ulimit -n) и перезапустите программу.")};
Tr caption_status{TR_TEXT("main",
                          "Связь с сервером RUVO-LoRa: %1. Устройств в списке: %2, доступно: %3, занято клиентами: "
                          "%4.")};

// A reload waits while a dialog holds entries of the list (add, edit, delete).
const int reload_retry_ms = 250;
// The devices file is read only once it has stood still this long, so that a file being written
// in place is not caught half-way.
const int settle_ms = 50;
// A file that does not stand still within this time after the signal is not reloaded.
const int settle_limit_ms = 10000;

Tr logfmt_never_settled{TR_TEXT("log",
                                "Файл со списком устройств «%1» не перечитан: он всё время изменялся в течение %2 "
                                "с после сигнала SIGHUP. Действует прежний список устройств. Записывайте новый "
                                "список в другой файл той же папки и переименовывайте его в «%1»: так файл "
                                "заменяется целиком за один шаг.")};

// Whether the file was last written settle_ms ago or earlier; a stamp from the future (a clock
// set back) does not count, the file is then watched instead.
bool stood_still(const Devices_file_stamp& stamp)
{
    const qint64 age_ms = QDateTime::currentMSecsSinceEpoch() - stamp.modified_ns / 1000000;
    return age_ms >= settle_ms;
}

// The link state in the window's word, and the counters.
QString status_text()
{
    QMutexLocker lock(&cfg_mutex);
    return caption_status.tr().arg(link_state_word(link_state(ws_flags)), QString::number(devices_in_cfg.size()),
                                   QString::number(tcp_servers.size()), QString::number(clients_number));
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

Service_control::Service_control(Engine& engine, Link_view& view) : engine(engine)
{
    connect(&os, &Os_service::exit_requested, this, &Service_control::on_os_exit_requested);
    connect(&os, &Os_service::reload_requested, this, &Service_control::on_os_reload_requested);
    connect(&view, &Link_view::state_shown, this, &Service_control::on_view_state_shown);
    connect(&view, &Link_view::shutdown, this, &Service_control::on_view_shutdown);
    connect(&served_devices, &Served_devices::changed, this, &Service_control::on_devices_changed);
    settle_timer.setSingleShot(true);
    connect(&settle_timer, &QTimer::timeout, this, &Service_control::on_settle_timer_timeout);
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

// Signals that come while a reload waits join it: it reads the file as it is when it settles.
void Service_control::on_os_reload_requested()
{
    if (reload_waiting)
        return;
    reload_waiting = true;
    notify_reloading();
    settle_clock.start();
    settling = stamp_devices_file();
    // The usual case, a file written well before the signal, is read at once.
    settle_timer.start(stood_still(settling) ? 0 : settle_ms);
}

void Service_control::watch_devices_file()
{
    settling = stamp_devices_file();
    settle_timer.start(settle_ms);
}

void Service_control::on_settle_timer_timeout()
{
    if (served_devices.held()) {
        // The time limit is for a file that keeps changing, not for a dialog left open.
        settle_clock.restart();
        settle_timer.start(reload_retry_ms);
        return;
    }
    if (stamp_devices_file() == settling &&
        served_devices.replace_from_file(settling) != Served_devices::Reload::file_changed) {
        end_reload();
        return;
    }
    if (settle_clock.elapsed() >= settle_limit_ms) {
        log(logfmt_never_settled.tr().arg(devices_fname, QString::number(settle_limit_ms / 1000)));
        end_reload();
        return;
    }
    watch_devices_file();
}

void Service_control::end_reload()
{
    reload_waiting = false;
    notify_ready();
}

// A list that grew may need more descriptors than the process may open.
void Service_control::on_devices_changed()
{
    check_descriptor_limit();
    notify_status(status_text());
}

void Service_control::on_view_state_shown()
{
    notify_status(status_text());
}

void Service_control::on_view_shutdown()
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
