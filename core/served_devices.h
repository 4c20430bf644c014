// The owner of the list of modems to serve: the one writer of devices_in_cfg and tcp_ports. It
// changes them on the device list's edits and on a reload of the devices file, publishes them
// under cfg_mutex and announces every change with one signal, to which the main window, the
// device list, the service control and the link subscribe. Lives in the GUI thread.
#pragma once

#include "core/devices_file.h"
#include "core/shared.h"

#include <QObject>

// How one list differs from another, by EUI: modems only in the second, only in the first, and
// in both with another port, frame size or protocol.
struct List_change {
    int added = 0;
    int removed = 0;
    int changed = 0;
};
List_change list_change(const Devices_in_cfg& before, const Devices_in_cfg& after);

class Served_devices : public QObject {
    Q_OBJECT
public:
    // While one lives, a dialog works on the list (add, edit, a delete question) and may hold
    // its entries, so a reload from the file has to wait.
    class Hold {
    public:
        explicit Hold(Served_devices& owner);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        Served_devices& owner;
    };

    // Reads the devices file at start; throws Err at its first error.
    void load();
    // A modem whose EUI and port the caller has found unused.
    Devices_in_cfg::iterator add(quint64 eui, const Device_in_cfg& device);
    // Gives the modem at entry the EUI and setup; a new port or EUI the caller has found unused.
    // Returns where the modem now is (the same entry when the EUI stays).
    Devices_in_cfg::iterator edit(Devices_in_cfg::iterator entry, quint64 eui, const Device_in_cfg& device);
    void remove(Devices_in_cfg::iterator entry);
    enum class Reload { replaced, kept, file_changed };
    // Replaces the list with the devices file, as SIGHUP asks; not while a dialog holds entries.
    // The file must still look as settled did when it was read (file_changed otherwise, nothing
    // logged: the caller waits for the writer to finish). On an error in the file, or a blank
    // file while the list has modems, the list in force stays, with the reason logged: kept.
    Reload replace_from_file(const Devices_file_stamp& settled);
    // Writes the list to the devices file; throws Err when it cannot, the list staying as it is.
    void save();

    bool held() const { return holds != 0; }

signals:
    // The list has changed; it is published already.
    void changed();

private:
    void assert_gui_thread() const;
    // Reads the file for replace_from_file; throws Err when the file is refused.
    Reload read_settled(const Devices_file_stamp& settled, Devices_in_cfg& devices, Port_index& ports) const;
    // Logs what a reload undoes of the edits that could not be saved.
    void log_unsaved_replaced(const Devices_in_cfg& devices) const;

    int holds = 0;
    // The list has edits that the file does not have: their save failed.
    bool unsaved = false;
};

// The one owner; made before the application, in the thread that becomes the GUI thread.
extern Served_devices served_devices;
