// The error message box: the window that shows errors to the user, or that closes itself where
// there is no display and nobody can close it.
#pragma once

#include <QString>

class QWidget;

extern QString error_title;
extern QString mbox_ok;
extern QString hint_mbox_ok;
// How long an error box waits on a platform without a display, where nobody can close it;
// the environment's RUVO_UNATTENDED_BOX_MS, when set, replaces it at install_error_box().
extern int unattended_box_ms;

// Makes show_error (common/err.h) show this box.
void install_error_box();

void init_resources_for_mbox();
void show_error_box(const QString& text, QWidget* parent);
