#pragma once

// The "Post message" page: a message typed by the operator (From, Subject, text), saved
// messages of the list to start from, and the buttons that post it to every member or stop
// the posting between two members. The posting itself runs on the window's worker.
//
// To add a control: create it in the constructor with Named<...>(this, "objectName"), lay it
// out, and connect its handler (a private method named after the control and event).

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace corvanteer {

class PageHost;
struct ManualPosting;

class PostPage : public QWidget {
    Q_OBJECT
public:
    PostPage(PageHost& host, QWidget* parent);

    // Empties the fields and offers the current list's saved messages, none chosen.
    void Reset();
    // The message as typed.
    void FillPosting(ManualPosting& posting) const;
    // While a posting runs, "Abort" is offered and "Post msg" is not.
    void SetPosting(bool running);

signals:
    // "Post msg" was confirmed: the window starts the posting.
    void postRequested();
    // "Abort": the posting stops before the next member.
    void abortRequested();

private:
    void butSaveMsgClick();
    void cmbPostedMsgsChange();
    void butDelMsgClick();
    void butPostMsgClick();
    void butCancelPostClick();

    PageHost& host_;
    QLineEdit* edtFrom = nullptr;
    QLineEdit* edtSubject = nullptr;
    QPlainTextEdit* memoMessage = nullptr;
    QComboBox* cmbPostedMsgs = nullptr;
    QPushButton* butSaveMsg = nullptr;
    QPushButton* butDelMsg = nullptr;
    QPushButton* butPostMsg = nullptr;
    QPushButton* butCancelPost = nullptr;
};

}  // namespace corvanteer
