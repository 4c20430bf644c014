// A combo box that is never narrower than its widest item in the font it is drawn with, so that
// no caption is cut off under the arrow.
#pragma once

#include <QComboBox>

class Combo_box_fitting : public QComboBox {
public:
    using QComboBox::QComboBox;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    // Qt sizes the box by the items' ink, which with some fonts and styles is narrower than the
    // room the drawn text takes; this is the width that holds the widest item's full advance.
    int fitting_width() const;
};
