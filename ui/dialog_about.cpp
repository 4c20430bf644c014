// The About dialog: what the program is, what it does and which files it uses.
#include "ui/dialog_about.h"

#include "core/build_info.h"
#include "core/cfg.h"
#include "common/err.h"
#include "ui/fonts.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace {

Tr title_about{TR_TEXT("QDialog", "О программе")};
Tr caption_about_close{TR_TEXT("QDialog", "Закрыть")};
Tr format_about_files{TR_TEXT(
    "QDialog", "%1\n\nПри запуске программа читает свою конфигурацию из файла «%2». Для изменения "
               "конфигурации отредактируйте этот файл с помощью текстового редактора. Формат файла описан "
               "в образцовом файле конфигурации, поставляемом вместе с программой.\n\nПрограмма записывает "
               "сообщения об ошибках в файл «%3». Также в этот файл может записываться трассировка обмена с "
               "сервером и с клиентами, если это заказано в файле конфигурации.\n\nС помощью командной "
               "строки программа может быть настроена на работу с другим файлом конфигурации и/или файлом "
               "журнала. Для получения справки по параметрам командной строки запускайте программу с "
               "опцией «-h».\n\nСписок радиомодемов, подлежащих обслуживанию, хранится в файле «%4» (имя "
               "файла настраивается в файле конфигурации). Обычно нет необходимости редактировать этот файл "
               "вручную.")};

}  // namespace

QSize Ebox_about::sizeHint() const
{
    return QSize(85 * module_w, 60 * module_h);
}

Dialog_about::Dialog_about(QWidget* parent) : QDialog(parent, about_dialog_flags)
{
    init_fonts(*this);
    setWindowTitle(title_about.tr());
    auto layout = new QVBoxLayout(this);
    auto text = new Ebox_about;
    text->setReadOnly(true);
    text->setPlainText(QString(format_about_files.tr())
                           .arg(about_program(), QString::fromUtf8(cfg_fname), QString::fromUtf8(log_fname),
                                devices_fname));
    layout->addWidget(text);
    auto buttons = new QDialogButtonBox(Qt::Horizontal);
    buttons->addButton(caption_about_close.tr(), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}
