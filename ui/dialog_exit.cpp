// The exit dialog: shown while the exchange thread closes the network connections, accepted
// by itself when the thread has ended, rejected when the user chooses to quit at once.
#include "ui/dialog_exit.h"

#include "common/err.h"
#include "ui/dialog_about.h"
#include "ui/fonts.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The room that the title bar's icon and buttons take, in heights of a line of text.
const int title_bar_extra_heights = 6;

Tr title_dialog_exit{TR_TEXT("dialog_exit", "Выходим")};
Tr_with_hint caption_rough_exit{TR_TEXT("dialog_exit", "Выйти немедленно"),
                                TR_HINT("dialog_exit",
                                        "Качественно написанная программа перед завершением работы должна\n"
                                        "сообщить противоположным сторонам всех сетевых соединений о\n"
                                        "закрытии этих соединений.\n"
                                        "\n"
                                        "Если этот процесс занимает слишком много времени, вы можете\n"
                                        "прервать его и завершить программу мгновенно. Ничего плохого из-за\n"
                                        "этого, скорее всего, не случится - противоположные стороны через\n"
                                        "некоторое время заметят неработоспособность соединений и сами\n"
                                        "закроют их.")};

}  // namespace

Dialog_exit::Dialog_exit(QWidget* parent, QThread& thread) : QDialog(parent, about_dialog_flags), thread(thread)
{
    init_fonts(*this);
    setWindowTitle(title_dialog_exit.tr());
    auto layout = new QVBoxLayout(this);
    auto buttons = new QDialogButtonBox(Qt::Horizontal);
    QPushButton* rough_exit = buttons->addButton(caption_rough_exit.get_caption(), QDialogButtonBox::DestructiveRole);
    rough_exit->setToolTip(caption_rough_exit.get_hint());
    // The title bar needs room for the title besides its icon and buttons, or the window
    // manager cuts the title to "...".
    const QFontMetrics metrics(font());
    buttons->setMinimumWidth(metrics.horizontalAdvance(windowTitle()) + title_bar_extra_heights * metrics.height());
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (!connect(rough_exit, &QPushButton::clicked, this, &QDialog::reject))
        log_debug(0xA01);
    if (!connect(&thread, &QThread::finished, this, &QDialog::accept))
        log_debug(0xA02);
}

// The thread may have ended before the dialog was built or shown: its finished signal is then
// gone or was taken while the dialog was hidden, and the modal loop would wait for nothing.
void Dialog_exit::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (thread.isFinished())
        QMetaObject::invokeMethod(this, &QDialog::accept, Qt::QueuedConnection);
}
