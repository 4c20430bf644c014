// The whole start-up of the program run in the test's own process, with every message box it
// shows read and closed from here, in a working folder of its own. Call prepare_start_up() once
// before the first run.
#pragma once

#include "desktop/desktop_face.h"
#include "common/err.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <vector>

struct Box_seen {
    QString text;
    QString title;
    QString button;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int count = 0;
};

inline Box_seen box_seen;

inline void close_modal_box()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
        QTimer::singleShot(10, close_modal_box);
        return;
    }
    box_seen.text = box->text();
    box_seen.title = box->windowTitle();
    box_seen.button = box->escapeButton()->text();
    box_seen.icon = box->icon();
    ++box_seen.count;
    box->escapeButton()->click();
    QTimer::singleShot(10, close_modal_box);
}

// Runs at the construction of every application object made by the start-up.
inline void arm_box_closer()
{
    QTimer::singleShot(0, close_modal_box);
}

// The program's main with these arguments; the exit code.
inline int run_start_up(const QStringList& args)
{
    std::vector<QByteArray> storage{QByteArray("ruvo_bridge")};
    for (const QString& a : args)
        storage.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    log_fname = default_log_fname;
    return ruvo_main(static_cast<int>(storage.size()), argv.data());
}

// Message boxes are closed as they come, on a platform without a display.
inline void prepare_start_up()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qAddPreRoutine(arm_box_closer);
}

// A fresh working folder for the runs of one test, with no box seen yet; the previous folder and
// the default log are back when it goes.
class Start_folder {
public:
    Start_folder() : previous(QDir::currentPath())
    {
        QDir::setCurrent(dir.path());
        box_seen = Box_seen();
    }
    ~Start_folder()
    {
        QDir::setCurrent(previous);
        log_fname = default_log_fname;
    }
    bool valid() const { return dir.isValid(); }

private:
    QTemporaryDir dir;
    QString previous;
};
