<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>Main_window</name>
    <message>
        <source>Соединение с сервером RUVO-LoRa: </source>
        <translation>Connection to the RUVO-LoRa server: </translation>
    </message>
    <message>
        <source>Здесь отображается наличие связи с используемым нами сервером
RUVO-LoRa.

«нет» означает, что связи с сервером RUVO-LoRa в данный момент нет
(и мы, скорее всего, выжидаем задержку, прежде чем снова попытаться
установить эту связь).

«старт» означает, что установление соединения с сервером RUVO-LoRa
начато, и первый отклик от сервера уже получен (успешно установлено
соединение TCP/IP с этим сервером), но ещё не завершены
формальности, которые необходимо выполнить перед тем, как можно
будет использовать это соединение (например, наша авторизация на
этом сервере).

«есть» означает, что соединение с сервером RUVO-LoRa в данный
момент существует и готово к использованию.

При возникновении проблем со связью имеет смысл посмотреть
сообщения об ошибках, записанные программой в файл журнала
(«%1»).</source>
        <translation>Shows the state of the link with the RUVO-LoRa server.

&quot;offline&quot;: there is no link with the server at the moment; most
likely the program is waiting out the reconnect delay.

&quot;starting&quot;: the connection to the server has started and the
server has answered (the TCP/IP connection is up), but the steps
that come before the link can be used, such as logging in, are
not finished yet.

&quot;online&quot;: the link with the server is up and ready for use.

If the link has problems, read the error messages in the
program&apos;s log file
(&quot;%1&quot;).</translation>
    </message>
    <message>
        <source>Радиомодемов, подлежащих обслуживанию: </source>
        <translation>Radio modems to serve: </translation>
    </message>
    <message>
        <source>Здесь отображается общее количество радиомодемов, подлежащих
обслуживанию нашей программой (количество радиомодемов, упомянутых
в файле «%1»).</source>
        <translation>The number of radio modems that the program is to serve
(the radio modems listed in the file &quot;%1&quot;).</translation>
    </message>
    <message>
        <source>... из них доступных для связи: </source>
        <translation>... available: </translation>
    </message>
    <message>
        <source>Здесь отображается количество радиомодемов, которые подлежат
обслуживанию нашей программой, и при этом доступны нашей программе
(точнее, сервер RUVO-LoRa, с которым программа имеет в данный
момент связь, сообщил, что эти радиомодемы имеют на нём
аккаунт).

Для каждого такого радиомодема наша программа создаёт отдельный
TCP-сервер, к которому может подключаться клиент, желающий получить
доступ к устройствам, подключенным к этому радиомодему через RS-232
или RS-485.</source>
        <translation>How many of the radio modems to serve are available: the
RUVO-LoRa server that the program is linked with reports an
account for each of them.

For every available radio modem the program runs a TCP server;
a client connects to it to reach the devices wired to that
radio modem over RS-232 or RS-485.</translation>
    </message>
    <message>
        <source>... из них используемых клиентами: </source>
        <translation>... in use by clients: </translation>
    </message>
    <message>
        <source>Здесь отображается, к скольким TCP-серверам, созданным нашей
программой для предоставления доступа к радиомодемам (см. выше), в
данный момент подключены клиенты.

К каждому созданному нами TCP-серверу в каждый момент времени может
быть подключен только один клиент. Если к серверу подключается
новый клиент, программа разрывает сеанс связи со старым клиентом.</source>
        <translation>How many of the program&apos;s TCP servers (one for each available
radio modem, see above) have a client connected at the moment.

Each TCP server serves one client at a time. When a new client
connects, the server ends the session with the previous one.</translation>
    </message>
    <message>
        <source>Список</source>
        <translation>Modems...</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, будет открыто окно со списком
радиомодемов, подлежащих обслуживанию данной программой. С помощью
этого окна вы сможете добавить радиомодемы в этот список, удалить
радиомодемы из списка или изменить параметры радиомодемов, входящих
в список.</source>
        <translation>Opens the list of radio modems that the program serves. There
you can add radio modems, remove them, and edit their
settings.</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, будет открыто окно с информацией о
данной программе.</source>
        <translation>Opens a window with information about
this program.</translation>
    </message>
    <message>
        <source>Выйти</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, работа программы будет завершена.</source>
        <translation>Ends the program.</translation>
    </message>
    <message>
        <source>нет</source>
        <translation>offline</translation>
    </message>
    <message>
        <source>старт</source>
        <translation>starting</translation>
    </message>
    <message>
        <source>есть</source>
        <translation>online</translation>
    </message>
</context>
<context>
    <name>QDialog</name>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>%1

При запуске программа читает свою конфигурацию из файла «%2». Для изменения конфигурации отредактируйте этот файл с помощью текстового редактора. Формат файла описан в образцовом файле конфигурации, поставляемом вместе с программой.

Программа записывает сообщения об ошибках в файл «%3». Также в этот файл может записываться трассировка обмена с сервером и с клиентами, если это заказано в файле конфигурации.

С помощью командной строки программа может быть настроена на работу с другим файлом конфигурации и/или файлом журнала. Для получения справки по параметрам командной строки запускайте программу с опцией «-h».

Список радиомодемов, подлежащих обслуживанию, хранится в файле «%4» (имя файла настраивается в файле конфигурации). Обычно нет необходимости редактировать этот файл вручную.</source>
        <translation>%1

At startup the program reads its configuration from the file &quot;%2&quot;. To change the configuration, edit this file in a text editor; the sample configuration file that comes with the program describes its format.

The program writes error messages to the file &quot;%3&quot;. If the configuration file asks for it, a trace of the exchange with the server and the clients goes there too.

Command-line options can name another configuration file or log file; start the program with the option &quot;-h&quot; for help on them.

The list of radio modems to serve is kept in the file &quot;%4&quot; (the configuration file sets its name). There is usually no need to edit this file by hand.</translation>
    </message>
    <message>
        <source>%1, версия %2 (%3), сборка %4 %5

Эта программа через соединение WebSocket подключается к серверу RUVO-LoRa, а к этой программе, но уже через соединения TCP, подключаются клиенты, желающие получить доступ к устройствам, подключенным через RS-232 или RS-485 к радиомодемам, доступным через этот сервер RUVO-LoRa.</source>
        <translation>%1, version %2 (%3), build %4 %5

This program connects to the RUVO-LoRa server over a WebSocket connection and lets TCP clients reach devices wired over RS-232 or RS-485 to the radio modems of that server.</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Список радиомодемов, подлежащих обслуживанию</source>
        <translation>Radio modems to serve</translation>
    </message>
    <message>
        <source>Список радиомодемов</source>
        <translation>Radio modems</translation>
    </message>
    <message>
        <source>Добавление радиомодема</source>
        <translation>Add a radio modem</translation>
    </message>
    <message>
        <source>Удалить радиомодем с EUI=0x%1 (порт TCP-сервера %2) из списка радиомодемов, подлежащих обслуживанию?</source>
        <translation>Remove the radio modem with EUI=0x%1 (TCP server port %2) from the list of radio modems to serve?</translation>
    </message>
    <message>
        <source>Параметры радиомодема</source>
        <translation>Radio modem settings</translation>
    </message>
    <message>
        <source>Адрес (EUI) радиомодема</source>
        <translation>Radio modem address (EUI)</translation>
    </message>
    <message>
        <source>Порт TCP для подключения клиентов</source>
        <translation>TCP port for clients</translation>
    </message>
    <message>
        <source>Порт
TCP</source>
        <translation>TCP
port</translation>
    </message>
    <message>
        <source>Максимальный размер пакета</source>
        <translation>Maximum packet size</translation>
    </message>
    <message>
        <source>Макс.
размер
пакета</source>
        <translation>Max.
packet
size</translation>
    </message>
    <message>
        <source>Досту-
пно</source>
        <translation>Port
open</translation>
    </message>
    <message>
        <source>Есть
клиент</source>
        <translation>Has
client</translation>
    </message>
    <message>
        <source>Имя радиомодема</source>
        <translation>Radio modem name</translation>
    </message>
    <message>
        <source>все поля</source>
        <translation>all fields</translation>
    </message>
    <message>
        <source>Фильтр</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source> по полю</source>
        <translation> in column</translation>
    </message>
    <message>
        <source>Какие радиомодемы включать в список:</source>
        <translation>Modems to list:</translation>
    </message>
    <message>
        <source>доступные и используемые нами</source>
        <translation>available and served here</translation>
    </message>
    <message>
        <source>доступные, но ещё не используемые нами</source>
        <translation>available, not yet served here</translation>
    </message>
    <message>
        <source>все доступные</source>
        <translation>all available</translation>
    </message>
    <message>
        <source>недоступные (но упомянутые в конфигурации)</source>
        <translation>unavailable, in the configuration</translation>
    </message>
    <message>
        <source>вообще все упомянутые где-либо</source>
        <translation>all known</translation>
    </message>
    <message>
        <source>Добавить</source>
        <comment>call</comment>
        <translation>Add</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Изменить</source>
        <translation>Edit...</translation>
    </message>
    <message>
        <source>Закрыть окно</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Выбрать</source>
        <comment>call</comment>
        <translation>Pick...</translation>
    </message>
    <message>
        <source>Добавить</source>
        <comment>return</comment>
        <translation>Add</translation>
    </message>
    <message>
        <source>Отмена</source>
        <comment>add</comment>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Установить</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <comment>change</comment>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Выбрать</source>
        <comment>return</comment>
        <translation>Pick</translation>
    </message>
    <message>
        <source>Отмена</source>
        <comment>select</comment>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Адрес (Extended Unique Identifier, EUI-64) радиомодема (РУВО ТМ-5)
в беспроводной сети LoRa (обслуживаемой сервером RUVO-LoRa, на
работу с которым настроена наша программа). Представляет собой
64-битное шестнадцатиричное число (16 шестнадцатиричных цифр).
Целевые устройства подключены к этому радиомодему через интерфейс
RS-232 или RS-485.</source>
        <translation>Address (Extended Unique Identifier, EUI-64) of the radio modem
(RUVO TM-5) in the LoRa network of the RUVO-LoRa server that the
program works with: a 64-bit hexadecimal number (16 hexadecimal
digits). The target devices are wired to this radio modem over
RS-232 or RS-485.</translation>
    </message>
    <message>
        <source>Номер порта TCP/IP (целое десятичное число в диапазоне
1...65535), не совпадающий с номером какого либо порта TCP/IP,
уже занятого под другие цели.

Всякий раз, когда у нашей программы имеется исправный канал связи с
сервером RUVO-LoRa, и на этом сервере RUVO-LoRa есть аккаунт для
радиомодема с указанным EUI, данная программа создаёт сервер TCP,
слушающий этот порт. Клиент, желающий соединиться с устройствами,
подключенными через этот радиомодем, устанавливает соединение TCP,
указав в качестве адреса назначения адрес нашего компьютера и этот
номер порта - запросы, приходящие по этому соединению,
перенаправляются на сервер RUVO-LoRa и далее на радиомодем и на
целевые устройства.</source>
        <translation>TCP port number: a decimal integer from 1 to 65535 that no
other program uses.

Whenever the program has a working link with the RUVO-LoRa
server and that server has an account for the radio modem with
this EUI, the program listens on this port. A client reaches the
devices behind the radio modem by connecting to this computer on
this port: its requests go on to the RUVO-LoRa server, the radio
modem and the target devices.</translation>
    </message>
    <message>
        <source>Номер порта TCP/IP (целое десятичное число в диапазоне
1...65535), не совпадающий с номером какого-либо порта TCP/IP,
уже занятого под другие цели.

Всякий раз, когда у нашей программы будет исправный канал связи с
сервером RUVO-LoRa, и на этом сервере RUVO-LoRa будет аккаунт для
радиомодема с вышеуказанным EUI, данная программа будет создавать
сервер TCP, слушающий этот порт. Клиент, желающий соединиться с
устройствами, подключенными через этот радиомодем, должен будет
установить соединение TCP, указав в качестве адреса назначения
адрес нашего компьютера и этот номер порта - запросы, приходящие по
этому соединению, будут перенаправляться на сервер RUVO-LoRa и
далее на радиомодем и на целевые устройства.

Исходно здесь отображён первый номер TCP-порта, не меньший
%1, ещё не занятый нашей программой (теоретически, порт может
быть занят другой программой, но обычно такие номера портов
свободны).</source>
        <translation>TCP port number: a decimal integer from 1 to 65535 that no
other program uses.

Whenever the program has a working link with the RUVO-LoRa
server and that server has an account for the radio modem with
the EUI above, the program will listen on this port. A client
reaches the devices behind the radio modem by connecting to this
computer on this port: its requests go on to the RUVO-LoRa
server, the radio modem and the target devices.

The field starts with the first port from %1 up that the
program does not use yet. Another program could be using it,
but ports in this range are usually free.</translation>
    </message>
    <message>
        <source>Технология LoRa накладывает ограничение на максимальный размер
