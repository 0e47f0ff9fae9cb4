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
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/SettingTables.h"
#include "support/Status.h"

namespace corvanteer {
namespace {

const SettingDef& ListDef(const char* name) {
    return FindSettingOrFail(ListSettingTable(), name);
}

}  // namespace

std::string TfrmMain::CurrentListKey() const {
    return setup_.paths.ListKey(currentList_);
}
std::string TfrmMain::CurrentDataFile() const {
    return setup_.paths.ListDataFile(currentList_);
}

void TfrmMain::StoreListString(const char* name, const std::string& value) {
    if (currentList_.empty()) {
        return;
    }
    WriteSettingText(store_, CurrentListKey(), ListDef(name), value);
}

void TfrmMain::StoreListInteger(const char* name, int value) {
    StoreListString(name, std::to_string(value));
}

void TfrmMain::StoreListBool(const char* name, bool value) {
    StoreListString(name, value ? "1" : "0");
}

void TfrmMain::StoreSection(const char* section, const QPlainTextEdit* memo) {
    if (currentList_.empty()) {
        return;
    }
    std::lock_guard<StoreLock> guard(storeLock_);
    WriteSection(CurrentDataFile(), section, MemoLines(memo));
}

void TfrmMain::BindLeave(QWidget* widget, std::function<void()> store) {
    leaveBindings_.emplace_back(widget, store);
    OnLeave(widget, [this, widget, store] {
        if (loading_) {
            return;
        }
        dirty_.erase(std::remove(dirty_.begin(), dirty_.end(), widget), dirty_.end());
        Guarded(store);
    });
    auto markDirty = [this, widget] {
        if (!loading_ && std::find(dirty_.begin(), dirty_.end(), widget) == dirty_.end()) {
            dirty_.push_back(widget);
        }
    };
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        connect(edit, &QLineEdit::textEdited, this, markDirty);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) {
        connect(memo, &QPlainTextEdit::textChanged, this, markDirty);
    }
}

void TfrmMain::CommitPendingEdits() {
    const std::vector<QWidget*> pending = std::move(dirty_);
    dirty_.clear();
    for (QWidget* widget : pending) {
        for (const auto& [bound, store] : leaveBindings_) {
            if (bound == widget) {
                Guarded(store);
            }
        }
    }
}

void TfrmMain::BindListControls() {
    auto check = [this](QCheckBox* box, const char* name, std::function<void()> rule) {
        connect(box, &QCheckBox::clicked, this, [this, box, name, rule] {
            Guarded([&] { StoreListBool(name, box->isChecked()); });
            if (rule) {
                rule();
            }
            UpdatePasswordButton();
        });
    };
    check(chkAllowUserSubscribe, "AllowUserSubscribe", [this] { ApplySubscribeRules(); });
    check(chkVerifySubscribe, "VerifySubscribe", [this] { ApplySubscribeRules(); });
    check(chkModerateList, "ModerateList", [this] {
        chkRequirePassword->setEnabled(AllowPostBy() < 2 && !chkModerateList->isChecked());
    });
    check(chkRequirePassword, "RequirePassword", nullptr);
    check(chkForwardErrorMsgs, "ForwardErrorMsgs",
          [this] { edtErrorsTo->setEnabled(chkForwardErrorMsgs->isChecked()); });
    check(chkHideSenderEmail, "HideSenderEmail",
          [this] { edtHideEmail->setEnabled(chkHideSenderEmail->isChecked()); });

    connect(allowPostByGroup, &QButtonGroup::idClicked, this, [this](int id) {
        Guarded([&] { StoreListInteger("AllowPostBy", id); });
        ApplyPermissionRules();
    });
    connect(postingMethodGroup, &QButtonGroup::idClicked, this, [this](int id) {
        Guarded([&] { StoreListInteger("PostingMethod", id); });
        ApplyPostingMethodRules();
    });

    auto number = [this](QSpinBox* spin, const char* name) {
        connect(spin, &QSpinBox::valueChanged, this, [this, name](int value) {
            if (!loading_) {
                Guarded([&] { StoreListInteger(name, value); });
            }
        });
    };
    number(spinVerifyDays, "VerifyDays");
    number(spinPop3Port, "Pop3Port");

    auto text = [this](QLineEdit* edit, const char* name) {
        BindLeave(edit, [this, edit, name] { StoreListString(name, S(edit->text())); });
    };
    text(edtTo, "ListTo");
    text(edtListPostingAddress, "ListPostingAddress");
    text(edtErrorsTo, "ErrorsTo");
    text(edtHideEmail, "ChangeSenderEmailTo");
    text(edtVerifySubject, "VerifySubject");
    text(edtVerifyErrSubject, "VerifyErrSubject");
    text(edtAlreadyAMemberSubject, "AlreadyAMemberSubject");
    text(edtNotMemberSubject, "NotMemberSubject");
    text(edtSubscribeConfirmSubject, "SubscribeConfirmSubject");
    text(edtUnsubscribeConfirmSubject, "UnSubscribeConfirmSubject");
    text(edtPasswordNotifySubject, "PasswordNotifySubject");
    text(edtHelpSubject, "HelpSubject");
    text(edtPop3Host, "Pop3Host");
    text(edtPop3UserID, "Pop3User");
    text(edtPop3Password, "Pop3Password");  // scrambled by its table entry

    auto moderators = [this] {
        StoreListString("Moderators", JoinLines(MemoLines(memoModerators)));
    };
    BindLeave(memoModerators, moderators);
    connect(memoModerators, &QPlainTextEdit::textChanged, this, [this, moderators] {
        if (!loading_) {
            Guarded(moderators);
        }
    });

    for (const auto& [memo, name] : SectionMemos()) {
        BindLeave(memo, [this, memo = memo, name = name] { StoreSection(name, memo); });
    }
}

