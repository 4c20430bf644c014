// The captions, tooltips, brushes and collision messages shared by the editing dialogs.
#include "ui/resources_for_editing.h"

#include "ui/colours.h"

#include <QCoreApplication>

QString title_dialog_devices;
QString title_dialog_modems;
QString title_dialog_add_device;
QString title_mbox_del_device;
QString title_dialog_edit_device;
QString caption_eui;
QString caption_tcp_port;
QString short_caption_tcp_port;
QString caption_max_frame_sz;
QString short_caption_max_frame_sz;
QString short_caption_server_exists;
QString short_caption_client_exists;
QString caption_name;
QString caption_all_fields;
QString caption_filter_text;
QString caption_filter_field;
QString caption_filter_selector;
QString caption_modems_used;
QString caption_modems_unused;
QString caption_modems_online;
QString caption_modems_offline;
QString caption_modems_all;
QString caption_devices_add;
QString caption_devices_del;
QString caption_devices_edit;
QString caption_devices_exit;
QString caption_btn_eui;
QString caption_btn_add;
QString caption_btn_not_add;
QString caption_btn_del;
QString caption_btn_not_del;
QString caption_btn_change;
QString caption_btn_not_change;
QString caption_btn_select;
QString caption_btn_not_select;

QString hint_eui;
QString hint_tcp_port;
QString hint_tcp_port_add;
QString hint_max_frame_sz;
QString hint_server_exists;
QString hint_client_exists;
QString hint_name;
QString hint_filter_text;
QString hint_filter_field;
QString hint_filter_selector;
QString hint_devices_add;
QString hint_devices_del;
QString hint_devices_edit;
QString hint_devices_exit;
QString hint_btn_eui;
QString hint_btn_add;
QString hint_btn_not_add;
QString hint_btn_del;
QString hint_btn_not_del;
QString hint_btn_change;
QString hint_btn_not_change;
QString hint_btn_select;
QString hint_btn_not_select;

QBrush br_server_exists;
QBrush br_client_exists;

Tr errfmt_eui_collision{TR_TEXT("add_device",
                                "Радиомодем с адресом 0x%1 уже есть в списке радиомодемов, подлежащих обслуживанию.")};
Tr errfmt_port_collision{TR_TEXT("add_device",
                                 "Порт TCP %1 уже занят (другим радиомодемом из списка радиомодемов, подлежащих "
                                 "обслуживанию).")};
Tr errtext_not_edited{TR_TEXT("edit_device",
                              "Ничего не изменилось.\n"
                              "Если вы не хотите ничего менять, закройте диалог кнопкой «Отмена».")};

