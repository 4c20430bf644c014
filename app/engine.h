// The exchange thread: builds the WebSocket link on its own stack and runs its event loop.
#pragma once

#include <QThread>

class Engine : public QThread {
public:
    // Gives the thread the epoll dispatcher unless RUVO_QT_DISPATCHER=1 asks for Qt's own.
    Engine();
    ~Engine() override;

protected:
    void run() override;
};

// Marks the program as ending and asks the link, if it exists, to shut down; does not wait.
void request_link_shutdown();

// Stops the exchange thread in order (the link is asked to shut down) and waits for it to end.
void stop_exchange_thread(QThread& engine);

// Stops the exchange thread before the Engine object is destroyed, on every path out.
class Engine_stopper {
public:
    explicit Engine_stopper(QThread& engine) : engine(engine) {}
    ~Engine_stopper() { stop_exchange_thread(engine); }
    Engine_stopper(const Engine_stopper&) = delete;
    Engine_stopper& operator=(const Engine_stopper&) = delete;

private:
    QThread& engine;
};
