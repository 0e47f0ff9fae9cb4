#pragma once

// What a page of the main window may use of the window around it: the engine's services, the
// dialogs, the list being shown, the record of pending edits, the status bar. The window
// implements it and outlives its pages; pages talk to each other only through the window.

#include <QString>
#include <functional>
#include <string>

namespace corvanteer {

class Dialogs;
class HttpClient;
class PendingEdits;
struct Services;

class PageHost {
public:
    // Paths, settings store, store lock and the clients the engine's operations use.
    virtual Services& EngineServices() = 0;
    // The HTTP client of the update check (the window's one, shared with the sign-ins).
    virtual HttpClient& Http() = 0;
    // Every message box, question, file dialog, beep, clipboard and browser call.
    virtual Dialogs& WindowDialogs() = 0;
    // Whether the window is filling its controls, and the fields edited but not yet stored.
    virtual PendingEdits& Edits() = 0;
    // The list the per-list pages show and store to; empty when there is none.
    virtual const std::string& CurrentList() const = 0;
    // Runs an operator's action; a Failure (a file or the store refused) is shown in a message
    // box and the window goes on.
    virtual void Guarded(const std::function<void()>& action) = 0;
    // Hands the global fields and the list names, as shown, to the engine's console.
    virtual void RefreshConsole() = 0;
    virtual void ShowStatus(const QString& text) = 0;

protected:
    ~PageHost() = default;
};

}  // namespace corvanteer
