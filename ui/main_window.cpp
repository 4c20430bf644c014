// The main window (link state and counters) and the user interface's shared look.
#include "ui/main_window.h"

#include "app/shared.h"

#include <QFontMetrics>
#include <QMutexLocker>

const QColor color_offline(128, 0, 0);
const QColor color_start(0, 0, 128);
const QColor color_online(0, 128, 0);
const QColor color_clients(100, 0, 100);
const QString caption_placeholder = QStringLiteral(" ");

QFont font_name_big;
QFont font_name_small;
QFont font_value_big;
QFont font_value_small;
int module_w = 7;
int module_h = 16;

Main_window* Main_window::instance = nullptr;

Label_with_size::Label_with_size(int width, const QString& text, QWidget* parent)
    : QLabel(text, parent), width(width)
{
}

QSize Label_with_size::sizeHint() const
{
    return QSize(width, QLabel::sizeHint().height());
}

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
void Main_window::on_btn_devices_clicked() {}
void Main_window::on_btn_about_clicked() {}
void Main_window::on_btn_exit_clicked() {}

void init_fonts(QWidget&) {}

QString find_best_typeface(const QFontDatabase&, const QStringList&, const Font_typeface*, unsigned long)
{
    return QString();
}

int dec_digit_width(const QFontMetrics& metrics)
{
    int width = 0;
    for (char c = '0'; c <= '9'; ++c)
        width = qMax(width, metrics.horizontalAdvance(QLatin1Char(c)));
    return width;
}

void digit_width(const QFontMetrics& metrics, int& dec, int& hex)
{
    dec = dec_digit_width(metrics);
    hex = dec;
    for (char c : {'A', 'B', 'C', 'D', 'E', 'F', 'a', 'b', 'c', 'd', 'e', 'f'})
        hex = qMax(hex, metrics.horizontalAdvance(QLatin1Char(c)));
}
