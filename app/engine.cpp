// The exchange thread: builds the WebSocket link on its own stack and runs its event loop.
#include "app/engine.h"

#include "core/shared.h"
#include "common/epoll_dispatcher.h"
#include "common/err.h"
#include "link/ws_connection.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutexLocker>

Engine::Engine()
{
    if (qEnvironmentVariableIntValue("RUVO_QT_DISPATCHER") == 1)
        return;
    // A dispatcher the kernel gave no descriptors for is left out: Qt's own serves then.
    auto* dispatcher = new Epoll_dispatcher;
    if (dispatcher->ok())
        setEventDispatcher(dispatcher);
    else
        delete dispatcher;
}

Engine::~Engine()
{
    // Qt deletes a thread's dispatcher when the thread ends; that of one never started would stay.
    if (!isRunning() && !isFinished())
        delete eventDispatcher();
}

void Engine::run()
{
    try {
        Ws_connection connection(*this);
        connection.start();
        exec();
    } catch (const The_end&) {
    } catch (const std::exception& e) {
        log_exception(e, QCoreApplication::translate("QThread", "Аварийное завершение нити обмена."));
    } catch (...) {
        log_debug(0x901);
    }
}

void request_link_shutdown()
{
    QMutexLocker lock(&cfg_mutex);
    ws_flags |= WS_ENDING;
    if (Ws_connection::instance)
        QMetaObject::invokeMethod(Ws_connection::instance, "on_shutdown", Qt::QueuedConnection);
}

void stop_exchange_thread(QThread& engine)
{
    if (!engine.isRunning())
        return;
    request_link_shutdown();
    engine.wait();
}
