// The "Members" page's operations: showing the roster, adding, removing, banning members,
// changing a password, and importing and exporting the roster. The work itself is done by
// the app layer; this file asks the questions and shows the answers.

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "app/ImportExport.h"
#include "app/RosterOperations.h"
#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"
#include "support/SectionFile.h"

namespace corvanteer {

void TfrmMain::FillRoster() {
    PendingEdits::FillScope filling(edits_);
    // The selection stays on the same member across a refill.
    const QString selected =
        lstMembers->currentItem() != nullptr ? lstMembers->currentItem()->text() : QString();
    lstMembers->clear();
    Guarded([this, &selected] {
        const RosterView view = corvanteer::FillRoster(services_, currentList_);
        for (const RosterEntry& entry : view.entries) {
            auto item = std::make_unique<QListWidgetItem>(Q(entry.address));
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(entry.banned ? Qt::Checked : Qt::Unchecked);
            const bool reselect = item->text() == selected && !selected.isEmpty();
            lstMembers->addItem(item.release());  // the list owns its items
            if (reselect) {
                lstMembers->setCurrentRow(lstMembers->count() - 1);
            }
        }
    });
}

void TfrmMain::tabMembersShow() {
    int banned = 0;
    for (int i = 0; i < lstMembers->count(); ++i) {
        if (lstMembers->item(i)->checkState() == Qt::Checked) {
            ++banned;
        }
    }
    lblTotalMembers->setText(QString::number(lstMembers->count()));
    lblBannedMembers->setText(QString::number(banned));
    lstLatestActions->clear();
    Guarded([this] {
        for (const std::string& line :
             TextToLines(ReadSection(CurrentDataFile(), "Latest_Actions"))) {
            lstLatestActions->addItem(Q(line));
        }
    });
    UpdatePasswordButton();
}

void TfrmMain::butRefreshListClick() {
    FillRoster();
    tabMembersShow();
}

void TfrmMain::ShowRefusalOrMessage(bool ok, const std::string& message) {
    if (!message.empty()) {
        if (ok) {
            dialogs_.Beep();
        }
        dialogs_.ShowMessage(this, Q(message));
    }
}

void TfrmMain::butAddMemberClick() {
    RefreshConsole();
    QString prompt = QStringLiteral("Enter user email.");
    for (;;) {
        const std::optional<QString> answer =
            dialogs_.InputBox(this, QStringLiteral("New member"), prompt, QString());
        if (!answer) {
            return;
        }
        ActionResult result;
        try {
            result = AddMember(services_, currentList_, S(*answer));
        } catch (const std::exception& error) {
            dialogs_.ShowMessage(this, QString::fromStdString(error.what()));
            return;
        }
        if (!result.ok && !EndsWith(result.message, " is aready a member.")) {
            prompt = Q(result.message);  // empty or not an address: ask again
            continue;
        }
        ShowRefusalOrMessage(result.ok, result.message);
        break;
    }
    FillRoster();
    tabMembersShow();
}

void TfrmMain::butDeleteMemberClick() {
    QListWidgetItem* item = lstMembers->currentItem();
    if (item == nullptr) {
        return;
    }
    const QString address = item->text();
    dialogs_.Beep();
    const DialogButton answer = dialogs_.Ask(
        this, QStringLiteral("Warning"),
        QStringLiteral("You are about to remove member \"") + address +
            QStringLiteral(" from the list.\r\nAre you sure you want to do this?"),
        DialogIcon::Warning, {DialogButton::Yes, DialogButton::Cancel}, DialogButton::Yes);
    if (answer != DialogButton::Yes) {
        return;
    }
    RefreshConsole();
    Guarded([&] {
        const ActionResult result = RemoveMember(services_, currentList_, S(address));
        if (!result.ok) {
            dialogs_.ShowMessage(this, Q(result.message));
        }
    });
    FillRoster();
    tabMembersShow();
}

void TfrmMain::lstMembersClickCheck(QListWidgetItem* item) {
    RefreshConsole();
    Guarded([&] {
        const ActionResult result =
            SetBanned(services_, currentList_, S(item->text()), item->checkState() == Qt::Checked);
        if (!result.ok) {
            dialogs_.ShowMessage(this, Q(result.message));
        }
    });
    tabMembersShow();
}

void TfrmMain::butPasswordClick() {
    QListWidgetItem* item = lstMembers->currentItem();
    if (item == nullptr) {
        dialogs_.ShowMessage(this, QStringLiteral("Please select a member"));
        return;
    }
    const std::string address = S(item->text());
    RefreshConsole();
    Guarded([&] {
        std::string current;
        for (const RosterEntry& entry : corvanteer::FillRoster(services_, currentList_).entries) {
            if (SameText(entry.address, address)) {
                current = SplitString(entry.line, " ").Part(3);
                break;
            }
        }
        const std::optional<QString> answer =
            dialogs_.InputBox(this, QStringLiteral("Change password"),
                              QStringLiteral("Password for ") + Q(address), Q(current));
        const std::string password = answer ? S(*answer) : current;
        const ActionResult result = ChangePassword(services_, currentList_, address, password);
        if (!result.ok) {
            dialogs_.ShowMessage(this, Q(result.message));
        }
    });
}

void TfrmMain::butImportListClick() {
    const QString file = dialogs_.OpenFile(this, Q(setup_.paths.appDir), kTextFileFilter);
    if (file.isEmpty()) {
        return;
    }
    RefreshConsole();
    Guarded([&] {
        const ActionResult result = ImportMembers(services_, currentList_, S(file));
        FillRoster();
        tabMembersShow();
        ShowRefusalOrMessage(result.ok, result.message);
    });
}

void TfrmMain::butExportListClick() {
    const QString file = dialogs_.SaveFile(this, Q(setup_.paths.appDir), kTextFileFilter);
    if (file.isEmpty()) {
        return;
    }
    RefreshConsole();
    Guarded([&] {
        const ActionResult result = ExportMembers(services_, currentList_, S(file));
        if (!result.ok) {
            dialogs_.ShowMessage(this, Q(result.message));
        }
        tabMembersShow();
    });
}

}  // namespace corvanteer
