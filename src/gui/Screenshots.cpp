#include "gui/Screenshots.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <cstdio>

#include "app/RosterOperations.h"
#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"
#include "gui/TfrmSmtpAuth.h"

namespace corvanteer {
namespace {

void Settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

bool Save(QWidget* widget, const QString& file) {
    if (!widget->grab().save(file, "PNG")) {
        std::fprintf(stderr, "corvanteer: cannot write %s\n", file.toLocal8Bit().constData());
        return false;
    }
    return true;
}

}  // namespace

int RenderScreenshots(const WindowSetup& setup, const std::string& dir) {
    QDir().mkpath(Q(dir));
    TfrmMain window(setup);
    auto* members = window.findChild<QListWidget*>(QStringLiteral("lstMembers"));
    auto* lists = window.findChild<QComboBox*>(QStringLiteral("cmbLists"));
    auto* pages = window.findChild<QTabWidget*>(QStringLiteral("pagMain"));
    if (members->count() == 0) {
        Services& services = window.EngineServices();
        const std::string list = S(lists->currentText());
        for (const char* address :
             {"alice@example.org", "bob@example.org", "carol@example.net", "dave@example.com"}) {
            AddMember(services, list, address);
        }
        SetBanned(services, list, "dave@example.com", true);
        window.findChild<QPushButton*>(QStringLiteral("butRefreshList"))->click();
    }
    window.show();
    Settle();

    static const char* const kNames[] = {"members",    "options", "responses", "post-message",
                                         "extra-text", "global",  "about"};
    bool ok = true;
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        Settle();
        const QString file =
            Q(dir) + QStringLiteral("/%1-%2.png").arg(i + 1).arg(QString::fromLatin1(kNames[i]));
        ok = Save(&window, file) && ok;
    }
    TfrmSmtpAuth* auth = window.SmtpAuthWindow();
    auth->show();
    Settle();
    ok = Save(auth, Q(dir) + QStringLiteral("/8-smtp-authentication.png")) && ok;
    auth->hide();
    window.ExitApplication();
    return ok ? 0 : 1;
}

}  // namespace corvanteer
