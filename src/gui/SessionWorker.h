#pragma once

// The one worker thread of the window: scans and manual postings run there, one job at a
// time, so the window never freezes while the engine waits for a mail server.

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

namespace corvanteer {

class SessionWorker : public QObject {
    Q_OBJECT
public:
    SessionWorker();
    // Waits for a running job to end, then stops the thread.
    ~SessionWorker() override;

    // True from Start until the Finished signal has been delivered on the window's thread.
    bool Busy() const { return busy_.load(); }
    // Runs the job on the worker thread. Returns false, doing nothing, while a job runs.
    // Must be called on the window's thread.
    bool Start(std::function<void()> job);

signals:
    // Emitted on the window's thread after each job.
    void Finished();

private:
    QThread thread_;
    std::unique_ptr<QObject> runner_;  // lives in thread_; jobs are queued to it
    std::atomic<bool> busy_{false};
};

}  // namespace corvanteer