std::vector<std::pair<QPlainTextEdit*, const char*>> TfrmMain::SectionMemos() const {
    return {{memoSubVerify, "Subscribe_Verify"},
            {memoSubConfirm, "Subscribe_Confirm"},
            {MemoUnsubConfirm, "Unsubscribe_Confirm"},
            {memoPasswordNotify, "Password_Notify"},
            {memoVerifyError, "Verify_Error"},
            {memoAlreadyAMember, "Already_A_Member"},
            {memoNotMember, "Not_Member"},
            {memoHelp, "Help"},
            {memoHeaders, "ExtraHeaders"},
            {memoSignature, "Signature"},
            {memoBlacklist, "BlackList"}};
}

int TfrmMain::AllowPostBy() const {
    return std::max(0, allowPostByGroup->checkedId());
}
int TfrmMain::PostingMethod() const {
    return std::max(0, postingMethodGroup->checkedId());
}

void TfrmMain::ApplySubscribeRules() {
    const bool allow = chkAllowUserSubscribe->isChecked();
    pagMain->setTabVisible(pagMain->indexOf(tabResponses), allow);
    chkVerifySubscribe->setEnabled(allow);
    spinVerifyDays->setEnabled(allow);
    lblDays->setEnabled(allow);
    const bool verify = chkVerifySubscribe->isChecked();
    pagResponses->setTabVisible(pagResponses->indexOf(tabSubVerify), verify);
    pagResponses->setTabVisible(pagResponses->indexOf(tabVerifyError), verify);
}

