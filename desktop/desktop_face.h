// The desktop program's face: the application with widgets, the error box, the help box and the
// main window.
#pragma once

#include "app/startup.h"

class Desktop_face : public Program_face {
public:
    std::unique_ptr<QCoreApplication> make_application(int& argc, char** argv) override;
    void show_help(const QString& text) override;
    std::unique_ptr<Link_view> open_view(Engine& engine) override;
    // QApplication's loop, which also makes the application the root of accessibility.
    int exec() override;
};

// The desktop program's whole run; returns the process exit code.
int ruvo_main(int argc, char** argv);
