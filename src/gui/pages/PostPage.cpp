#include "gui/pages/PostPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/SavedMessages.h"
#include "engine/ManualPosting.h"
#include "engine/Services.h"
#include "gui/Dialogs.h"
#include "gui/GuiUtil.h"
#include "gui/pages/PageHost.h"

namespace corvanteer {

PostPage::PostPage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("tabPostMessage"));
    auto* grid = Child<QGridLayout>(this);
    setLayout(grid);
    cmbPostedMsgs = Named<QComboBox>(window(), "cmbPostedMsgs");
    butSaveMsg = Named<QPushButton>(window(), "butSaveMsg", QStringLiteral("Save as"));
    butDelMsg = Named<QPushButton>(window(), "butDelMsg", QStringLiteral("Delete"));
    butDelMsg->setEnabled(false);
    auto* savedRow = Child<QHBoxLayout>(static_cast<QWidget*>(nullptr));
    savedRow->addWidget(cmbPostedMsgs, 1);
    savedRow->addWidget(butSaveMsg);
    savedRow->addWidget(butDelMsg);
    grid->addLayout(savedRow, 0, 0, 1, 2);
    edtFrom = Named<QLineEdit>(window(), "edtFrom");
    edtSubject = Named<QLineEdit>(window(), "edtSubject");
    memoMessage = Named<QPlainTextEdit>(window(), "memoMessage");
    grid->addWidget(Child<QLabel>(window(), QStringLiteral("From")), 1, 0);
    grid->addWidget(edtFrom, 1, 1);
    grid->addWidget(Child<QLabel>(window(), QStringLiteral("Subject")), 2, 0);
    grid->addWidget(edtSubject, 2, 1);
    grid->addWidget(Child<QLabel>(window(), QStringLiteral("Msg")), 3, 0, Qt::AlignTop);
    grid->addWidget(memoMessage, 3, 1);
    butPostMsg = Named<QPushButton>(window(), "butPostMsg", QStringLiteral("Post msg"));
    butCancelPost = Named<QPushButton>(window(), "butCancelPost", QStringLiteral("Abort"));
    butCancelPost->setEnabled(false);
    auto* postRow = Child<QHBoxLayout>(static_cast<QWidget*>(nullptr));
    postRow->addStretch(1);
    postRow->addWidget(butPostMsg);
    postRow->addWidget(butCancelPost);
    grid->addLayout(postRow, 4, 0, 1, 2);

    connect(butSaveMsg, &QPushButton::clicked, this, [this] { butSaveMsgClick(); });
    connect(butDelMsg, &QPushButton::clicked, this, [this] { butDelMsgClick(); });
    connect(butPostMsg, &QPushButton::clicked, this, [this] { butPostMsgClick(); });
    connect(butCancelPost, &QPushButton::clicked, this, [this] { butCancelPostClick(); });
    connect(cmbPostedMsgs, &QComboBox::activated, this, [this] { cmbPostedMsgsChange(); });
}

void PostPage::Reset() {
    butDelMsg->setEnabled(false);
    cmbPostedMsgs->clear();
    memoMessage->clear();
    edtFrom->clear();
    edtSubject->clear();
    for (const std::string& name :
         ListSavedMessages(host_.EngineServices().paths, host_.CurrentList())) {
        cmbPostedMsgs->addItem(Q(name));
    }
    cmbPostedMsgs->setCurrentIndex(-1);
}

void PostPage::butSaveMsgClick() {
    Dialogs& dialogs = host_.WindowDialogs();
    const std::optional<QString> answer =
        dialogs.InputBox(window(), QStringLiteral("Save as"), QStringLiteral("Save message as"),
                         cmbPostedMsgs->currentText());
    if (!answer || answer->trimmed().isEmpty()) {
        return;
    }
    const std::string name = S(*answer);
    host_.Guarded([&] {
        const AppPaths& paths = host_.EngineServices().paths;
        SavedMessage message{S(edtFrom->text()), S(edtSubject->text()), MemoLines(memoMessage)};
        const ActionResult result = SaveMessage(paths, host_.CurrentList(), name, message);
        if (!result.ok) {
            dialogs.ShowMessage(window(), Q(result.message));
            return;
        }
        cmbPostedMsgs->clear();
        for (const std::string& saved : ListSavedMessages(paths, host_.CurrentList())) {
            cmbPostedMsgs->addItem(Q(saved));
        }
        cmbPostedMsgs->setCurrentIndex(cmbPostedMsgs->findText(Q(name), Qt::MatchExactly));
        cmbPostedMsgsChange();
    });
}

void PostPage::cmbPostedMsgsChange() {
    butDelMsg->setEnabled(cmbPostedMsgs->currentIndex() >= 0);
    if (cmbPostedMsgs->currentIndex() < 0) {
        return;
    }
    host_.Guarded([this] {
        const std::optional<SavedMessage> message = LoadSavedMessage(
            host_.EngineServices().paths, host_.CurrentList(), S(cmbPostedMsgs->currentText()));
        if (!message) {
            return;  // a missing file leaves the fields as they are
        }
        edtFrom->setText(Q(message->from));
        edtSubject->setText(Q(message->subject));
        memoMessage->setPlainText(Q(JoinLines(message->lines, "\n")));
    });
}

void PostPage::butDelMsgClick() {
    const QString name = cmbPostedMsgs->currentText();
    if (cmbPostedMsgs->currentIndex() < 0) {
        return;
    }
    Dialogs& dialogs = host_.WindowDialogs();
    dialogs.Beep();
    const DialogButton answer = dialogs.Ask(
        window(), QStringLiteral("Warning"),
        QStringLiteral("You are about to delete message \"") + name +
            QStringLiteral("\".\r\nAre you sure you want to do this?"),
        DialogIcon::Warning, {DialogButton::Yes, DialogButton::Cancel}, DialogButton::Yes);
    if (answer != DialogButton::Yes) {
        return;
    }
    host_.Guarded(
        [&] { DeleteSavedMessage(host_.EngineServices().paths, host_.CurrentList(), S(name)); });
    cmbPostedMsgs->removeItem(cmbPostedMsgs->currentIndex());
    cmbPostedMsgs->setCurrentIndex(cmbPostedMsgs->count() > 0 ? 0 : -1);
    cmbPostedMsgsChange();
}

void PostPage::butPostMsgClick() {
    const DialogButton answer = host_.WindowDialogs().Ask(
        window(), QStringLiteral("Post message"),
        QStringLiteral("Are you sure you want to start posting this message?"),
        DialogIcon::Question, {DialogButton::Ok, DialogButton::Cancel}, DialogButton::Cancel);
    if (answer == DialogButton::Ok) {
        emit postRequested();
    }
}

void PostPage::butCancelPostClick() {
    emit abortRequested();
}

void PostPage::FillPosting(ManualPosting& posting) const {
    posting.from = S(edtFrom->text());
    posting.subject = S(edtSubject->text());
    posting.messageLines = MemoLines(memoMessage);
}

void PostPage::SetPosting(bool running) {
    butCancelPost->setEnabled(running);
    butPostMsg->setEnabled(!running);
}

}  // namespace corvanteer
