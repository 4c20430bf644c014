// What the link needs from a modem's port: the server's verdict on each of the port's frames, the
// modem's uplink packets, and the port's retirement. The link holds its ports only through this.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

class Link_port {
public:
    // The server accepted or refused a frame of this port; called once the link has done with
    // the server's message, in the exchange thread.
    virtual void frame_accepted() = 0;
    virtual void frame_refused() = 0;
    // One uplink packet of the modem, with the frame counter of its message when it had one.
    virtual void uplink_packet(QByteArray& data, std::optional<quint32> fcnt) = 0;
    // The port stops listening and goes once its last client socket has gone; the link drops
    // its pointer. It takes no lock of its own, so the reconciliation may retire under cfg_mutex.
    virtual void retire() = 0;

protected:
    ~Link_port() = default;
};
