#include "gui/SessionWorker.h"

#include <exception>

namespace corvanteer {

SessionWorker::SessionWorker() : runner_(std::make_unique<QObject>()) {
    thread_.setObjectName(QStringLiteral("SessionWorker"));
    runner_->moveToThread(&thread_);
    thread_.start();
}

SessionWorker::~SessionWorker() {
    thread_.quit();  // the queued job, if any, runs to its end first
    thread_.wait();
    // The runner belongs to the stopped thread; deleting it here is safe once it has ended.
    runner_.reset();
}

bool SessionWorker::Start(std::function<void()> job) {
    if (busy_.exchange(true)) {
        return false;
    }
    QMetaObject::invokeMethod(
        runner_.get(),
        [this, job = std::move(job)] {
            try {
                job();
            } catch (const std::exception&) {
                // Jobs report their own failures; nothing may escape into the event loop.
            }
            QMetaObject::invokeMethod(
                this,
                [this] {
                    busy_ = false;
                    emit Finished();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return true;
}

}  // namespace corvanteer
