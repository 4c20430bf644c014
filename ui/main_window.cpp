// The main window: the state of the link with the RUVO-LoRa server and the three counters of
// modems, refreshed by the exchange thread's notifications, and the way out of the program.
#include "ui/main_window.h"

#include "core/build_info.h"
#include "core/cfg.h"
#include "core/exit_codes.h"
#include "core/link_state.h"
#include "core/served_devices.h"
#include "core/shared.h"
#include "common/err.h"
#include "link/ws_connection.h"
#include "ui/colours.h"
#include "ui/dialog_about.h"
#include "ui/dialog_devices.h"
#include "ui/dialog_exit.h"
#include "ui/fonts.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QPushButton>
#include <QStackedLayout>
#include <cstdio>
#include <cstdlib>

const QString caption_placeholder = QStringLiteral(" ");

Main_window* Main_window::instance = nullptr;

namespace {

// Internal-error code of this module for a place.
constexpr unsigned short window_code(unsigned char place)
{
    return 0x200 | place;
}

constexpr Qt::Alignment cell_alignment = Qt::AlignLeft | Qt::AlignVCenter;
enum { page_blank = 0, page_shown = 1 };

void set_text_color(QLabel& label, const QColor& color)
{
    QPalette palette = label.palette();
    palette.setBrush(QPalette::WindowText, QBrush(color));
    label.setPalette(palette);
}

QLabel* caption_label(const QString& caption, const QString& hint)
{
    auto label = new QLabel(caption);
    label->setToolTip(hint);
    return label;
}

// A caption and its value, both with the row's tooltip.
void add_row(QGridLayout& grid, int row, const QString& caption, QLabel* value, const QString& hint)
{
    value->setToolTip(hint);
    grid.addWidget(caption_label(caption, hint), row, 0, cell_alignment);
    grid.addWidget(value, row, 1, cell_alignment);
}

// A cell that is blank until its row has something to show.
QStackedLayout* add_stacked(QGridLayout& grid, int row, int column, QWidget* page)
{
    auto stack = new QStackedLayout;
    stack->addWidget(new QLabel(caption_placeholder));
    stack->addWidget(page);
    grid.addLayout(stack, row, column, cell_alignment);
    return stack;
}

// A connection built while the window exists joins it; codes of the link's module.
void attach_connection(Ws_connection& connection)
{
    Main_window* window = Main_window::instance;
    if (!QObject::connect(&connection, &Ws_connection::servers_changed, window, &Main_window::on_servers_changed,
                          Qt::QueuedConnection))
        log_debug(0x070B);
    if (!QObject::connect(&connection, &Ws_connection::clients_changed, window, &Main_window::on_clients_changed,
                          Qt::QueuedConnection))
        log_debug(0x070C);
    if (!QObject::connect(window, &Main_window::shutdown, &connection, &Ws_connection::on_shutdown,
                          Qt::QueuedConnection))
        log_debug(0x07F0);
}

template <typename Dialog>
void run_modal(QWidget* parent)
{
    Dialog dialog(parent);
    dialog.exec();
}

}  // namespace

Label_with_size::Label_with_size(int width, const QString& text, QWidget* parent)
    : QLabel(text, parent), width(width)
{
}

QSize Label_with_size::sizeHint() const
{
    return QSize(width, QLabel::sizeHint().height());
}

Main_window::Main_window(QThread& exchange_thread, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint),
      exchange_thread(exchange_thread)
{
    Translated texts;
    translate(texts);
    init_fonts(*this);
    setWindowTitle(QStringLiteral("%1 %2").arg(QLatin1String(program_name), QLatin1String(program_version)));
    build(texts);
    connect(&served_devices, &Served_devices::changed, this, &Main_window::configured_devices_changed);
    // A connection that already runs may have announced its state before it could reach us.
    if (register_instance())
        on_servers_changed();
}

Main_window::~Main_window()
{
    QMutexLocker lock(&cfg_mutex);
    if (instance == this) {
        instance = nullptr;
        Ws_connection::window = Ws_connection::Window();
    } else
        log_debug(window_code(113));
}

