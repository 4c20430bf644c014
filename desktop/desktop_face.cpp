// The desktop program's face: what it shows in windows and boxes where the daemon writes to its
// standard streams.
#include "desktop/desktop_face.h"

#include "core/build_info.h"
#include "app/engine.h"
#include "app/link_view.h"
#include "ui/error_box.h"
#include "ui/fonts.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

namespace {

// The main window as the view Service_control hears from.
class Window_view : public Link_view {
public:
    explicit Window_view(QThread& engine) : window(engine)
    {
        connect(&window, &Main_window::state_shown, this, &Link_view::state_shown);
        connect(&window, &Main_window::shutdown, this, &Link_view::shutdown);
        window.show();
    }

private:
    Main_window window;
};

}  // namespace

std::unique_ptr<QCoreApplication> Desktop_face::make_application(int& argc, char** argv)
{
    auto app = std::make_unique<QApplication>(argc, argv);
    install_error_box();
    Q_INIT_RESOURCE(resources);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ruvo_sigil.ico")));
    return app;
}

void Desktop_face::show_help(const QString& text)
{
    QMessageBox box;
    init_fonts(box);
    init_resources_for_mbox();
    box.setText(text);
    box.setWindowTitle(QStringLiteral("%1 --help").arg(QLatin1String(program_name)));
    box.setIcon(QMessageBox::Information);
    QPushButton* ok = box.addButton(mbox_ok, QMessageBox::AcceptRole);
    ok->setToolTip(hint_mbox_ok);
    box.setEscapeButton(ok);
    box.exec();
}

std::unique_ptr<Link_view> Desktop_face::open_view(Engine& engine)
{
    return std::make_unique<Window_view>(engine);
}

int Desktop_face::exec()
{
    return QApplication::exec();
}

int ruvo_main(int argc, char** argv)
{
    Desktop_face face;
    return start_program(argc, argv, face);
}