пакета, в зависимости от скорости, на которой работает радиомодем.
Зависимость следующая:
скорость DR0: 51 байт
скорость DR1: 51 байт
скорость DR2: 51 байт
скорость DR3: 115 байтов
скорость DR4: 222 байта
скорость DR5: 222 байта
скорость DR6: 222 байта
скорость DR7: 222 байта
Программа позволяет вводить и другие значения максимального размера
пакета, но обычно это бессмысленно.

Наша программа рассчитывает на то, что запросы от клиента,
приходящие через соединение TCP/IP, будут иметь длину не большую,
чем указанное здесь значение (если более длинный запрос всё-таки
приходит, это считается ошибкой и приводит к разрыву соединения с
клиентом). На ответ устройства это ограничение не действует - ответ
при необходимости передаётся в виде нескольких (до 256) пакетов
LoRa (которые будут собраны нашей программой и переданы клиенту
&quot;одним куском&quot;).</source>
        <translation>LoRa limits the packet size according to the data rate of the
radio modem:
data rate DR0: 51 bytes
data rate DR1: 51 bytes
data rate DR2: 51 bytes
data rate DR3: 115 bytes
data rate DR4: 222 bytes
data rate DR5: 222 bytes
data rate DR6: 222 bytes
data rate DR7: 222 bytes
Other values are accepted, but rarely make sense.

A client request that arrives over TCP/IP must not be longer
than this value; a longer request is an error, and the client is
disconnected. The limit does not apply to the device&apos;s answer,
which may come in several (up to 256) LoRa packets that the
program joins and passes to the client in one piece.</translation>
    </message>
    <message>
        <source>Если в этом столбце стоит галочка, это означает, что радиомодем
имеет аккаунт на сервере RUVO-LoRa (поэтому наша программа готова
обслуживать запросы клиентов к этому радиомодему, и создала для
этого сервер TCP).</source>
        <translation>A tick means that the radio modem has an account on the
RUVO-LoRa server, so the program serves client requests to it
and listens on its TCP port.</translation>
    </message>
    <message>
        <source>Если в этом столбце стоит галочка, это означает, что в данный
момент установлено TCP-соединение с клиентом, желающим использовать
соответствующий радиомодем (и, вероятно, через нашу программу идёт
поток сообщений между этими клиентом и радиомодемом).</source>
        <translation>A tick means that a client is connected to this radio modem&apos;s
TCP port at the moment (and probably exchanging messages with
the radio modem through the program).</translation>
    </message>
    <message>
        <source>В этом столбце отображается имя, под которым радиомодем
зарегистрирован на сервере RUVO-LoRa.

Если радиомодем не имеет аккаунта на сервере RUVO-LoRa, или если
связи с сервером в данный момент нет, имя не отображается
(поскольку мы его не знаем). Даже если есть и аккаунт и связь, имя
может не отображаться, поскольку радиомодем может быть
безымянным.

Имя используется только для отображения пользователю - на поведение
системы оно никак не влияет.</source>
        <translation>The name under which the radio modem is registered on the
RUVO-LoRa server.

No name is shown when the radio modem has no account on the
server, or when there is no link with the server at the moment.
A radio modem may also have no name at all.

The name is for display only; it does not affect how the
program works.</translation>
    </message>
    <message>
        <source>Если вы введёте здесь какой-нибудь текст, в таблице будут
отображаться только те строки, у которых в соответствующем столбце
присутствует этот текст (не обязательно в начале).</source>
        <translation>Type some text here to show only the rows that contain it in
the chosen column (anywhere, not only at the start).</translation>
    </message>
    <message>
        <source>Здесь вы можете выбрать столбец таблицы, в котором надо будет
искать текст, введённый вами в поле «Фильтр».

Если вы выберете вариант «все поля», в таблице будут отображаться
все строки, у которых введённый текст присутствует хоть в одном из
столбцов.</source>
        <translation>The table column in which to look for the text typed in the
&quot;Filter&quot; field.

&quot;all fields&quot; shows every row that has the text in any
column.</translation>
    </message>
    <message>
        <source>Здесь вы можете выбрать, какие радиомодемы будут отображаться в
этом окне:

«доступные и используемые нами» - отображать только радиомодемы,
   имеющие аккаунт и на сервере RUVO-LoRa, и в нашей программе.

«доступные, но ещё не используемые нами» - отображать только
   радиомодемы, имеющие аккаунт на сервере RUVO-LoRa, но не в нашей
   программе.

«все доступные» - отображать все радиомодемы, имеющие аккаунт на
   сервере RUVO-LoRa.

«недоступные (но упомянутые в конфигурации)» - отображать только
   радиомодемы, имеющие аккаунт в нашей программе, но не на сервере
   RUVO-LoRa.

«вообще все упомянутые где-либо» - отображать все радиомодемы,
   имеющие аккаунт хоть где-нибудь (в нашей программе или на
   сервере RUVO-LoRa).

Если канал связи с сервером RUVO-LoRa сейчас неисправен, считаем,
что доступных радиомодемов нет (1-й, 2-й и 3-й списки получаются
пустыми, а в 4-й и 5-й будут включены все радиомодемы, упомянутые в
конфигурации).</source>
        <translation>Which radio modems this window lists:

&quot;available and served here&quot;: radio modems that have an account
   both on the RUVO-LoRa server and in this program.

&quot;available, not yet served here&quot;: radio modems that have an
   account on the RUVO-LoRa server but not in this program.

&quot;all available&quot;: every radio modem that has an account on the
   RUVO-LoRa server.

&quot;unavailable, in the configuration&quot;: radio modems that have an
   account in this program but not on the RUVO-LoRa server.

&quot;all known&quot;: every radio modem that has an account anywhere
   (in this program or on the RUVO-LoRa server).

While the link with the RUVO-LoRa server is down, no radio
modem counts as available: the first three lists are empty, and
the last two list every radio modem in the configuration.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, откроется окно, в котором вы сможете
ввести параметры радиомодема, который вы хотите добавить в список.</source>
        <translation>Opens a window where you enter the settings of a radio modem
to add to the list.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, выделенный в списке радиомодем будет
удалён из списка радиомодемов, подлежащих обслуживанию (и будет
разорвано соединение с использующим этот радиомодем клиентом, если
оно есть). Изменённый список радиомодемов будет сразу же сохранён
на диск.

Перед удалением программа спросит у вас подтверждение.</source>
        <translation>Removes the radio modem selected in the list from the radio
modems to serve (and disconnects its client, if any). The
changed list is saved to disk at once.

The program asks you to confirm first.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, откроется окно, отображающее параметры
радиомодема, выделенного в списке. С помощью этого окна вы сможете
изменить эти параметры, если захотите.</source>
        <translation>Opens a window with the settings of the radio modem selected
in the list, where you can change them.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, окно со списком радиомодемов будет
закрыто, и вы вернётесь в главное окно программы.</source>
        <translation>Closes the list of radio modems and returns to the main
window.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, и если канал связи с сервером
RUVO-LoRa сейчас исправен, программа покажет список
радиомодемов, имеющих аккаунт на этом сервере RUVO-LoRa. Если
вы выберете какой-нибудь радиомодем в этом списке, адрес (EUI)
этого радиомодема будет скопирован в соответствующее поле ввода
в текущем окне.</source>
        <translation>If the link with the RUVO-LoRa server is working, shows the
radio modems that have an account on that server. The address
(EUI) of the radio modem you pick there is copied into the EUI
field of this window.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, радиомодем с параметрами,
отображёнными в текущем окне, будет добавлен в список
радиомодемов, подлежащих обслуживанию нашей программой (и новый
список будет сразу же сохранён на диск). Если этот радиомодем также
имеет аккаунт на сервере RUVO-LoRa, и канал связи с этим сервером
исправен, радиомодем сразу же начнёт обслуживаться (будет создан
TCP-сервер для приёма запросов от клиентов).

Перед добавлением параметры будут проверены - в случае ошибки
окно не будет закрыто, и вы сможете попробовать снова.</source>
        <translation>Adds the radio modem with the settings shown in this window to
the radio modems to serve (the new list is saved to disk at
once). If the radio modem has an account on the RUVO-LoRa server
and the link with the server is working, the program starts
serving it at once: it listens on its TCP port for clients.

The settings are checked first; if one is wrong, the window
stays open so that you can correct it.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, текущее окно будет закрыто
(добавление радиомодема не произойдёт).</source>
        <translation>Closes this window without adding a radio
modem.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, радиомодем будет удалён из списка
радиомодемов, подлежащих обслуживанию (и будет разорвано соединение
с использующим этот радиомодем клиентом, если оно есть). Изменённый
список радиомодемов будет сразу же сохранён на диск.</source>
        <translation>Removes the radio modem from the radio modems to serve (and
disconnects its client, if any). The changed list is saved to
disk at once.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, радиомодем не будет удалён из списка
(всё будет так, как если бы вы не нажимали кнопку «Удалить» в окне
со списком радиомодемов).</source>
        <translation>Keeps the radio modem in the list, as if you had not pressed
&quot;Remove&quot; in the list window.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, программа назначит данному радиомодему
те параметры, которые отображены в текущем окне (и изменения сразу
же будут сохранены на диск). Если радиомодем обслуживается прямо
сейчас, он будет снят с обслуживания и поставлен снова (если при
этом было TCP-соединение с клиентом, оно будет разорвано).

Перед изменением параметры будут проверены - в случае ошибки (в
т.ч. если вы ничего не изменили) окно не будет закрыто, и вы
сможете попробовать снова.</source>
        <translation>Gives the radio modem the settings shown in this window (the
change is saved to disk at once). If the radio modem is being
served, its port is closed and opened again, and a connected
client is disconnected.

The settings are checked first; if one is wrong, or nothing has
changed, the window stays open so that you can correct it.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, текущее окно будет закрыто
(изменение параметров радиомодема не произойдёт).</source>
        <translation>Closes this window; the settings of the radio
modem stay as they were.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, текущее окно будет закрыто.
EUI радиомодема, который вы выбрали в этом окне, будет скопирован в
поле для ввода EUI в родительском окне.

Если вы не выбрали радиомодем, будет выдано сообщение об ошибке
(окно не будет закрыто).</source>
        <translation>Closes this window and copies the EUI of the radio modem you
picked into the EUI field of the window that opened it.

If no radio modem is picked, an error message is shown and the
window stays open.</translation>
    </message>
    <message>
        <source>Если вы нажмёте эту кнопку, текущее окно будет закрыто. Поле для
ввода EUI в родительском окне останется неизменным.</source>
        <translation>Closes this window; the EUI field of the window that
opened it stays as it was.</translation>
    </message>
</context>
<context>
    <name>QThread</name>
    <message>
        <source>Аварийное завершение нити обмена.</source>
        <translation>Emergency end of the exchange thread.</translation>
    </message>
</context>
<context>
    <name>add_device</name>
    <message>
        <source>Радиомодем с адресом 0x%1 уже есть в списке радиомодемов, подлежащих обслуживанию.</source>
        <translation>A radio modem with the address 0x%1 is already in the list of radio modems to serve.</translation>
    </message>
    <message>
        <source>Порт TCP %1 уже занят (другим радиомодемом из списка радиомодемов, подлежащих обслуживанию).</source>
        <translation>TCP port %1 is already taken (by another radio modem in the list of radio modems to serve).</translation>
    </message>
    <message>
        <source>Протокол клиентов TCP</source>
        <translation>TCP client protocol</translation>
    </message>
    <message>
        <source>Как программа понимает то, что присылает клиент TCP:
«поток байтов» - сообщения отделяются паузами (interframe_delay)
и передаются радиомодему как есть; так работают клиенты
Modbus RTU поверх TCP и любые другие протоколы;
«Modbus TCP» - программа работает шлюзом: принимает запросы
Modbus TCP (с заголовком MBAP), передаёт устройству кадры
Modbus RTU с контрольной суммой и возвращает клиенту ответы
Modbus TCP; паузы не нужны, запросы идут к устройству по одному.</source>
        <translation>How the program reads what a TCP client sends:
&quot;byte stream&quot;: pauses (interframe_delay) separate the messages,
which go to the radio modem unchanged; this suits Modbus RTU
over TCP clients and any other protocol;
&quot;Modbus TCP&quot;: the program is a gateway: it takes Modbus TCP
requests (with an MBAP header), sends the device Modbus RTU
frames with their CRC and returns Modbus TCP answers to the
client; no pauses are needed, requests go to the device in turn.</translation>
    </message>
    <message>
        <source>поток байтов</source>
        <translation>byte stream</translation>
    </message>
    <message>
        <source>Modbus TCP</source>
        <translation>Modbus TCP</translation>
    </message>
    <message>
        <source>Порт TCP %1 уже занят (общим портом Modbus TCP, параметр «modbus_site_port» файла конфигурации).</source>
        <translation>TCP port %1 is already taken (by the site&apos;s Modbus TCP port, the configuration parameter &quot;modbus_site_port&quot;).</translation>
    </message>
    <message>
        <source>Номера устройств на общем порту</source>
        <translation>Unit ids on the site port</translation>
    </message>
    <message>
        <source>Кэш ответов на чтение, мс</source>
        <translation>Read answer cache, ms</translation>
    </message>
    <message>
        <source>Номера устройств (unit id) через запятую, по которым общий порт