void Main_window::translate(Translated& texts)
{
    texts.caption_link = tr("Соединение с сервером RUVO-LoRa: ");
    texts.hint_link = tr("Здесь отображается наличие связи с используемым нами сервером\n"
                         "RUVO-LoRa.\n"
                         "\n"
                         "«нет» означает, что связи с сервером RUVO-LoRa в данный момент нет\n"
                         "(и мы, скорее всего, выжидаем задержку, прежде чем снова попытаться\n"
                         "установить эту связь).\n"
                         "\n"
                         "«старт» означает, что установление соединения с сервером RUVO-LoRa\n"
                         "начато, и первый отклик от сервера уже получен (успешно установлено\n"
                         "соединение TCP/IP с этим сервером), но ещё не завершены\n"
                         "формальности, которые необходимо выполнить перед тем, как можно\n"
                         "будет использовать это соединение (например, наша авторизация на\n"
                         "этом сервере).\n"
                         "\n"
                         "«есть» означает, что соединение с сервером RUVO-LoRa в данный\n"
                         "момент существует и готово к использованию.\n"
                         "\n"
                         "При возникновении проблем со связью имеет смысл посмотреть\n"
                         "сообщения об ошибках, записанные программой в файл журнала\n"
                         "(«%1»).")
                          .arg(QString::fromUtf8(log_fname));
    texts.caption_devices = tr("Радиомодемов, подлежащих обслуживанию: ");
    texts.hint_devices = tr("Здесь отображается общее количество радиомодемов, подлежащих\n"
                            "обслуживанию нашей программой (количество радиомодемов, упомянутых\n"
                            "в файле «%1»).")
                             .arg(devices_fname);
    texts.caption_online = tr("... из них доступных для связи: ");
    texts.hint_online = tr("Здесь отображается количество радиомодемов, которые подлежат\n"
                           "обслуживанию нашей программой, и при этом доступны нашей программе\n"
                           "(точнее, сервер RUVO-LoRa, с которым программа имеет в данный\n"
                           "момент связь, сообщил, что эти радиомодемы имеют на нём\n"
                           "аккаунт).\n"
                           "\n"
                           "Для каждого такого радиомодема наша программа создаёт отдельный\n"
                           "TCP-сервер, к которому может подключаться клиент, желающий получить\n"
                           "доступ к устройствам, подключенным к этому радиомодему через RS-232\n"
                           "или RS-485.");
    texts.caption_clients = tr("... из них используемых клиентами: ");
    texts.hint_clients = tr("Здесь отображается, к скольким TCP-серверам, созданным нашей\n"
                            "программой для предоставления доступа к радиомодемам (см. выше), в\n"
                            "данный момент подключены клиенты.\n"
                            "\n"
                            "К каждому созданному нами TCP-серверу в каждый момент времени может\n"
                            "быть подключен только один клиент. Если к серверу подключается\n"
                            "новый клиент, программа разрывает сеанс связи со старым клиентом.");
    texts.caption_btn_devices = tr("Список");
    texts.hint_btn_devices = tr("Если вы нажмёте эту кнопку, будет открыто окно со списком\n"
                                "радиомодемов, подлежащих обслуживанию данной программой. С помощью\n"
                                "этого окна вы сможете добавить радиомодемы в этот список, удалить\n"
                                "радиомодемы из списка или изменить параметры радиомодемов, входящих\n"
                                "в список.");
    texts.caption_btn_about = tr("О программе");
    texts.hint_btn_about = tr("Если вы нажмёте эту кнопку, будет открыто окно с информацией о\n"
                              "данной программе.");
    texts.caption_btn_exit = tr("Выйти");
    texts.hint_btn_exit = tr("Если вы нажмёте эту кнопку, работа программы будет завершена.");
}

void Main_window::build(const Translated& texts)
{
    const QFontMetrics metrics(font_name_big, this);
    const int counter_width = 10 * dec_digit_width(metrics);
    int link_width = 0;
    for (Link_state state : {Link_state::offline, Link_state::start, Link_state::online})
        link_width = qMax(link_width, metrics.horizontalAdvance(link_state_word(state)));
    auto grid = new QGridLayout(this);

    link_state_label = new Label_with_size(link_width, link_state_word(Link_state::offline));
    set_text_color(*link_state_label, color_offline);
    add_row(*grid, 0, texts.caption_link, link_state_label, texts.hint_link);

    devices_count = new Label_with_size(counter_width, QString::number(devices_in_cfg.size()));
    add_row(*grid, 1, texts.caption_devices, devices_count, texts.hint_devices);
    auto btn_devices = new QPushButton(texts.caption_btn_devices);
    btn_devices->setToolTip(texts.hint_btn_devices);
    grid->addWidget(btn_devices, 1, 2, cell_alignment);
    connect(btn_devices, &QPushButton::clicked, this, &Main_window::on_btn_devices_clicked);

    online_count = new Label_with_size(counter_width, QStringLiteral("0"));
    online_count->setToolTip(texts.hint_online);
    // A click on it opens the list of the modems not served, with their reasons.
    online_count->setCursor(Qt::PointingHandCursor);
    online_count->installEventFilter(this);
    set_text_color(*online_count, color_online);
    online_caption_cell = add_stacked(*grid, 2, 0, caption_label(texts.caption_online, texts.hint_online));
    online_value_cell = add_stacked(*grid, 2, 1, online_count);

    clients_count = new Label_with_size(counter_width, QStringLiteral("0"));
    clients_count->setToolTip(texts.hint_clients);
    set_text_color(*clients_count, color_clients);
    clients_caption_cell = add_stacked(*grid, 3, 0, caption_label(texts.caption_clients, texts.hint_clients));
    clients_value_cell = add_stacked(*grid, 3, 1, clients_count);

    auto buttons = new QDialogButtonBox(Qt::Horizontal);
    buttons->addButton(texts.caption_btn_about, QDialogButtonBox::HelpRole)->setToolTip(texts.hint_btn_about);
    buttons->addButton(texts.caption_btn_exit, QDialogButtonBox::RejectRole)->setToolTip(texts.hint_btn_exit);
    grid->addWidget(buttons, 4, 0, 1, 3);
    connect(buttons, &QDialogButtonBox::helpRequested, this, &Main_window::on_btn_about_clicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &Main_window::on_btn_exit_clicked);

    grid->setSizeConstraint(QLayout::SetFixedSize);
}

