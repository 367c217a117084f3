#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class ValidatorWindow;

namespace KX::GuiCommandLine {

struct Options {
    QStringList roots;  // --res DIR, in order
    QString screenshot; // --screenshot FILE
    QString model;      // MODEL: a resource path or a file under a root
    bool help = false;
};

QString usage();

// Parses the arguments (the first is the program); nullopt with a reason in
// `error` when they are unusable.
std::optional<Options> parse(const QStringList& arguments, QString* error);

// Applies the roots and the model to the window; false with a reason when
// the model is a file outside every root.
bool apply(const Options& options, ValidatorWindow& window, QString* error);

// Validates the window's model, expands the tree and saves the window as a
// PNG. Runs an event loop until the validation ends.
bool saveScreenshot(ValidatorWindow& window, const QString& file, QString* error);

} // namespace KX::GuiCommandLine
