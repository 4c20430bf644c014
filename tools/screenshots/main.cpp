// Renders the main window in each link state, the About dialog and the exit dialog to PNG files,
// so that the layout can be looked at with the fonts of a real display.
#include "app/cfg.h"
#include "app/shared.h"
#include "common/err.h"
#include "ui/dialog_about.h"
#include "ui/dialog_exit.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QDir>
#include <QMutexLocker>
#include <QThread>
#include <cstdio>

namespace {

QString out_dir;

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
        tcp_servers.insert(0x70B3D5499000 + i, nullptr);
    clients_number = clients;
}

// The window in one link state, with counters that show the widest values a person may meet.
bool save_window_state(Main_window& window, unsigned char flags, const char* name)
{
    set_link(flags, 12, 3);
    window.on_servers_changed();
    return save(window, name);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    out_dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    if (!QDir().mkpath(out_dir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out_dir));
        return 1;
    }
    const QByteArray log_name = (out_dir + QStringLiteral("/screenshots.log")).toUtf8();
    log_fname = log_name.constData();
    devices_fname = DEFAULT_DEVICES_FNAME;
    for (unsigned long eui = 0x70B3D5499000; eui < 0x70B3D5499000 + 15; ++eui)
        devices_in_cfg.insert(eui, {51, quint16(3000 + (eui & 0xFF))});

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
    return ok ? 0 : 1;
}