void TfrmMain::ApplyPermissionRules() {
    const int choice = AllowPostBy();
    lblBannedCaption->setVisible(true);
    lblBannedMembers->setVisible(true);
    lblBanNote->setVisible(true);
    chkModerateList->setEnabled(true);
    chkRequirePassword->setEnabled(choice < 2 && !chkModerateList->isChecked());
    if (choice == 0) {
        chkModerateList->setEnabled(false);
        chkRequirePassword->setEnabled(true);
        lblBannedCaption->setVisible(false);
        lblBannedMembers->setVisible(false);
        lblBanNote->setVisible(false);
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

void TfrmMain::UpdatePasswordButton() {
    butPassword->setVisible(chkRequirePassword->isEnabled() && chkRequirePassword->isChecked());
}

void TfrmMain::LoadList() {
    loading_ = true;
    if (cmbLists->currentIndex() < 0) {
        if (cmbLists->findText(QString::fromLatin1(kDefaultListName), Qt::MatchFixedString) < 0) {
            cmbLists->addItem(QString::fromLatin1(kDefaultListName));
        }
        cmbLists->setCurrentIndex(0);
    }
    RefreshConsole();
    currentList_ = S(cmbLists->currentText());
    dirty_.clear();
    ResetPostPage();
    for (const std::string& name : ListSavedMessages(setup_.paths, currentList_)) {
        cmbPostedMsgs->addItem(Q(name));
    }
    cmbPostedMsgs->setCurrentIndex(-1);

    if (!currentList_.empty()) {
        Guarded([this] {
            const std::string key = CurrentListKey();
            auto text = [&](const char* name) {
                return ReadSettingText(store_, key, ListDef(name), setup_.paths.appDir);
            };
            auto flag = [&](const char* name) { return text(name) == "1"; };
            auto number = [&](const char* name) { return StrToIntDef(text(name), 0); };
            chkAllowUserSubscribe->setChecked(flag("AllowUserSubscribe"));
            chkVerifySubscribe->setChecked(flag("VerifySubscribe"));
            spinVerifyDays->setValue(number("VerifyDays"));
            chkModerateList->setChecked(flag("ModerateList"));
            chkRequirePassword->setChecked(flag("RequirePassword"));
            chkForwardErrorMsgs->setChecked(flag("ForwardErrorMsgs"));
            chkHideSenderEmail->setChecked(flag("HideSenderEmail"));
            if (QAbstractButton* button = allowPostByGroup->button(number("AllowPostBy"))) {
                button->setChecked(true);
            }
            if (QAbstractButton* button = postingMethodGroup->button(number("PostingMethod"))) {
                button->setChecked(true);
            }
            SetMemoLines(memoModerators, text("Moderators"));
            edtTo->setText(Q(text("ListTo")));
            edtListPostingAddress->setText(Q(text("ListPostingAddress")));
            edtErrorsTo->setText(Q(text("ErrorsTo")));
            edtHideEmail->setText(Q(text("ChangeSenderEmailTo")));
            edtVerifySubject->setText(Q(text("VerifySubject")));
            edtVerifyErrSubject->setText(Q(text("VerifyErrSubject")));
            edtAlreadyAMemberSubject->setText(Q(text("AlreadyAMemberSubject")));
            edtNotMemberSubject->setText(Q(text("NotMemberSubject")));
            edtSubscribeConfirmSubject->setText(Q(text("SubscribeConfirmSubject")));
            edtUnsubscribeConfirmSubject->setText(Q(text("UnSubscribeConfirmSubject")));
            edtPasswordNotifySubject->setText(Q(text("PasswordNotifySubject")));
            edtHelpSubject->setText(Q(text("HelpSubject")));
            edtPop3Host->setText(Q(text("Pop3Host")));
            edtPop3UserID->setText(Q(text("Pop3User")));
            edtPop3Password->setText(Q(text("Pop3Password")));
            spinPop3Port->setValue(number("Pop3Port"));

            // A list without a data file shows empty texts rather than the previous list's,
            // which leaving a field would otherwise write into this list.
            const std::string file = CurrentDataFile();
            const bool exists = FileExists(file);
            for (const auto& [memo, name] : SectionMemos()) {
                SetMemoLines(memo, exists ? ReadSection(file, name) : std::string());
            }
        });
    }
    loading_ = false;

    // The click rules of the loaded values.
    ApplySubscribeRules();
    chkRequirePassword->setEnabled(AllowPostBy() < 2 && !chkModerateList->isChecked());
    edtErrorsTo->setEnabled(chkForwardErrorMsgs->isChecked());
    edtHideEmail->setEnabled(chkHideSenderEmail->isChecked());
    ApplyPermissionRules();
    ApplyPostingMethodRules();
    FillRoster();
    tabMembersShow();
    if (pagMain->currentWidget() == tabResponses) {
        tabResponsesShow();
    }
}

void TfrmMain::cmbListsChange() {
    // Edits still in a field belong to the list they were made in.
    CommitPendingEdits();
    LoadList();
    butRefreshListClick();
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
        loading_ = true;
        cmbLists->addItem(Q(name));
        cmbLists->setCurrentIndex(cmbLists->count() - 1);
        loading_ = false;
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
    dirty_.clear();  // the list is going; nothing may be written to it any more
    RefreshConsole();
    Guarded([&] {
        const ActionResult result = DeleteList(services_, S(name));
        if (!result.ok) {
            dialogs_.ShowMessage(this, Q(result.message));
        }
    });
    loading_ = true;
    cmbLists->removeItem(cmbLists->currentIndex());
    cmbLists->setCurrentIndex(cmbLists->count() > 0 ? 0 : -1);
    loading_ = false;
    LoadList();
    butRefreshListClick();
}

}  // namespace corvanteer
