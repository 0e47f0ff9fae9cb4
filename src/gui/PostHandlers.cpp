// The "Post message" page: saved messages and the manual posting, which runs on the worker
// thread and can be stopped between members by "Abort".

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <mutex>

#include "app/SavedMessages.h"
#include "engine/ManualPosting.h"
#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"
#include "support/SettingTables.h"

namespace corvanteer {

void TfrmMain::ResetPostPage() {
    butDelMsg->setEnabled(false);
    cmbPostedMsgs->clear();
    memoMessage->clear();
    edtFrom->clear();
    edtSubject->clear();
}

void TfrmMain::butSaveMsgClick() {
    const std::optional<QString> answer =
        dialogs_.InputBox(this, QStringLiteral("Save as"), QStringLiteral("Save message as"),
                          cmbPostedMsgs->currentText());
    if (!answer || answer->trimmed().isEmpty()) {
        return;
    }
    const std::string name = S(*answer);
    Guarded([&] {
        SavedMessage message{S(edtFrom->text()), S(edtSubject->text()), MemoLines(memoMessage)};
        const ActionResult result = SaveMessage(setup_.paths, currentList_, name, message);
        if (!result.ok) {
            dialogs_.ShowMessage(this, Q(result.message));
            return;
        }
        cmbPostedMsgs->clear();
        for (const std::string& saved : ListSavedMessages(setup_.paths, currentList_)) {
            cmbPostedMsgs->addItem(Q(saved));
        }
        cmbPostedMsgs->setCurrentIndex(cmbPostedMsgs->findText(Q(name), Qt::MatchExactly));
        cmbPostedMsgsChange();
    });
}

void TfrmMain::cmbPostedMsgsChange() {
    butDelMsg->setEnabled(cmbPostedMsgs->currentIndex() >= 0);
    if (cmbPostedMsgs->currentIndex() < 0) {
        return;
    }
    Guarded([this] {
        const std::optional<SavedMessage> message =
            LoadSavedMessage(setup_.paths, currentList_, S(cmbPostedMsgs->currentText()));
        if (!message) {
            return;  // a missing file leaves the fields as they are
        }
        edtFrom->setText(Q(message->from));
        edtSubject->setText(Q(message->subject));
        memoMessage->setPlainText(Q(JoinLines(message->lines, "\n")));
    });
}

void TfrmMain::butDelMsgClick() {
    const QString name = cmbPostedMsgs->currentText();
    if (cmbPostedMsgs->currentIndex() < 0) {
        return;
    }
    dialogs_.Beep();
    const DialogButton answer = dialogs_.Ask(
        this, QStringLiteral("Warning"),
        QStringLiteral("You are about to delete message \"") + name +
            QStringLiteral("\".\r\nAre you sure you want to do this?"),
        DialogIcon::Warning, {DialogButton::Yes, DialogButton::Cancel}, DialogButton::Yes);
    if (answer != DialogButton::Yes) {
        return;
    }
    Guarded([&] { DeleteSavedMessage(setup_.paths, currentList_, S(name)); });
    cmbPostedMsgs->removeItem(cmbPostedMsgs->currentIndex());
    cmbPostedMsgs->setCurrentIndex(cmbPostedMsgs->count() > 0 ? 0 : -1);
    cmbPostedMsgsChange();
}

void TfrmMain::butPostMsgClick() {
    const DialogButton answer = dialogs_.Ask(
        this, QStringLiteral("Post message"),
        QStringLiteral("Are you sure you want to start posting this message?"),
        DialogIcon::Question, {DialogButton::Ok, DialogButton::Cancel}, DialogButton::Cancel);
    if (answer != DialogButton::Ok) {
        return;
    }
    if (worker_.Busy()) {
        dialogs_.ShowMessage(this, QStringLiteral("A scan or posting is running. Please try "
                                                  "again when it has ended."));
        return;
    }
    CommitPendingEdits();
    RefreshConsole();

    // Everything the posting uses is taken from the fields now, on this thread.
    ManualPosting posting;
    posting.listName = currentList_;
    posting.postingMethod = PostingMethod();
    posting.listTo = S(edtTo->text());
    posting.hideSenderEmail = chkHideSenderEmail->isChecked();
    posting.changeSenderEmailTo = S(edtHideEmail->text());
    posting.listPostingAddress = S(edtListPostingAddress->text());
    posting.pop3Host = S(edtPop3Host->text());
    posting.allowPostBy = AllowPostBy();
    posting.allowUserSubscribe = chkAllowUserSubscribe->isChecked();
    // No control shows ListHeaders yet: the stored value (or its default) holds.
    posting.listHeaders =
        ReadSettingText(store_, CurrentListKey(),
                        FindSettingOrFail(ListSettingTable(), "ListHeaders"), "") == "1";
    posting.extraHeaders = MemoLines(memoHeaders);
    posting.signature = JoinLines(MemoLines(memoSignature));
    for (int i = 0; i < lstMembers->count(); ++i) {
        posting.members.push_back(S(lstMembers->item(i)->text()));
    }
    posting.from = S(edtFrom->text());
    posting.subject = S(edtSubject->text());
    posting.messageLines = MemoLines(memoMessage);

    abortPosting_ = false;
    butCancelPost->setEnabled(true);
    butPostMsg->setEnabled(false);
    cmbLists->setEnabled(false);
    ApplyClientSettings();
    job_ = Job::Posting;
    worker_.Start([this, posting = std::move(posting)] {
        std::unique_lock<SessionLock> lock(sessionLock_, std::try_to_lock);
        if (!lock.owns_lock()) {
            observer_.StatusText("Another scan or posting is running; nothing was posted.");
            return;
        }
        PostManualMessage(services_, posting, abortPosting_);
    });
}

void TfrmMain::butCancelPostClick() {
    abortPosting_ = true;
}

void TfrmMain::PostingFinished() {
    abortPosting_ = false;
    butCancelPost->setEnabled(false);
    butPostMsg->setEnabled(true);
    cmbLists->setEnabled(true);
}

}  // namespace corvanteer
