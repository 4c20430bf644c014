// A combo box that is never narrower than its widest item in the font it is drawn with.
#include "ui/combo_box_fitting.h"

#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionComboBox>

QSize Combo_box_fitting::sizeHint() const
{
    QSize size = QComboBox::sizeHint();
    size.setWidth(qMax(size.width(), fitting_width()));
    return size;
}

QSize Combo_box_fitting::minimumSizeHint() const
{
    QSize size = QComboBox::minimumSizeHint();
    size.setWidth(qMax(size.width(), fitting_width()));
    return size;
}

int Combo_box_fitting::fitting_width() const
{
    const QFontMetrics metrics = fontMetrics();
    int text = 0;
    for (int i = 0; i < count(); ++i)
        text = qMax(text, metrics.horizontalAdvance(itemText(i)));
    // The style draws the text in the edit field, a little inside it; a blank's width of room
    // keeps the text clear of the frame in every style.
    text += metrics.horizontalAdvance(QLatin1Char(' '));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.rect = QRect(QPoint(0, 0), QComboBox::sizeHint());
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return option.rect.width() - field.width() + text;
}
