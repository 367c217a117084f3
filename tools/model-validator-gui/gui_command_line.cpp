#include "gui_command_line.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QPixmap>
#include <QTreeView>

#include "validator_window.h"

namespace KX::GuiCommandLine {

QString usage() {
    return QStringLiteral("usage: model-validator-gui [--res DIR]... [--screenshot FILE] [MODEL]\n"
                          "  --res DIR          add a resource root (repeatable, first wins)\n"
                          "  --screenshot FILE  validate MODEL, save the window as a PNG and exit\n"
                          "  MODEL              resource path of a .model file, or the file itself\n");
}

std::optional<Options> parse(const QStringList& arguments, QString* error) {
    Options options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
        } else if (argument == QLatin1String("--res") || argument == QLatin1String("--screenshot")) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(argument);
                return std::nullopt;
            }
            const QString value = arguments[++i];
            if (argument == QLatin1String("--screenshot")) {
                options.screenshot = value;
            } else if (QFileInfo(value).isDir()) {
                options.roots << value;
            } else {
                *error = QStringLiteral("resource root %1 is not a folder").arg(value);
                return std::nullopt;
            }
        } else if (argument.startsWith(QLatin1String("--"))) {
            *error = QStringLiteral("unknown option %1").arg(argument);
            return std::nullopt;
        } else if (options.model.isEmpty()) {
            options.model = argument;
        } else {
            *error = QStringLiteral("only one MODEL may be given");
            return std::nullopt;
        }
    }
    if (!options.help && !options.screenshot.isEmpty() && options.model.isEmpty()) {
        *error = QStringLiteral("--screenshot needs a MODEL");
        return std::nullopt;
    }
    return options;
}

bool apply(const Options& options, ValidatorWindow& window, QString* error) {
    window.setResourceRoots(options.roots);
    if (options.model.isEmpty()) {
        return true;
    }
    const QFileInfo file(options.model);
    if (file.isAbsolute() && file.isFile()) {
        if (!window.setModelFromFile(options.model)) {
            *error = window.statusText();
            return false;
        }
        return true;
    }
    window.setModelPath(options.model);
    return true;
}

bool saveScreenshot(ValidatorWindow& window, const QString& file, QString* error) {
    QEventLoop loop;
    QObject::connect(&window, &ValidatorWindow::validationFinished, &loop, &QEventLoop::quit);
    if (!window.startValidation()) {
        *error = window.statusText();
        return false;
    }
    loop.exec();
    window.show();
    window.treeView()->expandAll();
    const QPixmap image = window.grab();
    if (image.isNull() || !image.save(file, "PNG")) {
        *error = QStringLiteral("cannot write %1").arg(file);
        return false;
    }
    return true;
}

} // namespace KX::GuiCommandLine
