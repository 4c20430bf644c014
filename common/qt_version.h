// The few places where Qt 5.15 and Qt 6 need different code; everything else serves both as it is.
// Each switch says what differs and why, so that it can go when Qt 5 is no longer built.
#pragma once

#include <QAbstractEventDispatcher>
#include <QTextStream>
#include <QtGlobal>

// Qt 6 widened a timer's interval in the event dispatcher interface from int to qint64.
#if QT_VERSION_MAJOR >= 6
using Dispatcher_interval = qint64;
#else
using Dispatcher_interval = int;
#endif

// Qt 5's event dispatcher interface has two more pure functions, which Qt 6 dropped: a dispatcher
// derives from this base and implements only the functions both versions have.
#if QT_VERSION_MAJOR >= 6
using Event_dispatcher_base = QAbstractEventDispatcher;
#else
// Qt's own count of the events posted to the current thread and not yet delivered.
Q_CORE_EXPORT uint qGlobalPostedEventsCount();

class Event_dispatcher_base : public QAbstractEventDispatcher {
public:
    bool hasPendingEvents() override { return qGlobalPostedEventsCount() > 0; }
    // Nothing is buffered for a window system.
    void flush() override {}
};
#endif

// Qt 6 dropped text codecs: a text stream is told its encoding by QStringConverter, and writes UTF-8
// unless told otherwise; Qt 5 names the codec and writes the locale's unless told otherwise.
inline void set_utf8(QTextStream& stream)
{
#if QT_VERSION_MAJOR >= 6
    stream.setEncoding(QStringConverter::Utf8);
#else
    stream.setCodec("UTF-8");
#endif
}

// Qt 5 has the font database's functions on an object only; Qt 6 made them static and deprecated
// making the object. RUVO_FONT_DATABASE(families()) calls one of them in either.
#if QT_VERSION_MAJOR >= 6
#define RUVO_FONT_DATABASE(call) QFontDatabase::call
#else
#define RUVO_FONT_DATABASE(call) QFontDatabase().call
#endif
