#pragma once

#include <QCoreApplication>

// The one Qt application object of a test binary (QGuiApplication or
// QApplication), created on first use so that the ordinary gtest main can
// stay. Tests run on the offscreen platform unless the environment chooses
// another.
template <typename Application> Application& qtTestApplication() {
    if (auto* existing = qobject_cast<Application*>(QCoreApplication::instance())) {
        return *existing;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "kx_qt_tests";
    static char* argv[] = {name, nullptr};
    static Application application(argc, argv);
    return application;
}
