// The list selector: loading a list into the pages, adding and deleting lists, and edits kept
// for the list they were made in.

#include <QComboBox>
#include <QTabWidget>

#include "app/ListOperations.h"
#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"
#include "gui/pages/ExtraTextPage.h"
#include "gui/pages/MembersPage.h"
#include "gui/pages/OptionsPage.h"
#include "gui/pages/PostPage.h"
#include "gui/pages/ResponsesPage.h"

namespace corvanteer {

void TfrmMain::CommitPendingEdits() {
    edits_.CommitAll();
}

void TfrmMain::LoadList() {
    edits_.SetFilling(true);
    if (cmbLists->currentIndex() < 0) {
        if (cmbLists->findText(QString::fromLatin1(kDefaultListName), Qt::MatchFixedString) < 0) {
            cmbLists->addItem(QString::fromLatin1(kDefaultListName));
        }
        cmbLists->setCurrentIndex(0);
    }
    RefreshConsole();
    currentList_ = S(cmbLists->currentText());
    edits_.ForgetAll();
    post_->Reset();

    if (!currentList_.empty()) {
        // Every page's settings before any text of the data file: a file that cannot be read
        // then leaves no setting of the previous list showing. A list without a data file
        // shows empty texts rather than the previous list's, which leaving a field would
        // otherwise write into this list.
        Guarded([this] {
            members_->LoadSettings();
            options_->LoadSettings();
            responses_->LoadSettings();
            members_->LoadSections();
            responses_->LoadSections();
            extraText_->LoadSections();
        });
    }
    edits_.SetFilling(false);

    // The rules of the values loaded.
    options_->ApplyRules();
    members_->Refresh();
    if (pagMain->currentWidget() == responses_) {
        responses_->tabResponsesShow(options_->MembersPostWithPassword());
    }
}

void TfrmMain::cmbListsChange() {
    // Edits still in a field belong to the list they were made in.
    CommitPendingEdits();
    LoadList();
    members_->Refresh();
}

void TfrmMain::butAddListClick() {
    CommitPendingEdits();
    QString prompt = QStringLiteral("Enter list name (single word only).");
    for (;;) {
        const std::optional<QString> answer =
            dialogs_.InputBox(this, QStringLiteral("New list"), prompt, QString());
        if (!answer) {
            return;
        }
        std::string name = S(*answer);
        RefreshConsole();
        ActionResult result;
        try {
            result = AddList(services_, name);
        } catch (const std::exception& error) {
            dialogs_.ShowMessage(this, QString::fromStdString(error.what()));
            return;
        }
        if (!result.ok) {
            prompt = Q(result.message);
            continue;
        }
        edits_.SetFilling(true);
        cmbLists->addItem(Q(name));
        cmbLists->setCurrentIndex(cmbLists->count() - 1);
        edits_.SetFilling(false);
        cmbListsChange();
        return;
    }
}

void TfrmMain::butDeleteListClick() {
    const QString name = cmbLists->currentText();
    if (name.isEmpty()) {
        return;
    }
    dialogs_.Beep();
    const DialogButton answer = dialogs_.Ask(
        this, QStringLiteral("Warning"),
        QStringLiteral("You are about to delete list \"") + name +
            QStringLiteral("\".\r\nAre you sure you want to do this?"),
        DialogIcon::Warning, {DialogButton::Yes, DialogButton::Cancel}, DialogButton::Yes);
    if (answer != DialogButton::Yes) {
        return;
    }
    edits_.ForgetAll();  // the list is going; nothing may be written to it any more
    RefreshConsole();
    Guarded([&] {
        const ActionResult result = DeleteList(services_, S(name));
        if (!result.ok) {
            dialogs_.ShowMessage(this, Q(result.message));
        }
    });
    edits_.SetFilling(true);
    cmbLists->removeItem(cmbLists->currentIndex());
    cmbLists->setCurrentIndex(cmbLists->count() > 0 ? 0 : -1);
    edits_.SetFilling(false);
    LoadList();
    members_->Refresh();
}

}  // namespace corvanteer
