// The opening size of the list windows.
#include "ui/window_size.h"

#include <QGuiApplication>
#include <QScreen>
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

}  // namespace

void Window_size::apply(QWidget& window) const
{
    apply(window, available_area(window));
}

void Window_size::apply(QWidget& window, const QRect& available) const
{
    QSize size = kept.isValid() ? kept : window.sizeHint();
    if (!available.isEmpty()) {
        // The height keeps Qt's own limit for a first size; only the width may use the whole screen.
        const int height_limit = kept.isValid() ? available.height() : available.height() * 2 / 3;
        size = size.boundedTo(QSize(available.width() - frame_allowance, height_limit - frame_allowance));
    }
    window.resize(size.expandedTo(window.minimumSizeHint()));
}

void Window_size::keep(const QWidget& window)
{
    kept = window.size();
}
