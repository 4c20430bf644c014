// The opening size of the list windows: wide enough for every column whenever the screen has
// room (Qt would cap a window's first size at two thirds of the screen), and, once the
// operator has resized the window, that size at every later opening, in this run and the next
// (kept in the user's settings, QSettings in INI format).
#pragma once

#include <QRect>
#include <QSize>

class QWidget;

class Window_size {
public:
    // The name under which the size is kept in the settings.
    explicit Window_size(const char* settings_key);
    // Resizes the window before it is shown: to the size kept, or else to its size hint,
    // within the available area of the screen it will open on.
    void apply(QWidget& window) const;
    void apply(QWidget& window, const QRect& available) const;
    // Keeps the window's present size for the next opening, when the operator has changed it.
    void keep(const QWidget& window);

private:
    const char* settings_key;
    // Read from the settings at the first opening.
    mutable bool loaded = false;
    mutable QSize kept;
    // The size the window opened with.
    mutable QSize opened;
};
