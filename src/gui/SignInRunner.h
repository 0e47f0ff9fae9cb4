#pragma once

// The window's OAuth 2.0 sign-in of one mailbox account, run on a thread of its own so the
// window goes on while the operator types the code or uses the browser. Its lines, the
// address to open and the outcome reach the window's thread as queued signals.

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/OAuthAccounts.h"
#include "app/Runtime.h"

namespace corvanteer {

class SignInRunner : public QObject {
    Q_OBJECT
public:
    SignInRunner() = default;
    ~SignInRunner() override;  // stops a sign-in under way and waits for its thread

    // Starts the sign-in (Runtime::SignIn); false (nothing started) while one is under way.
    // The runtime must outlive the runner.
    bool Start(const MailboxAccount& mailbox, Runtime& runtime);
    bool Busy() const { return busy_.load(); }
    // Ends the waiting of a sign-in under way; finished follows.
    void Stop();

signals:
    void said(const QString& line);        // the address and code to show the operator
    void openUrl(const QString& address);  // the browser sign-in's address
    void finished(bool ok, const QString& message);

private:
    void Join();

    std::thread thread_;
    std::atomic<bool> busy_{false};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
};

}  // namespace corvanteer
