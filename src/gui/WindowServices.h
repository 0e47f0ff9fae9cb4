#pragma once

// What the engine sees of the window while it runs on the worker thread: the console (the
// global settings and the list order as the window shows them), the observer whose calls are
// queued to the window's thread, and the poll timer, whose changes are queued the same way.

#include <QObject>
#include <QString>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Services.h"

namespace corvanteer {

// A copy of the window's fields, refreshed by the window's thread whenever they change and
// read by any thread.
class WindowConsole final : public Console {
public:
    GlobalSettings Globals() override;
    std::vector<std::string> ListNames() override;

    void SetGlobals(const GlobalSettings& globals);
    void SetListNames(std::vector<std::string> names);

private:
    std::mutex mutex_;
    GlobalSettings globals_;
    std::vector<std::string> names_;
};

// Called on the thread that reports, after the report has been queued: tests use it to hold
// the worker at a known point ("status:<text>", "tray:<n>", "roster:<list>", "timer:stop",
// "timer:<ms>").
using WorkerHook = std::function<void(const std::string& event)>;

class ObserverBridge final : public QObject, public ScanObserver {
    Q_OBJECT
public:
    void StatusText(const std::string& text) override;
    void TrayImage(int index) override;
    void RosterChanged(const std::string& listName) override;

    void SetHook(WorkerHook hook);
    void RunHook(const std::string& event);

signals:
    void statusText(const QString& text);
    void trayImage(int index);
    void rosterChanged(const QString& listName);

private:
    std::mutex mutex_;
    WorkerHook hook_;
};

class PollTimerBridge final : public QObject, public PollTimer {
    Q_OBJECT
public:
    explicit PollTimerBridge(ObserverBridge& hooks) : hooks_(hooks) {}
    void Stop() override;
    void SetIntervalMs(int64_t intervalMs) override;

signals:
    void stopRequested();
    void intervalRequested(qint64 intervalMs);

private:
    ObserverBridge& hooks_;
};

}  // namespace corvanteer
