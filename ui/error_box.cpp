// The error message box: the window that shows errors to the user, or that closes itself where
// there is no display and nobody can close it.
#include "ui/error_box.h"

#include "common/err.h"
#include "core/build_info.h"
#include "ui/fonts.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

QString error_title;
QString mbox_ok;
QString hint_mbox_ok;
int unattended_box_ms = 30000;

namespace {

Tr errfmt_error_title{TR_TEXT("err", "%1 %2: ошибка")};

// Run without a display (a service started with the offscreen platform), a message box would
// wait for ever for a click that cannot come.
bool no_display()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

}  // namespace

void install_error_box()
{
    // Tests that run the program itself do not wait the full time for each box.
    bool given = false;
    const int ms = qEnvironmentVariableIntValue("RUVO_UNATTENDED_BOX_MS", &given);
    if (given)
        unattended_box_ms = ms;
    set_error_box(show_error_box);
}

void init_resources_for_mbox()
{
    mbox_ok = QCoreApplication::translate("mbox", "Закрыть");
    hint_mbox_ok = QCoreApplication::translate(
        "mbox",
        "Если вы сюда нажмёте, окно с сообщением будет закрыто.\nТакже это окно можно закрыть "
        "клавишами 'Esc', 'Enter', 'пробел' и\n'Alt-F4'.");
}

void show_error_box(const QString& text, QWidget* parent)
{
    if (error_title.isEmpty()) {
        error_title = QString(errfmt_error_title.tr()).arg(QLatin1String(program_name), QLatin1String(program_version));
        init_resources_for_mbox();
    }
    QMessageBox box(parent);
    init_fonts(box);
    box.setText(text);
    box.setWindowTitle(error_title);
    box.setIcon(QMessageBox::Critical);
    QPushButton* ok = box.addButton(mbox_ok, QMessageBox::AcceptRole);
    ok->setToolTip(hint_mbox_ok);
    box.setEscapeButton(ok);
    if (no_display()) {
        fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        fflush(stderr);
        QTimer::singleShot(unattended_box_ms, ok, &QPushButton::click);
    }
    box.exec();
}
