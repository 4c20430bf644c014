// The program's start-up shared by the desktop program and the daemon: command line, start
// banner, configuration and devices files, the exchange thread, the run and the exit code.
#pragma once

#include "core/exit_codes.h"

#include <QString>
#include <memory>

class QCoreApplication;
class Engine;
class Link_view;

// What the two programs do their own way: the desktop program shows boxes and its window, the
// daemon writes to its standard streams and shows nothing.
class Program_face {
public:
    virtual ~Program_face() = default;
    // The application object, made first; from then on show_error reaches the user this face's way.
    virtual std::unique_ptr<QCoreApplication> make_application(int& argc, char** argv) = 0;
    // The command-line help, the whole text ready.
    virtual void show_help(const QString& text) = 0;
    // What follows the link while the program runs; made before the exchange thread starts.
    virtual std::unique_ptr<Link_view> open_view(Engine& engine) = 0;
    // Runs the event loop of the application made above until the program ends; its exit code.
    virtual int exec();
};

// Runs the whole program; returns the process exit code.
int start_program(int argc, char** argv, Program_face& face);

// The daemon's face: the help on standard output, the errors on standard error and in the log,
// a watch of the link in place of the window.
class Daemon_face : public Program_face {
public:
    std::unique_ptr<QCoreApplication> make_application(int& argc, char** argv) override;
    void show_help(const QString& text) override;
    std::unique_ptr<Link_view> open_view(Engine& engine) override;
};
