// The opening size of the list windows: wide enough for every column whenever the screen has
// room (Qt would cap a window's first size at two thirds of the screen), and, once the
// operator has resized the window, that size at every later opening during the run.
#pragma once

#include <QRect>
#include <QSize>

class QWidget;

class Window_size {
public:
    // Resizes the window before it is shown: to the size kept, or else to its size hint,
    // within the available area of the screen it will open on.
    void apply(QWidget& window) const;
    void apply(QWidget& window, const QRect& available) const;
    // Keeps the window's present size for the next opening.
    void keep(const QWidget& window);

private:
    QSize kept;
};
