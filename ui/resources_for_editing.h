// The captions, tooltips, brushes and collision messages shared by the editing dialogs
// (device list, add, edit, modem picker), translated once, at the first such dialog.
#pragma once

#include "common/err.h"

#include <QBrush>
#include <QObject>
#include <QString>

// Title, system menu and close button only: the editing dialogs are neither minimised nor maximised.
constexpr Qt::WindowFlags editing_dialog_flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                 Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint;

// The first port that the add dialog suggests.
constexpr unsigned first_suggested_port = 3000;

class Resources_for_editing : public QObject {
    Q_OBJECT
public:
    // Fills the texts and brushes below; only the first call does anything.
    static void init();

private:
    Resources_for_editing() = delete;
};

extern QString title_dialog_devices;
extern QString title_dialog_modems;
extern QString title_dialog_add_device;
extern QString title_mbox_del_device;
extern QString title_dialog_edit_device;
extern QString caption_eui;
extern QString caption_tcp_port;
extern QString short_caption_tcp_port;
extern QString caption_max_frame_sz;
extern QString short_caption_max_frame_sz;
extern QString short_caption_server_exists;
extern QString short_caption_client_exists;
extern QString caption_name;
extern QString caption_all_fields;
extern QString caption_filter_text;
extern QString caption_filter_field;
extern QString caption_filter_selector;
extern QString caption_modems_used;
extern QString caption_modems_unused;
extern QString caption_modems_online;
extern QString caption_modems_offline;
extern QString caption_modems_all;
extern QString caption_devices_add;
extern QString caption_devices_del;
extern QString caption_devices_edit;
extern QString caption_devices_exit;
extern QString caption_btn_eui;
extern QString caption_btn_add;
extern QString caption_btn_not_add;
extern QString caption_btn_del;
extern QString caption_btn_not_del;
extern QString caption_btn_change;
extern QString caption_btn_not_change;
extern QString caption_btn_select;
extern QString caption_btn_not_select;

extern QString hint_eui;
extern QString hint_tcp_port;
extern QString hint_tcp_port_add;
extern QString hint_max_frame_sz;
extern QString hint_server_exists;
extern QString hint_client_exists;
extern QString hint_name;
extern QString hint_filter_text;
extern QString hint_filter_field;
extern QString hint_filter_selector;
extern QString hint_devices_add;
extern QString hint_devices_del;
extern QString hint_devices_edit;
extern QString hint_devices_exit;
extern QString hint_btn_eui;
extern QString hint_btn_add;
extern QString hint_btn_not_add;
extern QString hint_btn_del;
extern QString hint_btn_not_del;
extern QString hint_btn_change;
extern QString hint_btn_not_change;
extern QString hint_btn_select;
extern QString hint_btn_not_select;

// Green for an available modem and its name, purple for a connected client.
extern QBrush br_server_exists;
extern QBrush br_client_exists;

extern Tr errfmt_eui_collision;
extern Tr errfmt_port_collision;
extern Tr errtext_not_edited;
