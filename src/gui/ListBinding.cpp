// The list selector and the per-list controls: LoadList, adding and deleting lists, writing
// each control back to the list it shows, and the enable and visibility rules.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <algorithm>
#include <mutex>

#include "app/ListOperations.h"
#include "app/SavedMessages.h"
#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"
#include "gui/pages/ExtraTextPage.h"
#include "gui/pages/MembersPage.h"
#include "gui/pages/PostPage.h"
#include "gui/pages/ResponsesPage.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/SettingTables.h"
#include "support/Status.h"

namespace corvanteer {

std::string TfrmMain::CurrentDataFile() const {
    return setup_.paths.ListDataFile(currentList_);
}

void TfrmMain::CommitPendingEdits() {
    edits_.CommitAll();
}

void TfrmMain::BindListControls() {
    listFields_.Bind({
        Setting(chkAllowUserSubscribe, "AllowUserSubscribe"),
        Setting(chkVerifySubscribe, "VerifySubscribe"),
        Setting(spinVerifyDays, "VerifyDays"),
        Setting(chkModerateList, "ModerateList"),
        Setting(chkRequirePassword, "RequirePassword"),
        Setting(chkForwardErrorMsgs, "ForwardErrorMsgs"),
        Setting(chkHideSenderEmail, "HideSenderEmail"),
        Setting(allowPostByGroup, "AllowPostBy"),
        Setting(postingMethodGroup, "PostingMethod"),
        Setting(edtTo, "ListTo"),
        Setting(edtListPostingAddress, "ListPostingAddress"),
        Setting(edtErrorsTo, "ErrorsTo"),
        Setting(edtHideEmail, "ChangeSenderEmailTo"),
        Setting(edtPop3Host, "Pop3Host"),
        Setting(edtPop3UserID, "Pop3User"),
        Setting(edtPop3Password, "Pop3Password"),  // scrambled by its table entry
        Setting(spinPop3Port, "Pop3Port"),
    });

    // The click rules, after the value has been stored.
    auto rule = [this](QCheckBox* box, std::function<void()> rule) {
        connect(box, &QCheckBox::clicked, this, [this, rule] {
            if (rule) {
                rule();
            }
            UpdatePasswordButton();
        });
    };
    rule(chkAllowUserSubscribe, [this] { ApplySubscribeRules(); });
    rule(chkVerifySubscribe, [this] { ApplySubscribeRules(); });
    rule(chkModerateList, [this] {
        chkRequirePassword->setEnabled(AllowPostBy() < 2 && !chkModerateList->isChecked());
    });
    rule(chkRequirePassword, nullptr);
    rule(chkForwardErrorMsgs,
         [this] { edtErrorsTo->setEnabled(chkForwardErrorMsgs->isChecked()); });
    rule(chkHideSenderEmail, [this] { edtHideEmail->setEnabled(chkHideSenderEmail->isChecked()); });
    connect(allowPostByGroup, &QButtonGroup::idClicked, this, [this] { ApplyPermissionRules(); });
    connect(postingMethodGroup, &QButtonGroup::idClicked, this,
            [this] { ApplyPostingMethodRules(); });
}

int TfrmMain::AllowPostBy() const {
    return std::max(0, allowPostByGroup->checkedId());
}
int TfrmMain::PostingMethod() const {
    return std::max(0, postingMethodGroup->checkedId());
}

void TfrmMain::ApplySubscribeRules() {
    const bool allow = chkAllowUserSubscribe->isChecked();
    pagMain->setTabVisible(pagMain->indexOf(responses_), allow);
    chkVerifySubscribe->setEnabled(allow);
    spinVerifyDays->setEnabled(allow);
    lblDays->setEnabled(allow);
    responses_->ShowVerificationTabs(chkVerifySubscribe->isChecked());
}

void TfrmMain::ApplyPermissionRules() {
    const int choice = AllowPostBy();
    members_->ShowBanControls(choice != 0);
    chkModerateList->setEnabled(true);
    chkRequirePassword->setEnabled(choice < 2 && !chkModerateList->isChecked());
    if (choice == 0) {
        chkModerateList->setEnabled(false);
        chkRequirePassword->setEnabled(true);
    } else if (choice == 2) {
        chkRequirePassword->setEnabled(false);
    }
    UpdatePasswordButton();
}

void TfrmMain::ApplyPostingMethodRules() {
    const bool bcc = PostingMethod() == 0;
    lblTo->setVisible(bcc);
    edtTo->setVisible(bcc);
}

void TfrmMain::tabResponsesShow() {
    responses_->tabResponsesShow(chkRequirePassword->isEnabled() &&
                                 chkRequirePassword->isChecked() && AllowPostBy() != 0);
}

void TfrmMain::UpdatePasswordButton() {
    members_->ShowPasswordButton(chkRequirePassword->isEnabled() &&
                                 chkRequirePassword->isChecked());
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
        // A list without a data file shows empty texts rather than the previous list's,
        // which leaving a field would otherwise write into this list.
        // Every page's settings before any text of the data file: a file that cannot be read
        // then leaves no setting of the previous list showing.
        Guarded([this] {
            members_->LoadSettings();
            listFields_.LoadSettings();
            responses_->LoadSettings();
            members_->LoadSections();
            responses_->LoadSections();
            extraText_->LoadSections();
        });
    }
    edits_.SetFilling(false);

    // The click rules of the loaded values.
    ApplySubscribeRules();
    chkRequirePassword->setEnabled(AllowPostBy() < 2 && !chkModerateList->isChecked());
    edtErrorsTo->setEnabled(chkForwardErrorMsgs->isChecked());
    edtHideEmail->setEnabled(chkHideSenderEmail->isChecked());
    ApplyPermissionRules();
    ApplyPostingMethodRules();
    members_->Refresh();
    if (pagMain->currentWidget() == responses_) {
        tabResponsesShow();
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
