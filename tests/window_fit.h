// Checks of how the editing windows use the screen, shared by the Russian and English tests.
#pragma once

#include "temp_settings.h"
#include "core/shared.h"
#include "ui/window_size.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMutexLocker>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

// The screens of the operator's complaint, in the logical pixels that the layout sees: a
// 1280x1024 monitor, and 1920x1080 at scale 1.5 (1280x720).
inline QRect monitor_1280x1024()
{
    return QRect(0, 0, 1280, 1024);
}
inline QRect monitor_1920x1080_at_150()
{
    return QRect(0, 0, 1920 * 2 / 3, 1080 * 2 / 3);
}

// Both screens as the rows of a table test, in the column "screen".
inline void add_screen_rows()
{
    QTest::addColumn<QRect>("screen");
    QTest::newRow("1280x1024") << monitor_1280x1024();
    QTest::newRow("1920x1080 at 150 %") << monitor_1920x1080_at_150();
}

// The operator's list: 250 modems, on ports from 3000 up, in place of the configured ones.
inline void configure_250_modems()
{
    QMutexLocker lock(&cfg_mutex);
    devices_in_cfg.clear();
    tcp_ports.clear();
    for (quint16 i = 0; i < 250; ++i)
        tcp_ports.insert(3000 + i, devices_in_cfg.insert(0x70B3D54990000000 + i, Device_in_cfg{51, quint16(3000 + i)}));
}

// Opens a list window as on that screen; empty when every column shows whole, without a
// horizontal scroll bar, else what is wrong.
inline QString columns_cut_on(QWidget& window, const QRect& screen)
{
    Window_size("window_fit").apply(window, screen);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return QStringLiteral("not shown");
    auto* table = window.findChild<QTableView*>();
    QCoreApplication::processEvents();
    QHeaderView* header = table->horizontalHeader();
    if (window.width() > screen.width())
        return QStringLiteral("window %1 wider than the screen").arg(window.width());
    if (header->length() > table->viewport()->width())
        return QStringLiteral("header %1 > viewport %2").arg(header->length()).arg(table->viewport()->width());
    if (table->horizontalScrollBar()->isVisible())
        return QStringLiteral("horizontal scroll bar");
    for (int c = 0; c < header->count(); ++c)
        if (header->sectionSize(c) < header->sectionSizeHint(c))
            return QStringLiteral("column %1 narrower than its caption").arg(c);
    return QString();
}

// The left edges of the input fields of a form, relative to the window; one value when they
// are aligned in one column.
inline QSet<int> field_columns(QWidget& window)
{
    QSet<int> lefts;
    for (QWidget* w : window.findChildren<QWidget*>())
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w))
            lefts.insert(w->mapTo(&window, QPoint(0, 0)).x());
    return lefts;
}
