#pragma once

// The "About" page: the program's name, version, description and copyright, and the check
// for a newer version, whose fetch runs beside the window.
//
// To add a control: create it in the constructor with Named<...>(this, "objectName"), lay it
// out, and connect its handler (a private method named after the control and event).

#include <QWidget>
#include <string>
#include <thread>

#include "app/UpdateCheck.h"

class QLabel;
class QPushButton;

namespace corvanteer {

class PageHost;

class AboutPage : public QWidget {
    Q_OBJECT
public:
    AboutPage(PageHost& host, QWidget* parent);
    // Waits for a running update check's fetch.
    ~AboutPage() override;

    // Where the update check looks (tests point it at a local server).
    void SetUpdateBaseUrl(std::string url) { updateBaseUrl_ = std::move(url); }

private:
    void butUpdatesClick();
    void UpdateCheckFinished(bool newer, const std::string& published, const std::string& message);

    PageHost& host_;
    QLabel* lblAppName = nullptr;
    QLabel* lblAppVersion = nullptr;
    QLabel* lblAppDesc = nullptr;
    QLabel* lblAppCopyright = nullptr;
    QLabel* lblAppLicence = nullptr;  // GPL-3.0-or-later
    QPushButton* butUpdates = nullptr;

    std::thread updateThread_;  // the update check's fetch; joined before the page goes
    bool updateRunning_ = false;
    std::string updateBaseUrl_ = kUpdateBaseUrl;
};

}  // namespace corvanteer
