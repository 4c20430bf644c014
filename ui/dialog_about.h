// The About dialog: what the program is, what it does and which files it uses.
#pragma once

#include <QDialog>
#include <QTextEdit>

// A title bar with a close button and no other buttons; the exit dialog looks the same.
constexpr Qt::WindowFlags about_dialog_flags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// The text field of the About dialog, sized in the layout unit of the fonts.
class Ebox_about : public QTextEdit {
public:
    using QTextEdit::QTextEdit;
    QSize sizeHint() const override;
};

class Dialog_about : public QDialog {
    Q_OBJECT
public:
    explicit Dialog_about(QWidget* parent = nullptr);
};
