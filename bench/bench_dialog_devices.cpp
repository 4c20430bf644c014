// Time to open the device list with 1,000 modems (all known to the server and served), to refresh
// it after an edit and select the edited row, and after a client change; the goal is at most 1 s
// to open and fill.
#include "core/shared.h"
#include "ui/dialog_devices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QTableView>
#include <cstdio>

namespace {

const int modems = 1000;
const int runs = 5;
const unsigned long first_eui = 0x70B3D59BA0000000ul;
const unsigned long last_eui = first_eui + unsigned(modems - 1) * 3;

void fill_tables()
{
    QMutexLocker lock(&cfg_mutex);
    for (int i = 0; i < modems; ++i) {
        const unsigned long eui = first_eui + unsigned(i) * 3;
        const quint16 port = quint16(3000 + i);
        tcp_ports.insert(port, devices_in_cfg.insert(eui, Device_in_cfg{51, port}));
        devices_on_lora.append(Device_on_lora{eui, QStringLiteral("Счётчик воды №%1").arg(i)});
        // The list reads only whether a server exists and whether it has a client.
        tcp_servers.insert(eui, nullptr);
    }
    ws_flags = WS_ONLINE;
}

double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    fill_tables();
    double open_worst = 0;
    double update_worst = 0;
    double states_worst = 0;
    double select_worst = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        Dialog_devices dialog(nullptr);
        dialog.show();
        QApplication::processEvents();
        open_worst = qMax(open_worst, ms(t));
        if (dialog.findChild<QTableView*>()->model()->rowCount() != modems) {
            std::printf("the list shows %d rows instead of %d\n",
                        dialog.findChild<QTableView*>()->model()->rowCount(), modems);
            return 1;
        }

        t.restart();
        dialog.update_table();
        QApplication::processEvents();
        update_worst = qMax(update_worst, ms(t));

        // The edited modem is looked up among the rows, selected and scrolled to: the last one
        // is the longest search.
        t.restart();
        if (!dialog.findChild<Table_with_proxy*>()->select_modem(last_eui)) {
            std::printf("the last modem is not shown\n");
            return 1;
        }
        QApplication::processEvents();
        select_worst = qMax(select_worst, ms(t));

        t.restart();
        {
            QMutexLocker lock(&cfg_mutex);
            ws_flags |= WS_CLIENTS_PENDING;
        }
        QMetaObject::invokeMethod(&dialog, "on_clients_changed");
        QApplication::processEvents();
        states_worst = qMax(states_worst, ms(t));
    }
    std::printf("device list, %d modems, worst of %d runs:\n", modems, runs);
    std::printf("  open and fill:            %8.1f ms (goal <= 1000 ms) %s\n", open_worst,
                open_worst <= 1000 ? "ok" : "TOO SLOW");
    std::printf("  rebuild after an edit:    %8.1f ms\n", update_worst);
    std::printf("  select the edited row:    %8.1f ms\n", select_worst);
    std::printf("  refresh of client states: %8.1f ms\n", states_worst);
    return open_worst <= 1000 ? 0 : 1;
}
