#include "common/system_clipboard.h"

#include "engine/core/debug_log.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>
#else
#include <QClipboard>
#include <QGuiApplication>
#include <QString>
#include <QThread>
#endif

namespace KX::Platform {

#ifdef _WIN32

bool setClipboardText(const std::string& text) {
    if (!OpenClipboard(nullptr)) {
        return false;
    }
    bool handedOver = false;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (block && EmptyClipboard()) {
        if (void* bytes = GlobalLock(block)) {
            std::memcpy(bytes, text.c_str(), text.size() + 1);
            GlobalUnlock(block);
            // Once set, the block belongs to the clipboard.
            handedOver = SetClipboardData(CF_TEXT, block) != nullptr;
        }
    }
    if (block && !handedOver) {
        GlobalFree(block);
    }
    CloseClipboard();
    return handedOver;
}

#else

bool setClipboardText(const std::string& text) {
    // Without a GUI application there is no connection to a display server,
    // and Qt's clipboard may only be touched from the GUI thread.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        DebugLog::message(DebugLog::Warning, "clipboard", "%s",
                          "clipboard unavailable: no QGuiApplication instance exists");
        return false;
    }
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        DebugLog::message(DebugLog::Warning, "clipboard", "%s",
                          "clipboard unavailable: called outside the GUI thread");
        return false;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        DebugLog::message(DebugLog::Warning, "clipboard", "%s",
                          "clipboard unavailable: the platform has none");
        return false;
    }
    clipboard->setText(QString::fromStdString(text), QClipboard::Clipboard);
    return true;
}

#endif

} // namespace KX::Platform
