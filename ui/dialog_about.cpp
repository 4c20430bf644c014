// The About dialog and the program's identification text.
#include "ui/dialog_about.h"

Dialog_about::Dialog_about(QWidget* parent) : QDialog(parent) {}

QString Dialog_about::about()
{
    return QStringLiteral("ruvo_bridge");
}
