// The About dialog: what the program is, what it does and which files it uses.
#include "ui/dialog_about.h"

#include "app/build_info.h"
#include "app/cfg.h"
#include "common/err.h"
#include "ui/fonts.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace {

// The About text carries the time of its own build step, later than that of the log banner.
constexpr char about_build_time[] = "12:01:29";

QString dialog_tr(const char* text)
{
    return QCoreApplication::translate("QDialog", text);
}

}  // namespace

QSize Ebox_about::sizeHint() const
{
    return QSize(85 * module_w, 60 * module_h);
}

Dialog_about::Dialog_about(QWidget* parent) : QDialog(parent, about_dialog_flags)
{
    init_fonts(*this);
    setWindowTitle(dialog_tr("О программе"));
    auto layout = new QVBoxLayout(this);
    auto text = new Ebox_about;
    text->setReadOnly(true);
    text->setPlainText(
        dialog_tr("%1\n\nПри запуске программа читает свою конфигурацию из файла «%2». Для изменения "
                  "конфигурации отредактируйте этот файл с помощью текстового редактора. Формат файла описан "
                  "в образцовом файле конфигурации, поставляемом вместе с программой.\n\nПрограмма записывает "
                  "сообщения об ошибках в файл «%3». Также в этот файл может записываться трассировка обмена с "
                  "сервером и с клиентами, если это заказано в файле конфигурации.\n\nС помощью командной "
                  "строки программа может быть настроена на работу с другим файлом конфигурации и/или файлом "
                  "журнала. Для получения справки по параметрам командной строки запускайте программу с "
                  "опцией «-h».\n\nСписок радиомодемов, подлежащих обслуживанию, хранится в файле «%4» (имя "
                  "файла настраивается в файле конфигурации). Обычно нет необходимости редактировать этот файл "
                  "вручную.")
            .arg(about(), QString::fromUtf8(cfg_fname), QString::fromUtf8(log_fname), devices_fname));
    layout->addWidget(text);
    auto buttons = new QDialogButtonBox(Qt::Horizontal);
    buttons->addButton(dialog_tr("Закрыть"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString Dialog_about::about()
{
    return dialog_tr("%1, версия %2 (%3), сборка %4 %5\n\nЭта программа через соединение WebSocket подключается "
                     "к серверу RUVO-LoRa, а к этой программе, но уже через соединения TCP, подключаются "
                     "клиенты, желающие получить доступ к устройствам, подключенным через RS-232 или RS-485 к "
                     "радиомодемам, доступным через этот сервер RUVO-LoRa.")
        .arg(QLatin1String(program_name), QLatin1String(program_version), QString::fromUtf8(release_date),
             QLatin1String(build_date), QLatin1String(about_build_time));
}