// Whichever of the window and the link object is created second connects the two.
bool Main_window::register_instance()
{
    QMutexLocker lock(&cfg_mutex);
    if (instance)
        throw Debug(window_code(203));
    instance = this;
    Ws_connection::window = Ws_connection::Window{this, attach_connection};
    Ws_connection* connection = Ws_connection::instance;
    if (connection) {
        if (!connect(connection, &Ws_connection::servers_changed, this, &Main_window::on_servers_changed))
            log_debug(window_code(11));
        if (!connect(connection, &Ws_connection::clients_changed, this, &Main_window::on_clients_changed))
            log_debug(window_code(12));
        if (!connect(this, &Main_window::shutdown, connection, &Ws_connection::on_shutdown))
            log_debug(window_code(112));
    }
    ws_flags &= ~(WS_SERVERS_PENDING | WS_CLIENTS_PENDING);
    return connection != nullptr;
}

void Main_window::configured_devices_changed()
{
    devices_count->setText(QString::number(devices_in_cfg.size()));
}

void Main_window::show_link_state(Link_state state)
{
    static const QColor* const colors[] = {&color_offline, &color_start, &color_online};
    link_state_label->setText(link_state_word(state));
    set_text_color(*link_state_label, *colors[static_cast<int>(state)]);
}

void Main_window::show_rows_online(bool online)
{
    const int page = online ? page_shown : page_blank;
    for (QStackedLayout* cell : {online_caption_cell, online_value_cell, clients_caption_cell, clients_value_cell})
        cell->setCurrentIndex(page);
}

void Main_window::on_servers_changed()
{
    unsigned char flags;
    int servers;
    quint32 clients;
    {
        QMutexLocker lock(&cfg_mutex);
        flags = ws_flags;
        ws_flags &= ~(WS_SERVERS_PENDING | WS_CLIENTS_PENDING);
        servers = tcp_servers.size();
        clients = clients_number;
    }
    const Link_state state = link_state(flags);
    show_link_state(state);
    if (state == Link_state::online) {
        online_count->setText(QString::number(servers));
        clients_count->setText(QString::number(clients));
    }
    show_rows_online(state == Link_state::online);
    emit state_shown();
}

void Main_window::on_clients_changed()
{
    unsigned char flags;
    quint32 clients;
    {
        QMutexLocker lock(&cfg_mutex);
        flags = ws_flags;
        ws_flags &= ~WS_CLIENTS_PENDING;
        clients = clients_number;
    }
    if (flags & WS_ONLINE)
        clients_count->setText(QString::number(clients));
    emit state_shown();
}

void Main_window::on_btn_devices_clicked()
{
    run_modal<Dialog_devices>(this);
}

bool Main_window::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == online_count && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        on_online_count_clicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Main_window::on_online_count_clicked()
{
    Dialog_devices dialog(this);
    dialog.show_not_served_only();
    dialog.exec();
}

void Main_window::on_btn_about_clicked()
{
    run_modal<Dialog_about>(this);
}

void Main_window::on_btn_exit_clicked()
{
    if (exit_state != Exit_state::none)
        return;
    exit_state = Exit_state::waiting;
    {
        QMutexLocker lock(&cfg_mutex);
        ws_flags |= WS_ENDING;
    }
    emit shutdown();
    int result;
    {
        Dialog_exit dialog(this, exchange_thread);
        result = dialog.exec();
    }
    if (result == QDialog::Accepted) {
        note_program_end(exit_reason);
        exit_state = Exit_state::done;
        close();
        QCoreApplication::exit(0);
        return;
    }
    if (result != QDialog::Rejected)
        log_debug(window_code(121));
    note_program_end(Program_end::exit_at_once);
    log_program_end(exit_ok);
    quit_at_once();
}

// The C library's exit would run the static destructors under the still running exchange thread,
// so the process ends without them; the log is closed after every entry, so only standard output
// needs flushing.
void Main_window::quit_at_once()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

void Main_window::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        on_btn_about_clicked();
        return;
    }
    QWidget::keyPressEvent(event);
}

// A close request of the window system takes the same orderly way out as the exit button,
// so that the exchange thread is never left running behind an ended event loop.
void Main_window::closeEvent(QCloseEvent* event)
{
    if (exit_state == Exit_state::done) {
        event->accept();
        return;
    }
    event->ignore();
    if (exit_state != Exit_state::none)
        return;
    exit_reason = Program_end::window_closed;
    QMetaObject::invokeMethod(this, &Main_window::on_btn_exit_clicked, Qt::QueuedConnection);
}
