#include "gui/WindowServices.h"

#include "gui/GuiUtil.h"

namespace corvanteer {

GlobalSettings WindowConsole::Globals() {
    std::lock_guard lock(mutex_);
    return globals_;
}

std::vector<std::string> WindowConsole::ListNames() {
    std::lock_guard lock(mutex_);
    return names_;
}

void WindowConsole::SetGlobals(const GlobalSettings& globals) {
    std::lock_guard lock(mutex_);
    globals_ = globals;
}

void WindowConsole::SetListNames(std::vector<std::string> names) {
    std::lock_guard lock(mutex_);
    names_ = std::move(names);
}

void ObserverBridge::StatusText(const std::string& text) {
    emit statusText(Q(text));
    RunHook("status:" + text);
}

void ObserverBridge::TrayImage(int index) {
    emit trayImage(index);
    RunHook("tray:" + std::to_string(index));
}

void ObserverBridge::RosterChanged(const std::string& listName) {
    emit rosterChanged(Q(listName));
    RunHook("roster:" + listName);
}

void ObserverBridge::SetHook(WorkerHook hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

void ObserverBridge::RunHook(const std::string& event) {
    WorkerHook hook;
    {
        std::lock_guard lock(mutex_);
        hook = hook_;
    }
    if (hook) {
        hook(event);
    }
}

void PollTimerBridge::Stop() {
    emit stopRequested();
    hooks_.RunHook("timer:stop");
}

void PollTimerBridge::SetIntervalMs(int64_t intervalMs) {
    emit intervalRequested(intervalMs);
    hooks_.RunHook("timer:" + std::to_string(intervalMs));
}

}  // namespace corvanteer
