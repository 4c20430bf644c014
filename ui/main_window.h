// The main window (link state and counters) and the user interface's shared look:
// the four fonts, the layout unit, digit widths and the status colours.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QThread>
#include <QWidget>

class QFontDatabase;
class QFontMetrics;

extern const QColor color_offline;
extern const QColor color_start;
extern const QColor color_online;
extern const QColor color_clients;
extern const QString caption_placeholder;

extern QFont font_name_big;
extern QFont font_name_small;
extern QFont font_value_big;
extern QFont font_value_small;
extern int module_w;
extern int module_h;

// A monospace family-name prefix and its preference (0 is the most wanted).
struct Font_typeface {
    const char* name;
    unsigned char preference;
};

// Chooses the four fonts and the layout unit; only the first call does anything.
void init_fonts(QWidget& widget);
QString find_best_typeface(const QFontDatabase& db, const QStringList& families, const Font_typeface* table,
                           unsigned long count);
int dec_digit_width(const QFontMetrics& metrics);
void digit_width(const QFontMetrics& metrics, int& dec, int& hex);

// A label of fixed width, so that value labels keep their width when their text changes.
class Label_with_size : public QLabel {
public:
    Label_with_size(int width, const QString& text = QString(), QWidget* parent = nullptr);
    QSize sizeHint() const override;

private:
    int width;
};

class Main_window : public QWidget {
    Q_OBJECT
public:
    explicit Main_window(QThread& exchange_thread, QWidget* parent = nullptr);
    ~Main_window() override;
    void configured_devices_changed();

    // The one existing main window, null when none; guarded by cfg_mutex.
    static Main_window* instance;

signals:
    void shutdown();

public slots:
    void on_servers_changed();
    void on_clients_changed();
    void on_btn_devices_clicked();
    void on_btn_about_clicked();
    void on_btn_exit_clicked();

private:
    QThread& exchange_thread;
};