Modbus TCP (параметр modbus_site_port файла конфигурации)
направляет запросы устройствам за этим радиомодемом. Номер - от 1
до 247; если адрес устройства Modbus RTU за радиомодемом другой,
он пишется после номера через двоеточие (тоже от 1 до 247),
например «11:1, 12:2, 13». Номер не может повторяться ни у этого,
ни у другого радиомодема. Ответ клиенту приходит с тем номером,
который клиент спросил.

Пусто - общий порт не обращается к этому радиомодему; его
собственный порт работает в любом случае.</source>
        <translation>The unit ids, separated by commas, by which the site&apos;s Modbus TCP
port (the configuration parameter modbus_site_port) sends requests
to the devices behind this radio modem. An id is 1 to 247; when the
Modbus RTU address of the device behind the radio modem differs, it
follows the id after a colon (also 1 to 247), for example
&quot;11:1, 12:2, 13&quot;. No id may repeat, on this radio modem or on
another. The client gets its answer with the id it asked.

Empty: the site port does not reach this radio modem; the modem&apos;s
own port works either way.</translation>
    </message>
    <message>
        <source>Сколько миллисекунд после ответа устройства на чтение (функции
Modbus 1-4) такое же чтение получает ответ из памяти программы,
не занимая радиоэфир. От 0 до 3600000; 0 или пусто - ответы не
запоминаются. Любой другой запрос к устройству (например, запись)
сбрасывает запомненные ответы этого устройства.

Годится только для значений, которые меняются медленнее этого
времени (показания счётчиков, уставки); для быстро меняющихся
значений и аварийных сигналов оставьте 0.</source>
        <translation>For how many milliseconds after a device answered a read (Modbus
functions 1 to 4) the same read is answered from the program&apos;s
memory, without taking airtime. 0 to 3600000; 0 or empty: answers
are not kept. Any other request to the device (a write, say) drops
the answers kept for that device.

Suits only values that change slower than this time (meter
readings, set points); for values that change fast and for alarms,
leave 0.</translation>
    </message>
    <message>
        <source>Неправильный элемент «%1» в значении параметра «%2»: ожидается номер устройства или номер и адрес через двоеточие (например, «11» или «11:1»).</source>
        <translation>Wrong entry &quot;%1&quot; in the value of the parameter &quot;%2&quot;: a unit id is expected, or an id and an address separated by a colon (for example, &quot;11&quot; or &quot;11:1&quot;).</translation>
    </message>
    <message>
        <source>Номера и адреса устройств в значении параметра «%1» должны быть от 1 до 247 (а указано %2).</source>
        <translation>The unit ids and addresses in the value of the parameter &quot;%1&quot; must be 1 to 247 (but %2 is given).</translation>
    </message>
    <message>
        <source>Номер устройства %1 указан в значении параметра «%2» дважды.</source>
        <translation>The unit id %1 is given twice in the value of the parameter &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>Номер устройства %1 уже занят (устройством за радиомодемом 0x%2 из списка радиомодемов, подлежащих обслуживанию).</source>
        <translation>The unit id %1 is already taken (by a device behind the radio modem 0x%2 in the list of radio modems to serve).</translation>
    </message>
</context>
<context>
    <name>devices</name>
    <message>
        <source>Прежде, чем нажимать эту кнопку, надо выбрать строчку в списке (щёлкнуть её левой кнопкой мыши).</source>
        <translation>Select a row in the list first (click it with the left mouse button).</translation>
    </message>
    <message>
        <source>Протокол</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>Номера
устройств</source>
        <translation>Unit
ids</translation>
    </message>
    <message>
        <source>Кэш,
мс</source>
        <translation>Cache,
ms</translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation>State</translation>
    </message>
    <message>
        <source>Обслуживается ли радиомодем, а если нет, то почему.</source>
        <translation>Whether the radio modem is served and, if not, why.</translation>
    </message>
    <message>
        <source>только необслуживаемые</source>
        <translation>not served only</translation>
    </message>
    <message>
        <source>Показать только радиомодемы, которые сейчас не обслуживаются.</source>
        <translation>Show only the radio modems that are not served now.</translation>
    </message>
</context>
<context>
    <name>dialog_exit</name>
    <message>
        <source>Выходим</source>
        <translation>Shutting down</translation>
    </message>
    <message>
        <source>Выйти немедленно</source>
        <translation>Quit now</translation>
    </message>
    <message>
        <source>Качественно написанная программа перед завершением работы должна
сообщить противоположным сторонам всех сетевых соединений о
закрытии этих соединений.

Если этот процесс занимает слишком много времени, вы можете
прервать его и завершить программу мгновенно. Ничего плохого из-за
этого, скорее всего, не случится - противоположные стороны через
некоторое время заметят неработоспособность соединений и сами
закроют их.</source>
        <translation>Before it ends, the program tells the other end of each network
connection that the connection is closing.

If that takes too long, you can quit at once. Most likely no
harm will come of it: the other ends will notice after a while
that the connections are gone and close them on their side.</translation>
    </message>
</context>
<context>
    <name>edit_device</name>
    <message>
        <source>Ничего не изменилось.
Если вы не хотите ничего менять, закройте диалог кнопкой «Отмена».</source>
        <translation>Nothing has changed.
To leave the settings as they are, close the window with &quot;Cancel&quot;.</translation>
    </message>
</context>
<context>
    <name>err</name>
    <message>
        <source>%1 %2: ошибка</source>
        <translation>%1 %2: error</translation>
    </message>
</context>
<context>
    <name>file</name>
    <message>
        <source>Ошибка при попытке открыть файл «%1»: error=%2, errorString=«%3».</source>
        <translation>Error opening the file &quot;%1&quot;: error=%2, errorString=&quot;%3&quot;.</translation>
    </message>
    <message>
        <source>Файл «%1» не является обычным (random-access) файлом - не умею работать с такими файлами.</source>
        <translation>The file &quot;%1&quot; is not a regular (random-access) file - such files are not supported.</translation>
    </message>
    <message>
        <source>Ошибка при попытке определить размер файла «%1»: error=%2, errorString=«%3».</source>
        <translation>Error finding out the size of the file &quot;%1&quot;: error=%2, errorString=&quot;%3&quot;.</translation>
    </message>
    <message>
        <source>Файл «%1» слишком большой (должен быть не длиннее %2 байтов).</source>
        <translation>The file &quot;%1&quot; is too big (it must not be longer than %2 bytes).</translation>
    </message>
    <message>
        <source>Ошибка при чтении содержимого файла «%1»: файл имеет размер %2 байтов, но прочиталось %3 байтов, error=%4, errorString=«%5».</source>
        <translation>Error reading the contents of the file &quot;%1&quot;: the file is %2 bytes long, but %3 bytes were read, error=%4, errorString=&quot;%5&quot;.</translation>
    </message>
    <message>
        <source>Не удалось прочитать до конца содержимое файла «%1».</source>
        <translation>Could not read the contents of the file &quot;%1&quot; to the end.</translation>
    </message>
    <message>
        <source>Файл «%1» не может быть текстовым: он содержит нулевые байты.</source>
        <translation>The file &quot;%1&quot; cannot be a text file: it contains zero bytes.</translation>
    </message>
    <message>
        <source>Не найден файл «%1».</source>
        <translation>File &quot;%1&quot; not found.</translation>
    </message>
