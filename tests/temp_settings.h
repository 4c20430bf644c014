// The tests' user settings (the list windows' sizes) go to a temporary folder, never to the
// home folder of whoever runs them; included by the helpers of every test that opens a window.
#pragma once

#include <QSettings>
#include <QTemporaryDir>

struct Temp_settings {
    Temp_settings() { QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path()); }
    QTemporaryDir dir;
};

inline Temp_settings temp_settings;
