// The choice of a modem port's protocol in the add and edit dialogs, and its column in the
// device list.
#include "ui/protocol_choice.h"

#include "common/err.h"
#include "ui/fonts.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>

namespace {

Tr caption_protocol{TR_TEXT("add_device", "Протокол клиентов TCP")};
Tr short_caption_protocol{TR_TEXT("devices", "Протокол")};
Tr hint_protocol_text{TR_TEXT("add_device",
                              "Как программа понимает то, что присылает клиент TCP:\n"
                              "«поток байтов» - сообщения отделяются паузами (interframe_delay)\n"
                              "и передаются радиомодему как есть; так работают клиенты\n"
                              "Modbus RTU поверх TCP и любые другие протоколы;\n"
                              "«Modbus TCP» - программа работает шлюзом: принимает запросы\n"
                              "Modbus TCP (с заголовком MBAP), передаёт устройству кадры\n"
                              "Modbus RTU с контрольной суммой и возвращает клиенту ответы\n"
                              "Modbus TCP; паузы не нужны, запросы идут к устройству по одному.")};

}  // namespace

QComboBox* add_protocol_row(QFormLayout& layout, Port_protocol shown)
{
    auto* label = new QLabel(caption_protocol.tr());
    label->setToolTip(hint_protocol_text.tr());
    auto* choice = new QComboBox;
    // The choices are the rows of the protocol table, in its order.
    for (const Port_protocol_row& row : port_protocols)
        choice->addItem(row.caption.tr());
    choice->setCurrentIndex(static_cast<int>(shown));
    choice->setFont(font_value_big);
    choice->setToolTip(hint_protocol_text.tr());
    label->setBuddy(choice);
    layout.addRow(label, choice);
    return choice;
}

Port_protocol chosen_protocol(const QComboBox& choice)
{
    return port_protocols[choice.currentIndex()].protocol;
}

const QString& protocol_caption(Port_protocol protocol)
{
    return port_protocol_row(protocol).caption.tr();
}

const QString& caption_protocol_column()
{
    return short_caption_protocol.tr();
}

const QString& hint_protocol()
{
    return hint_protocol_text.tr();
}