</context>
<context>
    <name>log</name>
    <message>
        <source>%1, версия %2 (%3), сборка %4 %5: программа запускается...</source>
        <translation>%1, version %2 (%3), build %4 %5: the program is starting...</translation>
    </message>
    <message>
        <source>Неожиданная ошибка №%1.%2.</source>
        <translation>Unexpected error no. %1.%2.</translation>
    </message>
    <message>
        <source>%1 Ошибка (std::exception): «%2».</source>
        <translation>%1 Error (std::exception): &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>Ответ сервера RUVO-LoRa &quot;send_data_resp&quot; неправильный: в нём отсутствует обязательное поле &quot;append_status&quot;.</source>
        <translation>The answer &quot;send_data_resp&quot; of the RUVO-LoRa server is wrong: it lacks the mandatory field &quot;append_status&quot;.</translation>
    </message>
    <message>
        <source>неправильный ответ на нашу команду &quot;send_data_req&quot;: посылали команду устройству с EUI=0x%1, а пришёл &quot;send_data_resp&quot; про устройство с EUI=0x%2.</source>
        <translation>wrong answer to our command &quot;send_data_req&quot;: the command was sent to the device with EUI=0x%1, but the &quot;send_data_resp&quot; that came is about the device with EUI=0x%2.</translation>
    </message>
    <message>
        <source>неправильное поле &quot;append_status&quot;: посылали одну команду, но в массиве нет ни одного ответа.</source>
        <translation>wrong field &quot;append_status&quot;: one command was sent, but the array holds no answer.</translation>
    </message>
    <message>
        <source>неправильное поле &quot;append_status&quot;: посылали одну команду, но в массиве указано два или более ответов.</source>
        <translation>wrong field &quot;append_status&quot;: one command was sent, but the array holds two or more answers.</translation>
    </message>
    <message>
        <source>в структуре &quot;append_status&quot; отсутствует обязательное поле &quot;devEui&quot;.</source>
        <translation>the structure &quot;append_status&quot; lacks the mandatory field &quot;devEui&quot;.</translation>
    </message>
    <message>
        <source>в структуре &quot;append_status&quot; отсутствует обязательное поле &quot;status&quot;.</source>
        <translation>the structure &quot;append_status&quot; lacks the mandatory field &quot;status&quot;.</translation>
    </message>
    <message>
        <source>Установлено соединение с сервером RUVO-LoRa.</source>
        <translation>Connected to the RUVO-LoRa server.</translation>
    </message>
    <message>
        <source>Не удалось установить соединение с сервером RUVO-LoRa. Код ошибки = %1 («%2»).</source>
        <translation>Could not connect to the RUVO-LoRa server. Error code = %1 (&quot;%2&quot;).</translation>
    </message>
    <message>
        <source>Утеряно соединение с сервером RUVO-LoRa. Код ошибки = %1 («%2»).</source>
        <translation>Lost the connection with the RUVO-LoRa server. Error code = %1 (&quot;%2&quot;).</translation>
    </message>
    <message>
        <source>Соединение с сервером RUVO-LoRa утеряно во время ожидания ответа на команду «%1». Код ошибки = %2 («%3»).</source>
        <translation>Lost the connection with the RUVO-LoRa server while waiting for the answer to the command &quot;%1&quot;. Error code = %2 (&quot;%3&quot;).</translation>
    </message>
    <message>
        <source>Не удалось установить соединение с сервером RUVO-LoRa.</source>
        <translation>Could not connect to the RUVO-LoRa server.</translation>
    </message>
    <message>
        <source>Утеряно соединение с сервером RUVO-LoRa.</source>
        <translation>Lost the connection with the RUVO-LoRa server.</translation>
    </message>
    <message>
        <source>Соединение с сервером RUVO-LoRa утеряно во время ожидания ответа на команду «%1».</source>
        <translation>Lost the connection with the RUVO-LoRa server while waiting for the answer to the command &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Тайм-аут установления соединения WebSocket с сервером RUVO-LoRa (ждали более %1 миллисекунд).</source>
        <translation>Timeout while setting up the WebSocket connection with the RUVO-LoRa server (waited more than %1 milliseconds).</translation>
    </message>
    <message>
        <source>Тайм-аут ожидания ответа на команду &quot;%1&quot; (с момента начала передачи команды прошло более %2 миллисекунд).</source>
        <translation>Timeout waiting for the answer to the command &quot;%1&quot; (more than %2 milliseconds since sending began).</translation>
    </message>
    <message>
        <source>Обнаружена ошибка в программе. Работа программы завершена.</source>
        <translation>The program has found an error in itself and has stopped.</translation>
    </message>
    <message>
        <source>Ответ сервера RUVO-LoRa &quot;get_device_appdata_resp&quot; помечен как успешный (&quot;status&quot;:true), но в нём нет поля &quot;devices_list&quot;.</source>
        <translation>The answer &quot;get_device_appdata_resp&quot; of the RUVO-LoRa server is marked as successful (&quot;status&quot;:true), but it has no field &quot;devices_list&quot;.</translation>
    </message>
    <message>
        <source>в возвращённом сервером RUVO-LoRa описании устройства отсутствует обязательное поле &quot;devEui&quot;.</source>
        <translation>a device description returned by the RUVO-LoRa server lacks the mandatory field &quot;devEui&quot;.</translation>
    </message>
    <message>
        <source>В ответе сервера RUVO-LoRa на команду &apos;get_device_appdata_req&apos; обнаружено несколько записей с одним и тем же EUI: 0x%1. Все записи кроме первой игнорируются.</source>
        <translation>The answer of the RUVO-LoRa server to the command &apos;get_device_appdata_req&apos; holds several records with the same EUI: 0x%1. All records but the first are ignored.</translation>
    </message>
    <message>
        <source>Не удалось создать блок управления устройством.</source>
        <translation>Could not start serving the device.</translation>
    </message>
    <message>
        <source>Не удалось создать отредактированный блок управления устройством.</source>
        <translation>Could not start serving the device with its changed settings.</translation>
    </message>
    <message>
        <source>в сообщении сервера RUVO-LoRa отсутствует обязательное поле &quot;cmd&quot; (ожидается сообщение &quot;%1&quot;).</source>
        <translation>a message of the RUVO-LoRa server lacks the mandatory field &quot;cmd&quot; (a &quot;%1&quot; message is expected).</translation>
    </message>
    <message>
        <source>в ответе сервера RUVO-LoRa &quot;%1&quot; отсутствует обязательное поле &quot;status&quot;.</source>
        <translation>the answer &quot;%1&quot; of the RUVO-LoRa server lacks the mandatory field &quot;status&quot;.</translation>
    </message>
    <message>
        <source>Сервер RUVO-LoRa отверг нашу команду (в ответе &quot;%1&quot; &quot;status&quot; равен «false»). Сообщение об ошибке (&quot;err_string&quot;): «%2».</source>
        <translation>The RUVO-LoRa server has rejected our command (&quot;status&quot; is &quot;false&quot; in the answer &quot;%1&quot;). Error message (&quot;err_string&quot;): &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>Сервер RUVO-LoRa отверг нашу команду (в ответе &quot;%1&quot; &quot;status&quot; равен «false»).</source>
        <translation>The RUVO-LoRa server has rejected our command (&quot;status&quot; is &quot;false&quot; in the answer &quot;%1&quot;).</translation>
    </message>
    <message>
        <source>неизвестное поле (%1)</source>
        <translation>unknown field (%1)</translation>
    </message>
    <message>
        <source>Ошибка в %1-м символе %2-й строки текстового сообщения, пришедшего через соединение WebSocket: %4</source>
        <translation>Error at character %1 of line %2 of a text message that came over the WebSocket connection: %4</translation>
    </message>
    <message>
        <source>ожидается кавычка, начинающая первое поле объекта JSON, или фигурная скобка, завершающая объект.</source>
        <translation>expected a quotation mark that begins the first field of a JSON object, or a brace that ends the object.</translation>
    </message>
    <message>
        <source>ожидается запятая между полями объекта JSON, или фигурная скобка, завершающая объект. Вместо этого обнаружен символ 0x%1.</source>
        <translation>expected a comma between the fields of a JSON object, or a brace that ends the object. Found the character 0x%1 instead.</translation>
    </message>
    <message>
        <source>ожидается запятая, разделяющая элементы массива JSON, или квадратная скобка, завершающая массив.</source>
        <translation>expected a comma that separates the elements of a JSON array, or a square bracket that ends the array.</translation>
    </message>
    <message>
        <source>поле &quot;%1&quot; уже есть в этой структуре JSON.</source>
        <translation>the field &quot;%1&quot; is already present in this JSON structure.</translation>
    </message>
    <message>
        <source>ожидается строка в двойных кавычках.</source>
        <translation>expected a string in double quotes.</translation>
    </message>
    <message>
        <source>не найдена закрывающая кавычка, соответствующая этой открывающей кавычке.</source>
        <translation>no closing quotation mark matches this opening quotation mark.</translation>
    </message>
    <message>
        <source>в строке JSON обнаружена неправильная escape-последовательность: сразу после символа «\» обнаружен конец разбираемого текста.</source>
        <translation>wrong escape sequence in a JSON string: the parsed text ends right after the character &quot;\&quot;.</translation>
    </message>
    <message>
        <source>в строке JSON обнаружена неправильная escape-последовательность \uXXXX: вместо очередной шестнадцатиричной цифры обнаружен символ с кодом 0x%1.</source>
        <translation>wrong escape sequence \uXXXX in a JSON string: found the character with code 0x%1 instead of the next hexadecimal digit.</translation>
    </message>
    <message>
        <source>в строке JSON обнаружена неправильная escape-последовательность \uXXXX: ожидается очередная шестнадцатиричная цифра, обнаружен конец разбираемого текста.</source>
        <translation>wrong escape sequence \uXXXX in a JSON string: expected the next hexadecimal digit, found the end of the parsed text.</translation>
    </message>
    <message>
        <source>неправильная escape-последовательность в строке JSON: после символа «\» идёт недопустимый символ с кодом 0x%1.</source>
        <translation>wrong escape sequence in a JSON string: the character &quot;\&quot; is followed by the forbidden character with code 0x%1.</translation>
    </message>
    <message>
        <source>нарушение формата JSON: значение неизвестного типа (не строка, не число, не объект и т.д.). Код первого символа значения: 0x%1.</source>
        <translation>JSON format violation: a value of unknown type (not a string, a number, an object etc.). Code of the first character of the value: 0x%1.</translation>
    </message>
    <message>
        <source>нарушение формата JSON: обнаружена двойная кавычка, начинающая строку, но в оставшейся части текста нет парной ей двойной кавычки, завершающей эту строку.</source>
        <translation>JSON format violation: found a double quotation mark that begins a string, but the rest of the text has no matching double quotation mark to end that string.</translation>
    </message>
    <message>
        <source>нарушение формата JSON: обнаружен минус, но после него не идёт ни одной цифры.</source>
        <translation>JSON format violation: found a minus, but no digit follows it.</translation>
    </message>
    <message>
        <source>нарушение формата JSON: обнаружена точка, разделяющая целую и дробную части десятичного числа, но после неё нет ни одной цифры.</source>
        <translation>JSON format violation: found the point that separates the integer and fractional parts of a decimal number, but no digit follows it.</translation>
    </message>
    <message>
        <source>нарушение формата JSON: обнаружен символ «E», разделяющий мантиссу и порядок десятичного числа, но после него нет ни одной цифры.</source>
        <translation>JSON format violation: found the character &quot;E&quot; that separates the mantissa and the exponent of a decimal number, but no digit follows it.</translation>
    </message>
    <message>
        <source>после чтения из сообщения сервера RUVO-LoRa корректной структуры JSON в сообщении остались ещё какие-то непонятные символы.</source>
        <translation>after a valid JSON structure was read from the message of the RUVO-LoRa server, some unexpected characters are left in the message.</translation>
    </message>
    <message>
        <source>Не удалось обработать сообщение от сервера RUVO-LoRa.</source>
        <translation>Could not process a message from the RUVO-LoRa server.</translation>
    </message>
    <message>
        <source>Сообщение сервера RUVO-LoRa, вызвавшее предыдущую ошибку: </source>
        <translation>Message of the RUVO-LoRa server that caused the previous error: </translation>
    </message>
    <message>
        <source>Ошибка: от сервера RUVO-LoRa пришло сообщение в двоичном формате (в протоколе есть только текстовые сообщения).</source>
        <translation>Error: the RUVO-LoRa server has sent a binary message (the protocol has text messages only).</translation>
    </message>
    <message>
        <source>Сообщение сервера RUVO-LoRa, вызвавшее предыдущую ошибку (binary frame): </source>
        <translation>Message of the RUVO-LoRa server that caused the previous error (binary frame): </translation>
    </message>
    <message>
        <source>в сообщении &quot;rx&quot; отсутствует обязательное поле &quot;%1&quot;.</source>
        <translation>the &quot;rx&quot; message lacks the mandatory field &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Не удалось создать серверный сокет, слушающий порт TCP %1.</source>
        <translation>Could not create a server socket listening on TCP port %1.</translation>
    </message>
    <message>
        <source>Не удалось подготовиться к обмену с клиентом через установленное соединение.</source>
        <translation>Could not prepare the exchange with the newly connected client.</translation>
    </message>
    <message>
        <source>Не удалось выделить буфер размером %1 байтов для работы с сообщениями.</source>
        <translation>Could not allocate a buffer of %1 bytes for messages.</translation>
    </message>
    <message>
        <source>Ошибка при чтении принятых от клиента данных. Код ошибки=%1 («%2»). Длина прочитанных данных=%3.</source>
        <translation>Error reading the data received from the client. Error code=%1 (&quot;%2&quot;). Length of the data read=%3.</translation>
    </message>
    <message>
        <source>Ошибка: от клиента на порту %1 пришло сообщение, размер которого превышает предельный для этого клиента (%2 байтов). Предельный размер сообщения можно настроить в файле конфигурации и в описании устройства.</source>
        <translation>Error: the client on port %1 has sent a message longer than the limit for this client (%2 bytes). The limit is set in the configuration file and in the device&apos;s entry of the devices file.</translation>
    </message>
    <message>
        <source>Уже принятая часть сообщения, вызвавшего предыдущую ошибку: </source>
        <translation>Part of the message received before the previous error: </translation>
    </message>
    <message>
        <source>От сервера RUVO-LoRa пришло сообщение &quot;rx&quot; с пустым полем &quot;data&quot; (EUI=0x%1). Сообщение игнорируется.</source>
        <translation>The RUVO-LoRa server has sent an &quot;rx&quot; message with an empty field &quot;data&quot; (EUI=0x%1). The message is ignored.</translation>
    </message>
    <message>
        <source>Неправильный «пакет с данными от внешнего устройства, полученными по интерфейсу RS-232 или RS-485» от радиомодема с EUI=0x%1: фактическая длина пакета равна %2 байтов, т.е., в нём не помещается даже заголовок.</source>
        <translation>Wrong &quot;packet with data from the external device, received over the RS-232 or RS-485 interface&quot; from the radio modem with EUI=0x%1: the packet is only %2 bytes long, too short even for its header.</translation>
    </message>
    <message>
        <source>Неправильный «пакет с данными от внешнего устройства, полученными по интерфейсу RS-232 или RS-485» от радиомодема с EUI=0x%1: поле «размер данных в данном пакете» содержит значение %2, а фактически поле «данные» имеет размер %3 байтов.</source>
        <translation>Wrong &quot;packet with data from the external device, received over the RS-232 or RS-485 interface&quot; from the radio modem with EUI=0x%1: the field &quot;size of the data in this packet&quot; holds the value %2, but the field &quot;data&quot; is actually %3 bytes long.</translation>
    </message>
    <message>
        <source>«Пакет с данными от внешнего устройства, полученными по интерфейсу RS-232 или RS-485» от устройства с EUI=0x%1 пришёл с нарушением порядка: ожидается пакет №%2, а пришёл пакет №%3.</source>
        <translation>&quot;Packet with data from the external device, received over the RS-232 or RS-485 interface&quot; from the device with EUI=0x%1 arrived out of order: packet no. %2 was expected, but packet no. %3 arrived.</translation>
    </message>
    <message>
        <source>Неправильный «пакет с данными от внешнего устройства, полученными по интерфейсу RS-232 или RS-485» от радиомодема с EUI=0x%1: в %2-м пакете поле «общий размер полученных через интерфейс данных» содержало значение %3, а в %4-м пакете оно уже содержит значение %5.</source>
        <translation>Wrong &quot;packet with data from the external device, received over the RS-232 or RS-485 interface&quot; from the radio modem with EUI=0x%1: in packet %2 the field &quot;total size of the data received over the interface&quot; held the value %3, but in packet %4 it holds the value %5.</translation>
    </message>
    <message>
        <source>Неправильный «пакет с данными от внешнего устройства, полученными по интерфейсу RS-232 или RS-485» от радиомодема с EUI=0x%1: в %2-м пакете поле «всего пакетов» содержало значение %3, а в %4-м пакете оно уже содержит значение %5.</source>
        <translation>Wrong &quot;packet with data from the external device, received over the RS-232 or RS-485 interface&quot; from the radio modem with EUI=0x%1: in packet %2 the field &quot;total packets&quot; held the value %3, but in packet %4 it holds the value %5.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; уже есть в этой структуре JSON.</source>
        <translation>&quot;%1&quot; is already present in this JSON structure.</translation>
    </message>
    <message>
        <source>Ошибка: клиент на порту %1 прислал запрос Modbus TCP с неправильным заголовком MBAP (идентификатор протокола %2, длина %3). Соединение с клиентом закрыто.</source>
        <translation>Error: the client on port %1 has sent a Modbus TCP request with a wrong MBAP header (protocol identifier %2, length %3). The connection with the client is closed.</translation>
    </message>
    <message>
        <source>Ответ устройства через порт %1 отброшен: ни один запрос Modbus не ждёт ответа.</source>
        <translation>The device&apos;s answer through port %1 is dropped: no Modbus request is waiting for an answer.</translation>
    </message>
    <message>
        <source>Ответ устройства на запрос Modbus через порт %1 отброшен: неправильная контрольная сумма CRC-16 или длина ответа (%2 байтов).</source>
        <translation>The device&apos;s answer to a Modbus request through port %1 is dropped: wrong CRC-16 or length (%2 bytes).</translation>
    </message>
    <message>
        <source>Ответ устройства на запрос Modbus через порт %1 отброшен: ответил адрес %2, а запрос был к адресу %3.</source>
        <translation>The device&apos;s answer to a Modbus request through port %1 is dropped: address %2 answered, but the request was to address %3.</translation>
    </message>
    <message>
        <source>Ответ устройства на запрос Modbus через порт %1 отброшен: это ответ на функцию %2, а запрос был функции %3.</source>
        <translation>The device&apos;s answer to a Modbus request through port %1 is dropped: it answers function %2, but the request was for function %3.</translation>
    </message>
    <message>
        <source>Устройство не ответило на запрос Modbus через порт %1 (транзакция %2) за %3 мс; клиенту отправлено исключение 0x0B.</source>
        <translation>The device did not answer the Modbus request through port %1 (transaction %2) within %3 ms; exception 0x0B was sent to the client.</translation>
    </message>
    <message>
        <source>Ответ устройства, вызвавший предыдущую ошибку: </source>
        <translation>The device&apos;s answer that caused the previous error: </translation>
    </message>
    <message>
        <source>неправильное поле &quot;append_status&quot;: посылали данные сразу нескольким устройствам (элементов в &quot;data_list&quot;: %1), а ответов в массиве меньше (%2).</source>
        <translation>wrong field &quot;append_status&quot;: data were sent to several devices at once (elements in &quot;data_list&quot;: %1), but the array holds fewer answers (%2).</translation>
    </message>
    <message>
        <source>неправильное поле &quot;append_status&quot;: посылали данные сразу нескольким устройствам (элементов в &quot;data_list&quot;: %1), а ответов в массиве больше.</source>
        <translation>wrong field &quot;append_status&quot;: data were sent to several devices at once (elements in &quot;data_list&quot;: %1), but the array holds more answers.</translation>
    </message>
    <message>
        <source>Предел числа открытых файлов процесса (%1) меньше, чем может понадобиться для %2 устройств из списка (%3: слушающий сокет и клиент на каждое, и запас для самой программы). Порты будут открыты не более чем для %4 устройств, а клиенты сверх предела не будут приняты. Поднимите предел (LimitNOFILE= в службе systemd, ulimit -n) и перезапустите программу.</source>
        <translation>The process&apos;s open-file limit (%1) is lower than %2 devices of the list may need (%3: a listening socket and a client for each, plus a reserve for the program itself). Ports will be opened for at most %4 devices, and clients beyond the limit will be refused. Raise the limit (LimitNOFILE= in the systemd unit, or ulimit -n) and restart the program.</translation>
    </message>
    <message>
        <source>Файл со списком устройств «%1» перечитан: устройств в списке %2.</source>
        <translation>The devices file &quot;%1&quot; has been reloaded: %2 devices in the list.</translation>
    </message>
    <message>
        <source>Файл со списком устройств не перечитан, действует прежний список устройств.</source>
        <translation>The devices file was not reloaded; the previous list of devices remains in effect.</translation>
    </message>
    <message>
        <source>Не хватает дескрипторов файлов: предел числа открытых файлов процесса равен %1.</source>
        <translation>Out of file descriptors: the process&apos;s open-file limit is %1.</translation>
    </message>
    <message>
        <source>Не удалось принять соединение клиента на порту TCP %1. Код ошибки=%2 («%3»). Новые соединения на этом порту будут приниматься снова через %4 миллисекунд.</source>
        <translation>Could not accept the connection of a client on TCP port %1. Error code=%2 (&quot;%3&quot;). New connections on this port will be accepted again in %4 milliseconds.</translation>
    </message>
    <message>
        <source>Внимание: файл конфигурации «%1» с паролем для сервера RUVO-LoRa доступен для чтения не только его владельцу. Закройте доступ к нему командой chmod 600 &apos;%1&apos;.</source>
        <translation>Warning: the configuration file &quot;%1&quot;, which holds the password for the RUVO-LoRa server, can be read by users other than its owner. Restrict access: chmod 600 &apos;%1&apos;.</translation>
    </message>
    <message>
        <source>Не удалось проверить сертификат сервера RUVO-LoRa: %1.</source>
        <translation>Could not verify the certificate of the RUVO-LoRa server: %1.</translation>
    </message>
    <message>
        <source>Отклонено подключение к порту TCP %1: адрес клиента не разрешён параметром «tcp_allow» (всего отклонено подключений: %2).</source>
        <translation>Refused a connection to TCP port %1: the address of the client is not allowed by the parameter &quot;tcp_allow&quot; (connections refused in all: %2).</translation>
    </message>
    <message>
        <source>Метрики для Prometheus доступны по адресу http://%1/metrics.</source>
        <translation>The metrics for Prometheus are available at http://%1/metrics.</translation>
    </message>
    <message>
        <source>Не удалось записать в журнал «%1» (%2). Записи журнала теряются, пока запись в него не заработает снова. Первая потерянная запись: %3</source>
        <translation>Could not write to the log &quot;%1&quot; (%2). Log entries are lost until writing to it works again. The first lost entry: %3</translation>
    </message>
    <message>
        <source>Запись в журнал снова работает. Записей журнала потеряно, пока она не работала: %1.</source>
        <translation>Writing to the log works again. Log entries lost while it did not: %1.</translation>
    </message>
    <message>
        <source>Не удалось открыть порт метрик для Prometheus «%1» (%2). Программа работает без метрик и пробует открыть порт снова каждые %3 с.</source>
        <translation>Could not open the port of the metrics for Prometheus &quot;%1&quot; (%2). The program works without metrics and tries to open the port again every %3 s.</translation>
    </message>
    <message>
        <source>Порт TCP %1: за последнюю минуту отклонено ещё %2 подключений с адресов, не разрешённых параметром «tcp_allow» (всего отклонено подключений: %3). Чаще всего подключались с адресов: %4.</source>
        <translation>TCP port %1: %2 more connections refused in the last minute from addresses not allowed by the parameter &quot;tcp_allow&quot; (connections refused in all: %3). The addresses seen most: %4.</translation>
    </message>
    <message>
        <source>Порт TCP %1: за последнюю минуту ещё %2 запросов Modbus TCP с неправильным заголовком MBAP, соединения с клиентами закрыты. Чаще всего такие запросы приходили с адресов: %3.</source>
        <translation>TCP port %1: %2 more Modbus TCP requests with a malformed MBAP header in the last minute; the connections with the clients were closed. The addresses such requests came from most: %3.</translation>
    </message>
    <message>
        <source>Порт TCP %1 занят новым клиентом [%2]:%3; прежний клиент [%4]:%5 отключён.</source>
        <translation>TCP port %1 was taken over by a new client [%2]:%3; the previous client [%4]:%5 was disconnected.</translation>
    </message>
    <message>
        <source>Порт TCP %1: за последнюю минуту новые клиенты заняли порт ещё %2 раз, отключив прежних. Чаще всего новые клиенты подключались с адресов: %3.</source>
        <translation>TCP port %1: new clients took over the port %2 more times in the last minute, disconnecting the previous ones. The addresses the new clients came from most: %3.</translation>
    </message>
    <message>
        <source>Ошибка: клиент на порту %1 прислал больше сообщений, чем может ждать отправки радиомодему (%2), не дожидаясь ответов на них. Соединение с клиентом разорвано.</source>
        <translation>Error: the client on port %1 sent more messages than may wait to be sent to the radio modem (%2) without waiting for their answers. The client has been disconnected.</translation>
    </message>
    <message>
        <source>Клиент на порту %1 не читает ответы: их непереданный остаток превысил %2 байтов. Соединение с клиентом разорвано.</source>
        <translation>The client on port %1 does not read its answers: their unsent rest exceeded %2 bytes. The client has been disconnected.</translation>
    </message>
    <message>
        <source>Соединение с клиентом на порту %1 ([%2]:%3) разорвано: %4.</source>
        <translation>The connection with the client on port %1 ([%2]:%3) was broken: %4.</translation>
    </message>
    <message>
        <source>Радиомодем 0x%1 не обслуживается: порт TCP %2 не удалось открыть: %3.</source>
        <translation>Modem 0x%1 is not served: TCP port %2 could not be opened: %3.</translation>
    </message>
    <message>
        <source>Файл со списком устройств «%1» не перечитан: он всё время изменялся в течение %2 с после сигнала SIGHUP. Действует прежний список устройств. Записывайте новый список в другой файл той же папки и переименовывайте его в «%1»: так файл заменяется целиком за один шаг.</source>
        <translation>The devices file &quot;%1&quot; was not reloaded: it kept changing for %2 s after the SIGHUP signal. The previous list of devices stays in force. Write the new list to another file in the same folder and rename it to &quot;%1&quot;: that replaces the file whole, in one step.</translation>
    </message>
    <message>
        <source>Файл со списком устройств «%1» пуст, а в действующем списке устройств %2: файл, вероятно, ещё не дописан. Чтобы намеренно убрать из списка все устройства, оставьте в файле только комментарий (например, строку «# нет устройств») и снова пошлите сигнал SIGHUP.</source>
        <translation>The devices file &quot;%1&quot; is empty, while the list in force has %2 devices: the file is probably still being written. To remove every device from the list on purpose, leave only a comment in the file (for example the line &quot;# no devices&quot;) and send SIGHUP again.</translation>
    </message>
    <message>
        <source>Действовавший список устройств отличался от файла «%1»: изменения, сделанные в окне списка, не удалось сохранить. Перечитанный файл добавил устройств: %2, убрал: %3, изменил: %4.</source>
        <translation>The list of devices in force differed from the file &quot;%1&quot;: the changes made in the device list could not be saved. The reloaded file added %2 devices, removed %3 and changed %4.</translation>
    </message>
    <message>
        <source>Ответ устройства на запрос Modbus через порт %1 отброшен: его длина или содержимое не подходят к запросу функции %2.</source>
        <translation>The device&apos;s answer to a Modbus request through port %1 was dropped: its length or contents do not fit the request of function %2.</translation>
    </message>
    <message>
        <source>Ответ устройства через порт %1 отброшен: он пришёл после того, как время ожидания ответа на запрос Modbus истекло.</source>
        <translation>The device&apos;s answer through port %1 was dropped: it came after the time to wait for the answer to a Modbus request had run out.</translation>
    </message>
    <message>
        <source>Ответ устройства на запрос Modbus через порт %1 отброшен: клиент, приславший запрос, уже отключился.</source>
        <translation>The device&apos;s answer to a Modbus request through port %1 was dropped: the client that sent the request has already disconnected.</translation>
    </message>
    <message>
        <source>Ответ устройства на запрос Modbus через порт %1 (транзакция %2) пришёл не целиком (пакет потерян, повторён или пришёл не по порядку); клиенту отправлено исключение 0x0B.</source>
        <translation>The device&apos;s answer to a Modbus request through port %1 (transaction %2) came incomplete (a packet was lost, repeated or out of order); exception 0x0B was sent to the client.</translation>
    </message>
    <message>
        <source>Запрос Modbus через порт %1 (транзакция %2) не отправлен устройству: кадр RTU длиной %3 байтов длиннее предельного размера сообщения радиомодема (%4 байтов); клиенту отправлено исключение 0x0A.</source>
        <translation>The Modbus request through port %1 (transaction %2) was not sent to the device: its RTU frame of %3 bytes is longer than the modem&apos;s maximum message size (%4 bytes); exception 0x0A was sent to the client.</translation>
    </message>
    <message>
        <source>Повторный пакет от радиомодема порта %1 (счётчик кадров fcnt=%2) отброшен.</source>
        <translation>A repeated packet from the modem of port %1 (frame counter fcnt=%2) was dropped.</translation>
    </message>
    <message>
        <source>Ответ радиомодема порта %1 на сообщение отключившегося клиента отброшен: </source>
        <translation>The answer of the radio modem of port %1 to a message of a client that has disconnected was dropped: </translation>
    </message>
    <message>
        <source>Ответ радиомодема порта %1, которого не ждал этот клиент, отброшен: </source>
        <translation>An answer of the radio modem of port %1 that this client did not wait for was dropped: </translation>
    </message>
    <message>
        <source>Очередь запросов Modbus порта %1 полна (%2 запросов); клиенту %3 отправлено исключение 0x06 (устройство занято).</source>
        <translation>The Modbus request queue of port %1 is full (%2 requests); exception 0x06 (server device busy) was sent to client %3.</translation>
    </message>
    <message>
        <source>Порт TCP %1: за последнюю минуту ещё %2 запросов Modbus получили исключение 0x06, так как очередь порта была полна. Чаще всего такие запросы приходили с адресов: %3.</source>
        <translation>TCP port %1: in the last minute %2 more Modbus requests got exception 0x06 because the port&apos;s queue was full. Most of them came from: %3.</translation>
    </message>
    <message>
        <source>Сервер не принял запрос Modbus через порт %1 (транзакция %2) для радиомодема; клиенту отправлено исключение 0x0A.</source>
        <translation>The server did not accept the Modbus request through port %1 (transaction %2) for the radio modem; exception 0x0A was sent to the client.</translation>
    </message>
    <message>
        <source>Ответ устройства на запрос Modbus через порт %1 отброшен: это опоздавший или повторённый ответ на один из прежних запросов.</source>
        <translation>The device&apos;s answer to a Modbus request through port %1 was dropped: it is a late or repeated answer to an earlier request.</translation>
    </message>
    <message>
        <source>Ответ устройства на запрос Modbus через порт %1 отброшен: он пришёл раньше, чем сервер принял запрос.</source>
        <translation>The device&apos;s answer to a Modbus request through port %1 was dropped: it came before the server accepted the request.</translation>
    </message>
    <message>
        <source>Новый клиент [%2]:%3 порта TCP %1 отключён: все %4 клиентов порта ждут ответов на свои запросы.</source>
        <translation>New client [%2]:%3 of TCP port %1 disconnected: all %4 clients of the port are waiting for answers to their requests.</translation>
    </message>
    <message>
        <source>Порт TCP %1: за последнюю минуту ещё %2 новых клиентов отключены, так как все клиенты порта ждали ответов на свои запросы. Чаще всего новые клиенты подключались с адресов: %3.</source>
        <translation>TCP port %1: %2 more new clients were disconnected in the last minute because all clients of the port were waiting for answers to their requests. New clients came most often from: %3.</translation>
    </message>
    <message>
        <source>Запрос Modbus к адресу %2 через порт %1 никуда не отправлен: этот адрес не связан ни с одним обслуживаемым сейчас радиомодемом; клиенту [%3] отправлено исключение 0x0A.</source>
        <translation>The Modbus request to unit %2 through port %1 was sent nowhere: that unit id is routed to no modem served now; exception 0x0A was sent to the client [%3].</translation>
    </message>
    <message>
        <source>Широковещательный запрос Modbus (адрес 0) через порт %1 никуда не отправлен: на этом порту он не относится ни к одному радиомодему.</source>
        <translation>A Modbus broadcast (unit 0) through port %1 was sent nowhere: on this port it belongs to no modem.</translation>
    </message>
    <message>
        <source>Порт TCP %1: за последнюю минуту ещё %2 запросов Modbus никуда не отправлены, так как их адреса не связаны ни с одним обслуживаемым сейчас радиомодемом. Чаще всего такие запросы приходили с адресов: %3.</source>
        <translation>TCP port %1: %2 more Modbus requests were sent nowhere in the last minute because their unit ids are routed to no modem served now. Such requests came most often from: %3.</translation>
    </message>
    <message>
        <source>Общий порт Modbus TCP %1 (modbus_site_port) не удалось открыть: %2. Попытка будет повторена с каждым обновлением списка устройств.</source>
        <translation>The Modbus TCP site port %1 (modbus_site_port) could not be opened: %2. It will be tried again at every update of the device list.</translation>
    </message>
    <message>
        <source>Запрос Modbus через порт %1 (транзакция %2) получил ответ из памяти, без радиосвязи: ответ устройства на такой же запрос пришёл %3 мс назад.</source>
        <translation>The Modbus request through port %1 (transaction %2) was answered from memory, without the radio: the device&apos;s answer to the same request came %3 ms ago.</translation>
    </message>
    <message>
        <source>За последнюю минуту не удались ещё %1 попыток связи с сервером RUVO-LoRa. Чаще всего причиной было: %2.</source>
        <translation>In the last minute, %1 more attempts to reach the RUVO-LoRa server failed. The most frequent reasons: %2.</translation>
    </message>
    <message>
        <source>Радиомодем 0x%1 всё ещё не обслуживается: порт TCP %2 не удалось открыть ещё %3 раз со времени прошлой записи: %4.</source>
        <translation>Modem 0x%1 is still not served: TCP port %2 could not be opened %3 more times since the last entry: %4.</translation>
    </message>
    <message>
        <source>Порт TCP %1: за последнюю минуту клиенты ещё %2 раз прислали сообщения длиннее предельного размера (%3 байтов) и были отключены. Чаще всего такие сообщения приходили с адресов: %4.</source>
        <translation>TCP port %1: in the last minute, clients sent %2 more messages longer than the limit (%3 bytes) and were disconnected. Such messages came most often from the addresses: %4.</translation>
    </message>
    <message>
        <source>Порт %1: за последнюю минуту отброшены ещё %2 ответов устройства на запросы Modbus, так как приславшие их клиенты уже отключились.</source>
        <translation>Port %1: in the last minute, %2 more answers of the device to Modbus requests were dropped, as the clients that sent the requests had gone.</translation>
    </message>
    <message>
        <source>Программа завершила работу: %1. Время работы: %2 (ч:мм:сс).</source>
        <translation>The program has ended: %1. It ran for %2 (h:mm:ss).</translation>
    </message>
    <message>
        <source>нажата кнопка «Выйти»</source>
        <translation>the &quot;Exit&quot; button was pressed</translation>
    </message>
    <message>
        <source>закрыто главное окно (Alt+F4 или кнопка закрытия окна)</source>
        <translation>the main window was closed (Alt+F4 or the window&apos;s close button)</translation>
    </message>
    <message>
        <source>нажата кнопка «Выйти немедленно»</source>
        <translation>the &quot;Quit now&quot; button was pressed</translation>
    </message>
    <message>
        <source>получен сигнал %1</source>
        <translation>signal %1 received</translation>
    </message>
    <message>
        <source>запуск не удался</source>
        <translation>the start failed</translation>
    </message>
    <message>
        <source>аварийное завершение</source>
        <translation>emergency end</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>2 февраля 2018</source>
        <translation>2 February 2018</translation>
    </message>
    <message>
        <source># Содержимое этого файла сформировано программой %1 %2.

</source>
        <translation># The contents of this file were written by the program %1 %2.

</translation>
    </message>
    <message>
        <source>Неправильный формат опции «--lang». Ожидаемый формат: --lang=en или --lang=ru.</source>
        <translation>Wrong format of the option &quot;--lang&quot;. Expected format: --lang=en or --lang=ru.</translation>
    </message>
    <message>
        <source>В командной строке дважды указана одна и та же опция: «--lang».</source>
        <translation>The same option is given twice on the command line: &quot;--lang&quot;.</translation>
    </message>
    <message>
        <source>Неизвестный язык в опции «--lang»: «%1». Знаю только языки «en» (английский) и «ru» (русский).</source>
        <translation>Unknown language in the option &quot;--lang&quot;: &quot;%1&quot;. Known languages are only &quot;en&quot; (English) and &quot;ru&quot; (Russian).</translation>
    </message>
    <message>
        <source>%1

Опции командной строки:
--help, -?, -h, -help, /?, /h, /help и т.п. - выдать этот текст и выйти
--cfg=&quot;файл&quot; - использовать указанный файл конфигурации (если опция не указана, используется файл «%2»)
--log=&quot;файл&quot; - использовать указанный файл журнала (если опция не указана, используется файл «%3»)
</source>
        <translation>%1

Command-line options:
--help, -?, -h, -help, /?, /h, /help etc. - show this text and exit
--cfg=&quot;file&quot; - use the given configuration file (without this option the file &quot;%2&quot; is used)
--log=&quot;file&quot; - use the given log file (without this option the file &quot;%3&quot; is used)
</translation>
    </message>
    <message>
        <source>--lang=en или --lang=ru - язык окон и журнала: английский или русский (если опция не указана, используется параметр «language» файла конфигурации, а без него - русский)
</source>
        <translation>--lang=en or --lang=ru - language of the windows and the log: English or Russian (without this option the key &quot;language&quot; of the configuration file is used, and without that key Russian)
</translation>
    </message>
    <message>
        <source>Неправильный формат опции «--cfg». Ожидаемый формат: --cfg=&quot;имя файла конфигурации&quot;.</source>
        <translation>Wrong format of the option &quot;--cfg&quot;. Expected format: --cfg=&quot;configuration file name&quot;.</translation>
    </message>
    <message>
        <source>В командной строке дважды указана одна и та же опция: «--cfg».</source>
        <translation>The same option is given twice on the command line: &quot;--cfg&quot;.</translation>
    </message>
    <message>
        <source>Неправильный формат опции «--log». Ожидаемый формат: --log=&quot;имя файла журнала&quot;.</source>
        <translation>Wrong format of the option &quot;--log&quot;. Expected format: --log=&quot;log file name&quot;.</translation>
    </message>
    <message>
        <source>В командной строке дважды указана одна и та же опция: «--log».</source>
        <translation>The same option is given twice on the command line: &quot;--log&quot;.</translation>
    </message>
    <message>
        <source>Неизвестная опция командной строки: «%1». Для получения справки по опциям командной строки запустите программу с опцией «-h».</source>
        <translation>Unknown command-line option: &quot;%1&quot;. For help on the command-line options, start the program with the option &quot;-h&quot;.</translation>
    </message>
    <message>
        <source>Если в командной строке определена опция «%1», в ней не должно быть никаких других опций или параметров.</source>
        <translation>When the option &quot;%1&quot; is given on the command line, there must be no other options or parameters in it.</translation>
    </message>
    <message>
        <source>Связь с сервером RUVO-LoRa: %1. Устройств в списке: %2, доступно: %3, занято клиентами: %4.</source>
        <translation>Link with the RUVO-LoRa server: %1. Modems to serve: %2, available: %3, in use by clients: %4.</translation>
    </message>
</context>
<context>
    <name>mbox</name>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Если вы сюда нажмёте, окно с сообщением будет закрыто.
Также это окно можно закрыть клавишами &apos;Esc&apos;, &apos;Enter&apos;, &apos;пробел&apos; и
&apos;Alt-F4&apos;.</source>
        <translation>Closes the message window.
The keys Esc, Enter, Space and Alt+F4 close it
too.</translation>
    </message>
</context>
<context>
    <name>modem_state</name>
    <message>
        <source>обслуживается</source>
        <translation>served</translation>
    </message>
    <message>
        <source>ждёт список сервера</source>
        <translation>waiting for the server&apos;s list</translation>
    </message>
    <message>
        <source>не известен серверу</source>
        <translation>not known to the server</translation>
    </message>
    <message>
        <source>порт не открыт</source>
        <translation>port cannot be opened</translation>
    </message>
    <message>
        <source>нет связи с сервером</source>
        <translation>link down</translation>
    </message>
    <message>
        <source>без порта TCP</source>
        <translation>no TCP port</translation>
    </message>
    <message>
        <source>Порт TCP %1 не удалось открыть: %2.</source>
        <translation>TCP port %1 could not be opened: %2.</translation>
    </message>
    <message>
        <source>порт занят другой программой</source>
        <translation>the port is in use by another program</translation>
    </message>
    <message>
        <source>нет прав на этот порт</source>
        <translation>no permission for this port</translation>
    </message>
    <message>
        <source>адрес tcp_listen_address не принадлежит этой машине</source>
        <translation>the address tcp_listen_address is not one of this machine</translation>
    </message>
    <message>
        <source>системе не хватает ресурсов</source>
        <translation>the system is out of resources</translation>
    </message>
</context>
<context>
    <name>msgbox</name>
    <message>
        <source>Не указано значение параметра «%1».</source>
        <translation>No value is given for the parameter &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Значение параметра «%1» должно быть целым десятичным числом, не превышающим %2.</source>
        <translation>The value of the parameter &quot;%1&quot; must be a decimal integer not greater than %2.</translation>
    </message>
    <message>
        <source>Значение параметра «%1» не должно превышать %2.</source>
        <translation>The value of the parameter &quot;%1&quot; must not be greater than %2.</translation>
    </message>
    <message>
        <source>Значение параметра «%1» не должно быть меньше %2.</source>
        <translation>The value of the parameter &quot;%1&quot; must not be less than %2.</translation>
    </message>
    <message>
        <source>Значение параметра «%1» должно быть шестнадцатизначным целым шестнадцатиричным числом без знака (а вы ввели %2 символов).</source>
        <translation>The value of the parameter &quot;%1&quot; must be a 16-digit unsigned hexadecimal integer (you have entered %2 characters).</translation>
    </message>
    <message>
        <source>Значение параметра «%1» должно быть целым шестнадцатиричным числом без знака, не превышающим %2.</source>
        <translation>The value of the parameter &quot;%1&quot; must be an unsigned hexadecimal integer not greater than %2.</translation>
    </message>
    <message>
        <source>Значение параметра «%1» не должно превышать 0x%2.</source>
        <translation>The value of the parameter &quot;%1&quot; must not be greater than 0x%2.</translation>
    </message>
</context>
<context>
    <name>parser</name>
    <message>
        <source>неизвестный параметр. Знаю только параметры «ws_url», «ws_login», «ws_password», «ws_connect_timeout», «ws_auth_timeout», «ws_reconnect_delay», «ws_devlist_period», «ws_devlist_timeout», «ws_data_timeout», «devices_file», «default_max_frame», «interframe_delay», «trace_ws» и «trace_tcp».</source>
        <translation>unknown parameter. Known parameters are only &quot;ws_url&quot;, &quot;ws_login&quot;, &quot;ws_password&quot;, &quot;ws_connect_timeout&quot;, &quot;ws_auth_timeout&quot;, &quot;ws_reconnect_delay&quot;, &quot;ws_devlist_period&quot;, &quot;ws_devlist_timeout&quot;, &quot;ws_data_timeout&quot;, &quot;devices_file&quot;, &quot;default_max_frame&quot;, &quot;interframe_delay&quot;, &quot;trace_ws&quot; and &quot;trace_tcp&quot;.</translation>
    </message>
    <message>
        <source>неправильное значение параметра «trace_ws»: знаю только значения «err», «bad_frames» и «all».</source>
        <translation>wrong value of the parameter &quot;trace_ws&quot;: known values are only &quot;err&quot;, &quot;bad_frames&quot; and &quot;all&quot;.</translation>
    </message>
    <message>
        <source>неправильное значение параметра «trace_tcp»: знаю только значения «err», «bad_frames» и «all».</source>
        <translation>wrong value of the parameter &quot;trace_tcp&quot;: known values are only &quot;err&quot;, &quot;bad_frames&quot; and &quot;all&quot;.</translation>
    </message>
    <message>
        <source>неправильное значение параметра «language»: знаю только значения «en» и «ru».</source>
        <translation>wrong value of the parameter &quot;language&quot;: known values are only &quot;en&quot; and &quot;ru&quot;.</translation>
    </message>
    <message>
        <source>ожидается конец строки.</source>
        <translation>end of line expected.</translation>
    </message>
    <message>
        <source>не определён обязательный параметр «ws_url».</source>
        <translation>the mandatory parameter &quot;ws_url&quot; is not defined.</translation>
    </message>
    <message>
        <source>не определён обязательный параметр «ws_login».</source>
        <translation>the mandatory parameter &quot;ws_login&quot; is not defined.</translation>
    </message>
    <message>
        <source>не определён обязательный параметр «ws_password».</source>
        <translation>the mandatory parameter &quot;ws_password&quot; is not defined.</translation>
    </message>
    <message>
        <source>файл со списком устройств должен состоять только из предложений «device».</source>
        <translation>the devices file must consist of &quot;device&quot; statements only.</translation>
    </message>
    <message>
        <source>неизвестный атрибут объекта «device». Знаю только атрибуты «eui», «tcp_port» и «max_frame».</source>
        <translation>unknown attribute of the object &quot;device&quot;. Known attributes are only &quot;eui&quot;, &quot;tcp_port&quot; and &quot;max_frame&quot;.</translation>
    </message>
    <message>
        <source>ожидается %1-значное шестнадцатиричное число.</source>
        <translation>expected a %1-digit hexadecimal number.</translation>
    </message>
    <message>
        <source>ожидается запятая, разделяющая атрибуты, или круглая скобка, завершающая список атрибутов.</source>
        <translation>expected a comma that separates the attributes, or a parenthesis that ends the list of attributes.</translation>
    </message>
    <message>
        <source>в описании объекта «device» отсутствует обязательный атрибут: «eui».</source>
        <translation>the description of the object &quot;device&quot; lacks the mandatory attribute &quot;eui&quot;.</translation>
    </message>
    <message>
        <source>в описании объекта «device» отсутствует обязательный атрибут: «tcp_port».</source>
        <translation>the description of the object &quot;device&quot; lacks the mandatory attribute &quot;tcp_port&quot;.</translation>
    </message>
    <message>
        <source>Файл со списком устройств («%1») несколько раз упоминает устройство с eui=0x%2. Все упоминания кроме первого игнорируются.</source>
        <translation>The devices file (&quot;%1&quot;) names the device with eui=0x%2 more than once. All mentions but the first are ignored.</translation>
    </message>
    <message>
        <source>Файл со списком устройств «%1» несколько раз упоминает один и тот же номер порта TCP: %2. Все упоминания кроме первого игнорируются.</source>
        <translation>The devices file &quot;%1&quot; names the same TCP port number more than once: %2. All mentions but the first are ignored.</translation>
    </message>
    <message>
        <source>Не удалось начать запись в файл списка устройств, подлежащих обслуживанию.</source>
        <translation>Could not begin writing the file with the list of devices to serve.</translation>
    </message>
    <message>
        <source>Не удалось записать файл списка устройств, подлежащих обслуживанию, «%1»: %2. Файл остался прежним.</source>
        <translation>Could not write the file with the list of devices to serve, &quot;%1&quot;: %2. The file is left as it was.</translation>
    </message>
    <message>
        <source>этот массив данных должен состоять из целого числа байтов (а значит, из чётного числа шестнадцатиричных цифр).</source>
        <translation>this data array must consist of a whole number of bytes (and so of an even number of hexadecimal digits).</translation>
    </message>
    <message>
        <source>этот массив слишком длинный</source>
        <translation>this array is too long</translation>
    </message>
    <message>
        <source>ожидается слово «true» или «false».</source>
        <translation>expected the word &quot;true&quot; or &quot;false&quot;.</translation>
    </message>
    <message>
        <source>ожидается символ «%1».</source>
        <translation>expected the character &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>параметр «%1» уже определён выше по тексту.</source>
        <translation>the parameter &quot;%1&quot; is already defined above in the text.</translation>
    </message>
    <message>
        <source>ожидается десятичное число</source>
        <translation>expected a decimal number</translation>
    </message>
    <message>
        <source>ожидается десятичное число.</source>
        <translation>expected a decimal number.</translation>
    </message>
    <message>
        <source>число слишком большое (должно быть не более %1)</source>
        <translation>the number is too big (it must not be greater than %1)</translation>
    </message>
    <message>
        <source>число слишком маленькое (должно быть не менее %1).</source>
        <translation>the number is too small (it must not be less than %1).</translation>
    </message>
    <message>
        <source>неправильная кодировка. Текст должен быть в кодировке UTF-8 (или ASCII).</source>
        <translation>wrong encoding. The text must be in UTF-8 (or ASCII).</translation>
    </message>
    <message>
        <source>неожиданный байт 0x%1 (ожидаются пробельные символы или первый символ лексемы).</source>
        <translation>unexpected byte 0x%1 (expected blanks or the first character of a token).</translation>
    </message>
    <message>
        <source>нарушение формата UTF-8: байт 0x%1, и за ним сразу конец разбираемого текста.</source>
        <translation>UTF-8 format violation: the byte 0x%1, right followed by the end of the parsed text.</translation>
    </message>
    <message>
        <source>неожиданный символ UTF-8: 0x%1 0x%2 (ожидаются пробельные символы или первый символ лексемы).</source>
        <translation>unexpected UTF-8 character: 0x%1 0x%2 (expected blanks or the first character of a token).</translation>
    </message>
    <message>
        <source>нарушение формата UTF-8: последовательность байтов 0x%1 0x%2, и за ней сразу конец разбираемого текста.</source>
        <translation>UTF-8 format violation: the byte sequence 0x%1 0x%2, right followed by the end of the parsed text.</translation>
    </message>
    <message>
        <source>неожиданный символ UTF-8: 0x%1 0x%2 0x%3 (ожидаются пробельные символы или первый символ лексемы).</source>
        <translation>unexpected UTF-8 character: 0x%1 0x%2 0x%3 (expected blanks or the first character of a token).</translation>
    </message>
    <message>
        <source>Ошибка в %1-м символе %2-й строки файла «%3»: %4</source>
        <translation>Error at character %1 of line %2 of the file &quot;%3&quot;: %4</translation>
    </message>
    <message>
        <source>здесь должна быть строка в двойных кавычках.</source>
        <translation>a string in double quotes must stand here.</translation>
    </message>
    <message>
        <source>Ошибка в программе: неправильно выделено место под строку-результат. Выделили %1 16-битных ячеек, осталось %2 лишних ячеек.</source>
        <translation>Error in the program: wrong room allocated for the result string. Allocated %1 16-bit cells, %2 cells are left over.</translation>
    </message>
    <message>
        <source>ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен конец разбираемого текста.</source>
        <translation>expected a double quotation mark that closes the string, found the end of the parsed text instead.</translation>
    </message>
    <message>
        <source>ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен перевод строки (0x%1).</source>
        <translation>expected a double quotation mark that closes the string, found a line break (0x%1) instead.</translation>
    </message>
    <message>
        <source>ожидается двойная кавычка, закрывающая строку, вместо неё обнаружен перевод строки (U+85).</source>
        <translation>expected a double quotation mark that closes the string, found a line break (U+85) instead.</translation>
    </message>
    <message>
        <source>ожидается двойная кавычка, закрывающая строку, обнаружен перевод строки (U+%1).</source>
        <translation>expected a double quotation mark that closes the string, found a line break (U+%1).</translation>
    </message>
    <message>
        <source>в строке обнаружена неправильная escape-последовательность: сразу после escape-символа «\» обнаружен конец разбираемого текста.</source>
        <translation>wrong escape sequence in the string: the parsed text ends right after the escape character &quot;\&quot;.</translation>
    </message>
    <message>
        <source>в строке обнаружена неправильная escape-последовательность: после escape-символа «\» идёт байт 0x%1.</source>
        <translation>wrong escape sequence in the string: the escape character &quot;\&quot; is followed by the byte 0x%1.</translation>
    </message>
    <message>
        <source>в строке обнаружена неправильная escape-последовательность \uHHHH: вместо %1-й шестнадцатиричной цифры кода символа обнаружен байт 0x%2.</source>
        <translation>wrong escape sequence \uHHHH in the string: found the byte 0x%2 instead of hexadecimal digit no. %1 of the character code.</translation>
    </message>
    <message>
        <source>в строке обнаружена неправильная escape-последовательность \uHHHH: вместо %1-й шестнадцатиричной цифры кода символа обнаружен конец разбираемого текста.</source>
        <translation>wrong escape sequence \uHHHH in the string: found the end of the parsed text instead of hexadecimal digit no. %1 of the character code.</translation>
    </message>
    <message>
        <source>в строке обнаружена неправильная escape-последовательность \UHHHHHHHH: вместо %1-й шестнадцатиричной цифры кода символа обнаружен байт 0x%2.</source>
        <translation>wrong escape sequence \UHHHHHHHH in the string: found the byte 0x%2 instead of hexadecimal digit no. %1 of the character code.</translation>
    </message>
    <message>
        <source>в строке обнаружена неправильная escape-последовательность \UHHHHHHHH: вместо %1-й шестнадцатиричной цифры кода символа обнаружен конец разбираемого текста.</source>
        <translation>wrong escape sequence \UHHHHHHHH in the string: found the end of the parsed text instead of hexadecimal digit no. %1 of the character code.</translation>
    </message>
    <message>
        <source>в строке обнаружена неправильная escape-последовательность \xHH...H: вместо первой шестнадцатиричной цифры кода символа обнаружен байт 0x%1.</source>
        <translation>wrong escape sequence \xHH...H in the string: found the byte 0x%1 instead of the first hexadecimal digit of the character code.</translation>
    </message>
    <message>
        <source>в строке обнаружена неправильная escape-последовательность \xHH...H: вместо первой шестнадцатиричной цифры кода символа обнаружен конец разбираемого текста.</source>
        <translation>wrong escape sequence \xHH...H in the string: found the end of the parsed text instead of the first hexadecimal digit of the character code.</translation>
    </message>
    <message>
        <source>в строке обнаружена неправильная escape-последовательность \xHH...H: код символа слишком большой (не влезает в 32 бита).</source>
        <translation>wrong escape sequence \xHH...H in the string: the character code is too big (does not fit in 32 bits).</translation>
    </message>
    <message>
        <source>разбираемый текст не является текстом в кодировке UTF-8. </source>
        <translation>the parsed text is not UTF-8 text. </translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала обнаружен байт 0x%2 (который, согласно UTF-8, должен быть последующим байтом многобайтного символа), хотя перед ним не было первого байта многобайтного символа.</source>
        <translation>%1Inside a string literal there is the byte 0x%2 (which in UTF-8 must be a continuation byte of a multibyte character), but no first byte of a multibyte character came before it.</translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала обнаружен байт 0x%2 (запрещённый текущей версией формата UTF-8).</source>
        <translation>%1Inside a string literal there is the byte 0x%2 (forbidden by the current version of UTF-8).</translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала, после байта 0x%2 (первый байт многобайтного символа, согласно UTF-8) обнаружен конец разбираемого текста (вместо второго байта многобайтного символа).</source>
        <translation>%1Inside a string literal, after the byte 0x%2 (the first byte of a multibyte character in UTF-8), the parsed text ends (instead of the second byte of the multibyte character).</translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала, после байта 0x%2 (первый байт многобайтного символа, согласно UTF-8) обнаружен байт 0x%3 (не являющийся вторым байтом многобайтного символа).</source>
        <translation>%1Inside a string literal, after the byte 0x%2 (the first byte of a multibyte character in UTF-8), there is the byte 0x%3 (which is not the second byte of a multibyte character).</translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала, после байтов 0x%2 и 0x%3 (первый и второй байты не менее чем трёхбайтного символа, согласно UTF-8) обнаружен конец разбираемого текста (вместо третьего байта символа).</source>
        <translation>%1Inside a string literal, after the bytes 0x%2 and 0x%3 (the first and second bytes of a character of at least three bytes in UTF-8), the parsed text ends (instead of the third byte of the character).</translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала, после байтов 0x%2 и 0x%3 (первый и второй байты не менее чем трёхбайтного символа, согласно UTF-8) обнаружен байт 0x%4 (не являющийся третьим байтом символа).</source>
        <translation>%1Inside a string literal, after the bytes 0x%2 and 0x%3 (the first and second bytes of a character of at least three bytes in UTF-8), there is the byte 0x%4 (which is not the third byte of the character).</translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала, после байтов 0x%2, 0x%3 и 0x%4 (первый, второй и третий байты четырёхбайтного символа, согласно UTF-8) обнаружен конец разбираемого текста (вместо четвёртого байта символа).</source>
        <translation>%1Inside a string literal, after the bytes 0x%2, 0x%3 and 0x%4 (the first, second and third bytes of a four-byte character in UTF-8), the parsed text ends (instead of the fourth byte of the character).</translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала, после байтов 0x%2, 0x%3 и 0x%4 (первый, второй и третий байты четырёхбайтного символа, согласно UTF-8) обнаружен байт 0x%5 (не являющийся четвёртым байтом символа).</source>
        <translation>%1Inside a string literal, after the bytes 0x%2, 0x%3 and 0x%4 (the first, second and third bytes of a four-byte character in UTF-8), there is the byte 0x%5 (which is not the fourth byte of the character).</translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала обнаружена недопустимая последовательность байтов: 0x%2 0x%3 (стандарт UTF-8 не допускает кодирование символа избыточным количеством байтов).</source>
        <translation>%1Inside a string literal there is an invalid byte sequence: 0x%2 0x%3 (UTF-8 does not allow a character to be encoded with more bytes than it needs).</translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала обнаружена недопустимая последовательность байтов: 0x%2 0x%3 0x%4 (стандарт UTF-8 не допускает кодирование символа избыточным количеством байтов).</source>
        <translation>%1Inside a string literal there is an invalid byte sequence: 0x%2 0x%3 0x%4 (UTF-8 does not allow a character to be encoded with more bytes than it needs).</translation>
    </message>
    <message>
        <source>%1Внутри строкового литерала обнаружена недопустимая последовательность байтов: 0x%2 0x%3 0x%4 0x%5 (стандарт UTF-8 не допускает кодирование символа избыточным количеством байтов).</source>
        <translation>%1Inside a string literal there is an invalid byte sequence: 0x%2 0x%3 0x%4 0x%5 (UTF-8 does not allow a character to be encoded with more bytes than it needs).</translation>
    </message>
    <message>
        <source>внутри строкового литерала обнаружен недопустимый символ: U+%1 (этот символ невозможно перевести в кодировку UTF-16 - в ней он используется для кодирования суррогатных пар).</source>
        <translation>invalid character inside a string literal: U+%1 (this character cannot be converted to UTF-16 - there it is used to encode surrogate pairs).</translation>
    </message>
    <message>
        <source>внутри строкового литерала обнаружен недопустимый символ: U+%1 (этот символ невозможно перевести в кодировку UTF-16 - его код слишком большой).</source>
        <translation>invalid character inside a string literal: U+%1 (this character cannot be converted to UTF-16 - its code is too big).</translation>
    </message>
    <message>
        <source>Слишком длинный строковый литерал.</source>
        <translation>String literal too long.</translation>
    </message>
    <message>
        <source>в строке обнаружен недопустимый символ с кодом 0x%1 (эта строка не должна содержать управляющие символы).</source>
        <translation>invalid character with code 0x%1 in the string (this string must not contain control characters).</translation>
    </message>
    <message>
        <source>переполнение строки-результата при добавлении символа U+%1 (в виде суррогатной пары). Под строку было зарезервировано %2 16-битных ячеек. Не хватает %3 ячеек.</source>
        <translation>overflow of the result string when adding the character U+%1 (as a surrogate pair). %2 16-bit cells were reserved for the string. %3 cells are missing.</translation>
    </message>
    <message>
        <source>переполнение строки-результата при добавлении символа U+%1. Под строку было зарезервировано %2 16-битных ячеек.</source>
        <translation>overflow of the result string when adding the character U+%1. %2 16-bit cells were reserved for the string.</translation>
    </message>
    <message>
        <source>неправильное значение атрибута «protocol»: знаю только значения «raw» и «modbus_tcp».</source>
        <translation>wrong value of the attribute &quot;protocol&quot;: known values are only &quot;raw&quot; and &quot;modbus_tcp&quot;.</translation>
    </message>
    <message>
        <source>Файл со списком устройств («%1») задаёт для устройства с eui=0x%2 порт TCP 0. Порт 0 не годится для подключения клиентов, поэтому это устройство не обслуживается; укажите ему порт от 1 до 65535.</source>
        <translation>The devices file (&quot;%1&quot;) gives the device with eui=0x%2 the TCP port 0. Port 0 cannot take client connections, so this device is not served; give it a port from 1 to 65535.</translation>
    </message>
    <message>
        <source>неправильное значение параметра «tcp_listen_address»: ожидается адрес IPv4 или IPv6 (например, «127.0.0.1» или «::1»).</source>
        <translation>wrong value of the parameter &quot;tcp_listen_address&quot;: an IPv4 or IPv6 address is expected (such as &quot;127.0.0.1&quot; or &quot;::1&quot;).</translation>
    </message>
    <message>
        <source>неправильный элемент «%1» в значении параметра «tcp_allow»: ожидается адрес IPv4 или IPv6 либо сеть вида адрес/длина префикса (например, «10.1.0.0/16» или «fd00::/8»).</source>
        <translation>wrong element &quot;%1&quot; in the value of the parameter &quot;tcp_allow&quot;: an IPv4 or IPv6 address or a network written as address/prefix length is expected (such as &quot;10.1.0.0/16&quot; or &quot;fd00::/8&quot;).</translation>
    </message>
    <message>
        <source>пустой элемент в значении параметра «tcp_allow»: ожидается список адресов и сетей через запятую.</source>
        <translation>empty element in the value of the parameter &quot;tcp_allow&quot;: a comma-separated list of addresses and networks is expected.</translation>
    </message>
    <message>
        <source>параметры «ws_client_cert» и «ws_client_key» задаются только вместе.</source>
        <translation>the parameters &quot;ws_client_cert&quot; and &quot;ws_client_key&quot; are given only together.</translation>
    </message>
    <message>
        <source>закрытый ключ из файла «%1» (параметр «ws_client_key») не подходит к сертификату из файла «%2» (параметр «ws_client_cert»).</source>
        <translation>the private key from the file &quot;%1&quot; (parameter &quot;ws_client_key&quot;) does not match the certificate from the file &quot;%2&quot; (parameter &quot;ws_client_cert&quot;).</translation>
    </message>
    <message>
        <source>не удалось прочитать файл «%1»: %2.</source>
        <translation>could not read the file &quot;%1&quot;: %2.</translation>
    </message>
    <message>
        <source>в файле «%1» нет ни одного сертификата в формате PEM.</source>
        <translation>the file &quot;%1&quot; holds no certificate in PEM format.</translation>
    </message>
    <message>
        <source>в файле «%1» нет сертификата в формате PEM.</source>
        <translation>the file &quot;%1&quot; holds no PEM certificate.</translation>
    </message>
    <message>
        <source>в файле «%1» нет незашифрованного закрытого ключа (RSA, EC или DSA) в формате PEM.</source>
        <translation>the file &quot;%1&quot; holds no unencrypted private key (RSA, EC or DSA) in PEM format.</translation>
    </message>
    <message>
        <source>неправильное значение параметра «metrics_listen»: ожидается адрес IPv4 и порт TCP, например «127.0.0.1:9464» или «0.0.0.0:9464».</source>
        <translation>wrong value of the parameter &quot;metrics_listen&quot;: an IPv4 address and a TCP port are expected, such as &quot;127.0.0.1:9464&quot; or &quot;0.0.0.0:9464&quot;.</translation>
    </message>
    <message>
        <source>Знаю также параметры %1.</source>
        <translation>The parameters %1 are known too.</translation>
    </message>
    <message>
        <source>«%1»</source>
        <translation>&quot;%1&quot;</translation>
    </message>
    <message>
        <source>%1 и %2</source>
        <translation>%1 and %2</translation>
    </message>
    <message>
        <source>Допустимы также предложения «unit».</source>
        <translation>&quot;unit&quot; statements are allowed too.</translation>
    </message>
    <message>
        <source>Знаю также атрибуты «protocol» и «cache_ms».</source>
        <translation>The attributes &quot;protocol&quot; and &quot;cache_ms&quot; are known too.</translation>
    </message>
    <message>
        <source>неизвестный атрибут объекта «unit». Знаю только атрибуты «id», «eui» и «slave».</source>
        <translation>unknown attribute of the object &quot;unit&quot;. Known attributes are only &quot;id&quot;, &quot;eui&quot; and &quot;slave&quot;.</translation>
    </message>
    <message>
        <source>в описании объекта «unit» отсутствует обязательный атрибут: «%1».</source>
        <translation>the description of the object &quot;unit&quot; lacks the mandatory attribute &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>устройство с eui=0x%1 не описано выше по тексту предложением «device»: предложение «unit» может ссылаться только на устройство, описанное до него.</source>
        <translation>no &quot;device&quot; statement above describes the device with eui=0x%1: a &quot;unit&quot; statement may name only a device described before it.</translation>
    </message>
    <message>
        <source>порт TCP %1 устройства с eui=0x%2 совпадает с общим портом Modbus TCP (параметр «modbus_site_port» файла конфигурации); у общего порта и у каждого устройства должен быть свой порт.</source>
        <translation>the TCP port %1 of the device with eui=0x%2 is the site&apos;s Modbus TCP port (the configuration parameter &quot;modbus_site_port&quot;); the site port and every device need ports of their own.</translation>
    </message>
    <message>
        <source>Файл со списком устройств («%1») несколько раз упоминает номер устройства (unit id) %2 общего порта Modbus TCP. Все упоминания кроме первого игнорируются.</source>
        <translation>The devices file (&quot;%1&quot;) names the unit id %2 of the site&apos;s Modbus TCP port more than once. All mentions but the first are ignored.</translation>
    </message>
    <message>
        <source>В шестнадцатиричной записи: от 0000000000000000 до %1 (цифры 0-9 и буквы A-F).</source>
        <translation>In hexadecimal: from 0000000000000000 to %1 (digits 0-9 and letters A-F).</translation>
    </message>
    <message>
        <source>Указано имя «%1».</source>
        <translation>The name given is &quot;%1&quot;.</translation>
    </message>
</context>
<context>
    <name>proto</name>
    <message>
        <source>авторизация пользователя</source>
        <translation>user login</translation>
    </message>
    <message>
        <source>запрос списка устройств</source>
        <translation>device list request</translation>
    </message>
    <message>
        <source>добавить данные в очередь для отправки на устройство</source>
        <translation>queue data for sending to the device</translation>
    </message>
</context>
<context>
    <name>status_page</name>
    <message>
        <source>Состояние программы ruvo_bridge</source>
        <translation>ruvo_bridge status</translation>
    </message>
    <message>
        <source>Связь с сервером RUVO-LoRa:</source>
        <translation>Link with the RUVO-LoRa server:</translation>
    </message>
    <message>
        <source>с %1</source>
        <translation>since %1</translation>
    </message>
    <message>
        <source>Радиомодемов, подлежащих обслуживанию:</source>
        <translation>Modems to serve:</translation>
    </message>
    <message>
        <source>... из них доступных для связи:</source>
        <translation>... of them available:</translation>
    </message>
    <message>
        <source>... из них используемых клиентами:</source>
        <translation>... of them in use by clients:</translation>
    </message>
    <message>
        <source>Имя</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Протокол</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation>State</translation>
    </message>
    <message>
        <source>Клиентов</source>
        <translation>Clients</translation>
    </message>
    <message>
        <source>Ответов</source>
        <translation>Answers</translation>
    </message>
    <message>
        <source>Ошибок</source>
        <translation>Errors</translation>
    </message>
    <message>
        <source>Последний ответ</source>
        <translation>Last answer</translation>
    </message>
    <message>
        <source>%1 с назад</source>
        <translation>%1 s ago</translation>
    </message>
    <message>
        <source>не было</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Обновлено %1; страница обновляется каждые %2 с.</source>
        <translation>Updated %1; the page refreshes every %2 s.</translation>
    </message>
</context>
</TS>
