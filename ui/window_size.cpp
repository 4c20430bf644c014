// The opening size of the list windows.
#include "ui/window_size.h"

#include "core/build_info.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace {

// Room left around the window for the frame that the window manager adds.
const int frame_allowance = 16;

QRect available_area(const QWidget& window)
{
    const QWidget* parent = window.parentWidget();
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QSettings user_settings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QLatin1String(program_name), QLatin1String(program_name));
}

}  // namespace

Window_size::Window_size(const char* settings_key) : settings_key(settings_key) {}

void Window_size::apply(QWidget& window) const
{
    apply(window, available_area(window));
}

void Window_size::apply(QWidget& window, const QRect& available) const
{
    if (!loaded) {
        loaded = true;
        kept = user_settings().value(QLatin1String(settings_key)).toSize();
    }
    QSize size = kept.isValid() ? kept : window.sizeHint();
    if (!available.isEmpty()) {
        // The height keeps Qt's own limit for a first size; only the width may use the whole screen.
        const int height_limit = kept.isValid() ? available.height() : available.height() * 2 / 3;
        size = size.boundedTo(QSize(available.width() - frame_allowance, height_limit - frame_allowance));
    }
    window.resize(size.expandedTo(window.minimumSizeHint()));
    opened = window.size();
}

void Window_size::keep(const QWidget& window)
{
    if (window.size() == opened)
        return;
    kept = window.size();
    user_settings().setValue(QLatin1String(settings_key), kept);
}
