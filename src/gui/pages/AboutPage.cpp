#include "gui/pages/AboutPage.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/Services.h"
#include "gui/Dialogs.h"
#include "gui/GuiUtil.h"
#include "gui/pages/PageHost.h"
#include "support/Version.h"

namespace corvanteer {

AboutPage::AboutPage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("tabAbout"));
    auto* layout = Child<QVBoxLayout>(this);
    setLayout(layout);
    lblAppName = Named<QLabel>(this, "lblAppName", QString::fromLatin1(kProductTitle));
    QFont big = lblAppName->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    lblAppName->setFont(big);
    lblAppVersion = Named<QLabel>(
        this, "lblAppVersion", QStringLiteral("Version ") + QString::fromLatin1(kProgramVersion));
    lblAppDesc =
        Named<QLabel>(this, "lblAppDesc",
                      QStringLiteral("A mailing-list server for one operator on one machine."));
    lblAppCopyright =
        Named<QLabel>(this, "lblAppCopyright", QStringLiteral("Copyright \u00a9 Brask Software"));
    lblAppLicence = Named<QLabel>(
        this, "lblAppLicence",
        QStringLiteral("Free software under the GNU General Public License, version 3 or any "
                       "later version. It comes with no warranty."));
    butUpdates = Named<QPushButton>(this, "butUpdates", QStringLiteral("Check for updates"));
    layout->addStretch(1);
    // Each label takes the page's whole width and centres its text, so a line that wraps
    // gets the height it needs and never runs into the next.
    for (QLabel* label : {lblAppName, lblAppVersion, lblAppDesc, lblAppCopyright, lblAppLicence}) {
        label->setAlignment(Qt::AlignHCenter);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    layout->addSpacing(20);
    layout->addWidget(butUpdates, 0, Qt::AlignHCenter);
    layout->addStretch(2);
    connect(butUpdates, &QPushButton::clicked, this, [this] { butUpdatesClick(); });
}

AboutPage::~AboutPage() {
    if (updateThread_.joinable()) {
        updateThread_.join();
    }
}

void AboutPage::butUpdatesClick() {
    if (updateRunning_) {
        return;
    }
    Dialogs& dialogs = host_.WindowDialogs();
    const DialogButton answer = dialogs.Ask(
        window(), QStringLiteral("Check for latest version?"),
        QStringLiteral("You are about to check for the latest version.\r\n You must be connected "
                       "to the internet for this.\r\n\r\nDo you wish to continue?"),
        DialogIcon::Question, {DialogButton::Yes, DialogButton::No}, DialogButton::Yes);
    if (answer == DialogButton::No) {
        return;
    }
    QString current = lblAppVersion->text();
    current.remove(0, QStringLiteral("Version ").size());
    const std::string version = S(current.trimmed());
    if (updateThread_.joinable()) {
        updateThread_.join();
    }
    // The fetch may wait up to its time-out; it runs beside the window, which stays usable.
    updateRunning_ = true;
    host_.ShowStatus(QStringLiteral("Checking for updates..."));
    const AppPaths& paths = host_.EngineServices().paths;
    HttpClient& http = host_.Http();
    updateThread_ = std::thread([this, &http, &paths, version, base = updateBaseUrl_] {
        const UpdateCheckResult result = CheckForUpdate(http, paths, version, base);
        QMetaObject::invokeMethod(
            this,
            [this, result] { UpdateCheckFinished(result.newer, result.published, result.message); },
            Qt::QueuedConnection);
    });
}

void AboutPage::UpdateCheckFinished(bool newer, const std::string& published,
                                    const std::string& message) {
    updateRunning_ = false;
    host_.ShowStatus(QString());
    Dialogs& dialogs = host_.WindowDialogs();
    if (newer) {
        const DialogButton answer = dialogs.Ask(
            window(), QStringLiteral("New Version Found"),
            QStringLiteral("A newer version has been found (v") + Q(published) +
                QStringLiteral(")\r\n\r\nWould you like to read about it?"),
            DialogIcon::Question, {DialogButton::Yes, DialogButton::No}, DialogButton::Yes);
        if (answer != DialogButton::No) {
            dialogs.OpenUrl(QUrl(Q(WhatsNewUrl(updateBaseUrl_))));
        }
        return;
    }
    dialogs.Beep();
    dialogs.ShowMessage(window(), Q(message));
}

}  // namespace corvanteer
