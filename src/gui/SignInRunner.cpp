#include "gui/SignInRunner.h"

#include <chrono>
#include <exception>

namespace corvanteer {

SignInRunner::~SignInRunner() {
    Stop();
    Join();
}

void SignInRunner::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SignInRunner::Stop() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
}

bool SignInRunner::Start(const MailboxAccount& mailbox, Runtime& runtime) {
    if (busy_.exchange(true)) {
        return false;
    }
    Join();  // the previous sign-in's thread has ended its work
    stop_ = false;
    thread_ = std::thread([this, mailbox, &runtime] {
        bool ok = false;
        QString message;
        try {
            SignInHooks hooks;
            hooks.say = [this](const std::string& line) {
                emit said(QString::fromStdString(line));
            };
            hooks.openBrowser = [this](const std::string& url) {
                emit openUrl(QString::fromStdString(url));
            };
            hooks.stopped = [this] { return stop_.load(); };
            hooks.wait = [this](int64_t ms) {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait_for(lock, std::chrono::milliseconds(ms),
                               [this] { return stop_.load(); });
                return !stop_.load();
            };
            const ActionResult result = runtime.SignIn(mailbox, SignInRequest{}, hooks);
            ok = result.ok;
            message = QString::fromStdString(result.message);
        } catch (const std::exception& error) {
            message = QString::fromStdString(error.what());
        }
        busy_ = false;
        emit finished(ok, message);
    });
    return true;
}

}  // namespace corvanteer
