#include <QApplication>
#include <cstdio>

#include "gui_command_line.h"
#include "validator_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("model-validator-gui"));

    QString error;
    const auto options = KX::GuiCommandLine::parse(QApplication::arguments(), &error);
    if (!options) {
        std::fprintf(stderr, "model-validator-gui: %s\n%s", qPrintable(error),
                     qPrintable(KX::GuiCommandLine::usage()));
        return 2;
    }
    if (options->help) {
        std::fprintf(stdout, "%s", qPrintable(KX::GuiCommandLine::usage()));
        return 0;
    }

    ValidatorWindow window;
    if (!KX::GuiCommandLine::apply(*options, window, &error)) {
        std::fprintf(stderr, "model-validator-gui: %s\n", qPrintable(error));
        return 1;
    }
    if (!options->screenshot.isEmpty()) {
        if (!KX::GuiCommandLine::saveScreenshot(window, options->screenshot, &error)) {
            std::fprintf(stderr, "model-validator-gui: %s\n", qPrintable(error));
            return 1;
        }
        return 0;
    }
    window.show();
    if (!options->model.isEmpty() && !options->roots.isEmpty()) {
        window.startValidation();
    }
    return QApplication::exec();
}
