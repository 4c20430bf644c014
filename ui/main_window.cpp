// The main window: link state and counters, and the program's shared fonts.
#include "ui/main_window.h"

#include "app/shared.h"

#include <QMutexLocker>

Main_window* Main_window::instance = nullptr;

Main_window::Main_window(QThread& exchange_thread, QWidget* parent)
    : QWidget(parent), exchange_thread(exchange_thread)
{
    QMutexLocker lock(&cfg_mutex);
    instance = this;
}

Main_window::~Main_window()
{
    QMutexLocker lock(&cfg_mutex);
    if (instance == this)
        instance = nullptr;
}

void Main_window::configured_devices_changed() {}
void Main_window::on_servers_changed() {}
void Main_window::on_clients_changed() {}

void init_fonts(QWidget&) {}