namespace {

bool translated = false;

// One shared text: where it goes, and its source with the disambiguation of equal sources (empty
// when the source is unique), marked for lupdate by QT_TRANSLATE_NOOP3 in the context "QObject".
struct Resource {
    QString* target;
    struct {
        const char* source;
        const char* disambiguation;
    } text;
};

const Resource resources[] = {
    {&title_dialog_devices, QT_TRANSLATE_NOOP3("QObject", "Список радиомодемов, подлежащих обслуживанию", "")},
    {&title_dialog_modems, QT_TRANSLATE_NOOP3("QObject", "Список радиомодемов", "")},
    {&title_dialog_add_device, QT_TRANSLATE_NOOP3("QObject", "Добавление радиомодема", "")},
    {&title_mbox_del_device,
     QT_TRANSLATE_NOOP3("QObject",
                        "Удалить радиомодем с EUI=0x%1 (порт TCP-сервера %2) из списка радиомодемов, подлежащих "
                        "обслуживанию?",
                        "")},
    {&title_dialog_edit_device, QT_TRANSLATE_NOOP3("QObject", "Параметры радиомодема", "")},
    {&caption_eui, QT_TRANSLATE_NOOP3("QObject", "Адрес (EUI) радиомодема", "")},
    {&caption_tcp_port, QT_TRANSLATE_NOOP3("QObject", "Порт TCP для подключения клиентов", "")},
    {&short_caption_tcp_port, QT_TRANSLATE_NOOP3("QObject", "Порт\nTCP", "")},
    {&caption_max_frame_sz, QT_TRANSLATE_NOOP3("QObject", "Максимальный размер пакета", "")},
    {&short_caption_max_frame_sz, QT_TRANSLATE_NOOP3("QObject", "Макс.\nразмер\nпакета", "")},
    {&short_caption_server_exists, QT_TRANSLATE_NOOP3("QObject", "Досту-\nпно", "")},
    {&short_caption_client_exists, QT_TRANSLATE_NOOP3("QObject", "Есть\nклиент", "")},
    {&caption_name, QT_TRANSLATE_NOOP3("QObject", "Имя радиомодема", "")},
    {&caption_all_fields, QT_TRANSLATE_NOOP3("QObject", "все поля", "")},
    {&caption_filter_text, QT_TRANSLATE_NOOP3("QObject", "Фильтр", "")},
    {&caption_filter_field, QT_TRANSLATE_NOOP3("QObject", " по полю", "")},
    {&caption_filter_selector, QT_TRANSLATE_NOOP3("QObject", "Какие радиомодемы включать в список:", "")},
    {&caption_modems_used, QT_TRANSLATE_NOOP3("QObject", "доступные и используемые нами", "")},
    {&caption_modems_unused, QT_TRANSLATE_NOOP3("QObject", "доступные, но ещё не используемые нами", "")},
    {&caption_modems_online, QT_TRANSLATE_NOOP3("QObject", "все доступные", "")},
    {&caption_modems_offline, QT_TRANSLATE_NOOP3("QObject", "недоступные (но упомянутые в конфигурации)", "")},
    {&caption_modems_all, QT_TRANSLATE_NOOP3("QObject", "вообще все упомянутые где-либо", "")},
    {&caption_devices_add, QT_TRANSLATE_NOOP3("QObject", "Добавить", "call")},
    {&caption_devices_del, QT_TRANSLATE_NOOP3("QObject", "Удалить", "")},
    {&caption_devices_edit, QT_TRANSLATE_NOOP3("QObject", "Изменить", "")},
    {&caption_devices_exit, QT_TRANSLATE_NOOP3("QObject", "Закрыть окно", "")},
    {&caption_btn_eui, QT_TRANSLATE_NOOP3("QObject", "Выбрать", "call")},
    {&caption_btn_add, QT_TRANSLATE_NOOP3("QObject", "Добавить", "return")},
    {&caption_btn_not_add, QT_TRANSLATE_NOOP3("QObject", "Отмена", "add")},
    {&caption_btn_del, QT_TRANSLATE_NOOP3("QObject", "Да", "")},
    {&caption_btn_not_del, QT_TRANSLATE_NOOP3("QObject", "Нет", "")},
    {&caption_btn_change, QT_TRANSLATE_NOOP3("QObject", "Установить", "")},
    {&caption_btn_not_change, QT_TRANSLATE_NOOP3("QObject", "Отмена", "change")},
    {&caption_btn_select, QT_TRANSLATE_NOOP3("QObject", "Выбрать", "return")},
    {&caption_btn_not_select, QT_TRANSLATE_NOOP3("QObject", "Отмена", "select")},

    {&hint_eui,
     QT_TRANSLATE_NOOP3("QObject",
                        "Адрес (Extended Unique Identifier, EUI-64) радиомодема (РУВО ТМ-5)\n"
                        "в беспроводной сети LoRa (обслуживаемой сервером RUVO-LoRa, на\n"
                        "работу с которым настроена наша программа). Представляет собой\n"
                        "64-битное шестнадцатиричное число (16 шестнадцатиричных цифр).\n"
                        "Целевые устройства подключены к этому радиомодему через интерфейс\n"
                        "RS-232 или RS-485.",
                        "")},
    {&hint_tcp_port,
     QT_TRANSLATE_NOOP3("QObject",
                        "Номер порта TCP/IP (целое десятичное число в диапазоне\n"
                        "1...65535), не совпадающий с номером какого либо порта TCP/IP,\n"
                        "уже занятого под другие цели.\n"
                        "\n"
                        "Всякий раз, когда у нашей программы имеется исправный канал связи с\n"
                        "сервером RUVO-LoRa, и на этом сервере RUVO-LoRa есть аккаунт для\n"
                        "радиомодема с указанным EUI, данная программа создаёт сервер TCP,\n"
                        "слушающий этот порт. Клиент, желающий соединиться с устройствами,\n"
                        "подключенными через этот радиомодем, устанавливает соединение TCP,\n"
                        "указав в качестве адреса назначения адрес нашего компьютера и этот\n"
                        "номер порта - запросы, приходящие по этому соединению,\n"
                        "перенаправляются на сервер RUVO-LoRa и далее на радиомодем и на\n"
                        "целевые устройства.",
                        "")},
    {&hint_tcp_port_add,
     QT_TRANSLATE_NOOP3("QObject",
                        "Номер порта TCP/IP (целое десятичное число в диапазоне\n"
                        "1...65535), не совпадающий с номером какого-либо порта TCP/IP,\n"
                        "уже занятого под другие цели.\n"
                        "\n"
                        "Всякий раз, когда у нашей программы будет исправный канал связи с\n"
                        "сервером RUVO-LoRa, и на этом сервере RUVO-LoRa будет аккаунт для\n"
                        "радиомодема с вышеуказанным EUI, данная программа будет создавать\n"
                        "сервер TCP, слушающий этот порт. Клиент, желающий соединиться с\n"
                        "устройствами, подключенными через этот радиомодем, должен будет\n"
                        "установить соединение TCP, указав в качестве адреса назначения\n"
                        "адрес нашего компьютера и этот номер порта - запросы, приходящие по\n"
                        "этому соединению, будут перенаправляться на сервер RUVO-LoRa и\n"
                        "далее на радиомодем и на целевые устройства.\n"
                        "\n"
                        "Исходно здесь отображён первый номер TCP-порта, не меньший\n"
                        "%1, ещё не занятый нашей программой (теоретически, порт может\n"
                        "быть занят другой программой, но обычно такие номера портов\n"
                        "свободны).",
                        "")},
    {&hint_max_frame_sz,
     QT_TRANSLATE_NOOP3("QObject",
                        "Технология LoRa накладывает ограничение на максимальный размер\n"
                        "пакета, в зависимости от скорости, на которой работает радиомодем.\n"
                        "Зависимость следующая:\n"
                        "скорость DR0: 51 байт\n"
                        "скорость DR1: 51 байт\n"
                        "скорость DR2: 51 байт\n"
                        "скорость DR3: 115 байтов\n"
                        "скорость DR4: 222 байта\n"
                        "скорость DR5: 222 байта\n"
                        "скорость DR6: 222 байта\n"
                        "скорость DR7: 222 байта\n"
                        "Программа позволяет вводить и другие значения максимального размера\n"
                        "пакета, но обычно это бессмысленно.\n"
                        "\n"
                        "Наша программа рассчитывает на то, что запросы от клиента,\n"
                        "приходящие через соединение TCP/IP, будут иметь длину не большую,\n"
                        "чем указанное здесь значение (если более длинный запрос всё-таки\n"
                        "приходит, это считается ошибкой и приводит к разрыву соединения с\n"
                        "клиентом). На ответ устройства это ограничение не действует - ответ\n"
                        "при необходимости передаётся в виде нескольких (до 256) пакетов\n"
                        "LoRa (которые будут собраны нашей программой и переданы клиенту\n"
                        "\"одним куском\").",
                        "")},
    {&hint_server_exists,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если в этом столбце стоит галочка, это означает, что радиомодем\n"
                        "имеет аккаунт на сервере RUVO-LoRa (поэтому наша программа готова\n"
                        "обслуживать запросы клиентов к этому радиомодему, и создала для\n"
                        "этого сервер TCP).",
                        "")},
    {&hint_client_exists,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если в этом столбце стоит галочка, это означает, что в данный\n"
                        "момент установлено TCP-соединение с клиентом, желающим использовать\n"
                        "соответствующий радиомодем (и, вероятно, через нашу программу идёт\n"
                        "поток сообщений между этими клиентом и радиомодемом).",
                        "")},
    {&hint_name,
     QT_TRANSLATE_NOOP3("QObject",
                        "В этом столбце отображается имя, под которым радиомодем\n"
                        "зарегистрирован на сервере RUVO-LoRa.\n"
                        "\n"
                        "Если радиомодем не имеет аккаунта на сервере RUVO-LoRa, или если\n"
                        "связи с сервером в данный момент нет, имя не отображается\n"
                        "(поскольку мы его не знаем). Даже если есть и аккаунт и связь, имя\n"
                        "может не отображаться, поскольку радиомодем может быть\n"
                        "безымянным.\n"
                        "\n"
                        "Имя используется только для отображения пользователю - на поведение\n"
                        "системы оно никак не влияет.",
                        "")},
    {&hint_filter_text,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы введёте здесь какой-нибудь текст, в таблице будут\n"
                        "отображаться только те строки, у которых в соответствующем столбце\n"
                        "присутствует этот текст (не обязательно в начале).",
                        "")},
    {&hint_filter_field,
     QT_TRANSLATE_NOOP3("QObject",
                        "Здесь вы можете выбрать столбец таблицы, в котором надо будет\n"
                        "искать текст, введённый вами в поле «Фильтр».\n"
                        "\n"
                        "Если вы выберете вариант «все поля», в таблице будут отображаться\n"
                        "все строки, у которых введённый текст присутствует хоть в одном из\n"
                        "столбцов.",
                        "")},
    {&hint_filter_selector,
     QT_TRANSLATE_NOOP3("QObject",
                        "Здесь вы можете выбрать, какие радиомодемы будут отображаться в\n"
                        "этом окне:\n"
                        "\n"
                        "«доступные и используемые нами» - отображать только радиомодемы,\n"
                        "   имеющие аккаунт и на сервере RUVO-LoRa, и в нашей программе.\n"
                        "\n"
                        "«доступные, но ещё не используемые нами» - отображать только\n"
                        "   радиомодемы, имеющие аккаунт на сервере RUVO-LoRa, но не в нашей\n"
                        "   программе.\n"
                        "\n"
                        "«все доступные» - отображать все радиомодемы, имеющие аккаунт на\n"
                        "   сервере RUVO-LoRa.\n"
                        "\n"
                        "«недоступные (но упомянутые в конфигурации)» - отображать только\n"
                        "   радиомодемы, имеющие аккаунт в нашей программе, но не на сервере\n"
                        "   RUVO-LoRa.\n"
                        "\n"
                        "«вообще все упомянутые где-либо» - отображать все радиомодемы,\n"
                        "   имеющие аккаунт хоть где-нибудь (в нашей программе или на\n"
                        "   сервере RUVO-LoRa).\n"
                        "\n"
                        "Если канал связи с сервером RUVO-LoRa сейчас неисправен, считаем,\n"
                        "что доступных радиомодемов нет (1-й, 2-й и 3-й списки получаются\n"
                        "пустыми, а в 4-й и 5-й будут включены все радиомодемы, упомянутые в\n"
                        "конфигурации).",
                        "")},
    {&hint_devices_add,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, откроется окно, в котором вы сможете\n"
                        "ввести параметры радиомодема, который вы хотите добавить в список.",
                        "")},
    {&hint_devices_del,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, выделенный в списке радиомодем будет\n"
                        "удалён из списка радиомодемов, подлежащих обслуживанию (и будет\n"
                        "разорвано соединение с использующим этот радиомодем клиентом, если\n"
                        "оно есть). Изменённый список радиомодемов будет сразу же сохранён\n"
                        "на диск.\n"
                        "\n"
                        "Перед удалением программа спросит у вас подтверждение.",
                        "")},
    {&hint_devices_edit,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, откроется окно, отображающее параметры\n"
                        "радиомодема, выделенного в списке. С помощью этого окна вы сможете\n"
                        "изменить эти параметры, если захотите.",
                        "")},
    {&hint_devices_exit,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, окно со списком радиомодемов будет\n"
                        "закрыто, и вы вернётесь в главное окно программы.",
                        "")},
    {&hint_btn_eui,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, и если канал связи с сервером\n"
                        "RUVO-LoRa сейчас исправен, программа покажет список\n"
                        "радиомодемов, имеющих аккаунт на этом сервере RUVO-LoRa. Если\n"
                        "вы выберете какой-нибудь радиомодем в этом списке, адрес (EUI)\n"
                        "этого радиомодема будет скопирован в соответствующее поле ввода\n"
                        "в текущем окне.",
                        "")},
    {&hint_btn_add,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, радиомодем с параметрами,\n"
                        "отображёнными в текущем окне, будет добавлен в список\n"
                        "радиомодемов, подлежащих обслуживанию нашей программой (и новый\n"
                        "список будет сразу же сохранён на диск). Если этот радиомодем также\n"
                        "имеет аккаунт на сервере RUVO-LoRa, и канал связи с этим сервером\n"
                        "исправен, радиомодем сразу же начнёт обслуживаться (будет создан\n"
                        "TCP-сервер для приёма запросов от клиентов).\n"
                        "\n"
                        "Перед добавлением параметры будут проверены - в случае ошибки\n"
                        "окно не будет закрыто, и вы сможете попробовать снова.",
                        "")},
    {&hint_btn_not_add,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, текущее окно будет закрыто\n"
                        "(добавление радиомодема не произойдёт).",
                        "")},
    {&hint_btn_del,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, радиомодем будет удалён из списка\n"
                        "радиомодемов, подлежащих обслуживанию (и будет разорвано соединение\n"
                        "с использующим этот радиомодем клиентом, если оно есть). Изменённый\n"
                        "список радиомодемов будет сразу же сохранён на диск.",
                        "")},
    {&hint_btn_not_del,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, радиомодем не будет удалён из списка\n"
                        "(всё будет так, как если бы вы не нажимали кнопку «Удалить» в окне\n"
                        "со списком радиомодемов).",
                        "")},
    {&hint_btn_change,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, программа назначит данному радиомодему\n"
                        "те параметры, которые отображены в текущем окне (и изменения сразу\n"
                        "же будут сохранены на диск). Если радиомодем обслуживается прямо\n"
                        "сейчас, он будет снят с обслуживания и поставлен снова (если при\n"
                        "этом было TCP-соединение с клиентом, оно будет разорвано).\n"
                        "\n"
                        "Перед изменением параметры будут проверены - в случае ошибки (в\n"
                        "т.ч. если вы ничего не изменили) окно не будет закрыто, и вы\n"
                        "сможете попробовать снова.",
                        "")},
    {&hint_btn_not_change,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, текущее окно будет закрыто\n"
                        "(изменение параметров радиомодема не произойдёт).",
                        "")},
    {&hint_btn_select,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, текущее окно будет закрыто.\n"
                        "EUI радиомодема, который вы выбрали в этом окне, будет скопирован в\n"
                        "поле для ввода EUI в родительском окне.\n"
                        "\n"
                        "Если вы не выбрали радиомодем, будет выдано сообщение об ошибке\n"
                        "(окно не будет закрыто).",
                        "")},
    {&hint_btn_not_select,
     QT_TRANSLATE_NOOP3("QObject",
                        "Если вы нажмёте эту кнопку, текущее окно будет закрыто. Поле для\n"
                        "ввода EUI в родительском окне останется неизменным.",
                        "")},
};

}  // namespace

void Resources_for_editing::init()
{
    if (translated)
        return;
    for (const Resource& r : resources)
        *r.target = QCoreApplication::translate("QObject", r.text.source, r.text.disambiguation);
    hint_tcp_port_add = hint_tcp_port_add.arg(first_suggested_port);
    translated = true;
    br_server_exists = QBrush(color_online);
    br_client_exists = QBrush(color_clients);
}
