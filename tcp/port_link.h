// What a modem's port needs from the link: room for its frames and their posting, taking them
// back, being counted as live while it listens, and saying that its clients changed. A port
// holds the link only through this.
#pragma once

struct Frame;
class Link_port;

// Frames one port may have waiting for the link; a client sending faster than its modem is
// served is dropped beyond it.
const int max_queued_per_port = 16;

class Port_link {
public:
    // Takes the frame for the modem from here on: it is sent in its turn, and the server's
    // verdict goes to its requester.
    virtual void post_frame(Frame& frame) = 0;
    // True while the port may queue one more frame.
    virtual bool has_room(const Link_port& port) const = 0;
    // The port's frames not yet sent are dropped, and the one in flight answers to nobody;
    // returns how many were dropped.
    virtual int take_back(const Link_port& port) = 0;
    // The port's frames are still sent, their verdicts to nobody.
    virtual void anonymize(const Link_port& port) = 0;
    // Counts a port that is about to listen among what the exchange thread must finish; false,
    // with nothing counted, when the descriptors left are kept for the link and the log.
    virtual bool count_port() = 0;
    // The port counted by count_port has gone.
    virtual void release_port() = 0;
    // The port got its first client or lost its last, and no notice of it is pending.
    virtual void notify_clients() = 0;

protected:
    ~Port_link() = default;
};
